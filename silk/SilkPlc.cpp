// Packet-loss concealment: a lost frame continues the last pitch period with decaying
// taps, mixed with noise drawn from the last excitation, through the last (slightly
// widened) LPC filter; the first good frame afterwards is faded in to the same energy.
#include <string.h>

#include "SilkDecoderState.h"
#include "SilkLpc.h"
#include "SilkMath.h"

namespace silk {

namespace {

constexpr int32_t kMinPitchGainQ14 = V_PITCH_GAIN_START_MIN_Q14;
constexpr int32_t kMaxPitchGainQ14 = V_PITCH_GAIN_START_MAX_Q14;

void rememberVoicedPitch(PlcState& plc, const FrameControl& control, int subframe) {
  int32_t best = 0;
  for (int back = 0; back < NB_SUBFR && back * subframe < control.pitchL[NB_SUBFR - 1]; ++back) {
    const int k = NB_SUBFR - 1 - back;
    int32_t sum = 0;
    for (int i = 0; i < LTP_ORDER; ++i) sum += control.LTPCoef_Q14[k * LTP_ORDER + i];
    if (sum > best) {
      best = sum;
      plc.pitchL_Q8 = shl32(control.pitchL[k], 8);
    }
  }
  memset(plc.LTPCoef_Q14, 0, sizeof(plc.LTPCoef_Q14));
  plc.LTPCoef_Q14[LTP_ORDER / 2] = static_cast<int16_t>(best);
  // Keep the periodic part between 0.7 and 0.95 so that it neither dies out nor rings.
  if (best < kMinPitchGainQ14) {
    const int32_t scale = (kMinPitchGainQ14 << 10) / (best > 1 ? best : 1);
    for (int16_t& tap : plc.LTPCoef_Q14) tap = static_cast<int16_t>(mulbb(tap, scale) >> 10);
  } else if (best > kMaxPitchGainQ14) {
    const int32_t scale = (kMaxPitchGainQ14 << 14) / (best > 1 ? best : 1);
    for (int16_t& tap : plc.LTPCoef_Q14) tap = static_cast<int16_t>(mulbb(tap, scale) >> 14);
  }
}

// The noise source: the part of the last excitation whose scaled energy is lower.
const int32_t* noiseSource(const DecoderState& state) {
  const int sub = state.subfr_length;
  int16_t scaled[2 * kMaxSubframe];
  for (int i = 0; i < 2 * sub; ++i) {
    const int k = 2 + i / sub;
    scaled[i] = static_cast<int16_t>(mulww(state.exc_Q10[2 * sub + i], state.plc.prevGain_Q16[k]) >> 10);
  }
  int32_t energy2, shift2, energy3, shift3;
  sumSquaresShift(&energy2, &shift2, scaled, sub);
  sumSquaresShift(&energy3, &shift3, scaled + sub, sub);
  const int randSize = RAND_BUF_SIZE;
  if ((energy2 >> shift3) < (energy3 >> shift2)) {
    const int at = 3 * sub - randSize;
    return state.exc_Q10 + (at > 0 ? at : 0);
  }
  const int at = state.frame_length - randSize;
  return state.exc_Q10 + (at > 0 ? at : 0);
}

void startNoiseScale(DecoderState& state, int32_t* randGain) {
  PlcState& plc = state.plc;
  plc.randScale_Q14 = 1 << 14;
  if (state.prev_sigtype == SIG_TYPE_VOICED) {
    int32_t scale = 1 << 14;
    for (int16_t tap : plc.LTPCoef_Q14) scale -= tap;
    if (scale < 3277) scale = 3277;
    plc.randScale_Q14 = (scale * plc.prevLTP_scale_Q14) >> 14;
  } else {
    int32_t inverseGain = 0;
    if (!inversePredictionGain(&inverseGain, plc.prevLPC_Q12, state.LPC_order)) inverseGain = 0;
    const int32_t down = shl32(clampTo<int32_t>(inverseGain, (1 << 30) >> 8, (1 << 30) >> 3), 3);
    *randGain = mulw(down, *randGain) >> 14;
  }
}

}  // namespace

void resetPlc(DecoderState& state) { state.plc.pitchL_Q8 = state.frame_length >> 1; }

void updatePlc(DecoderState& state, const FrameControl& control) {
  PlcState& plc = state.plc;
  if (plc.fs_kHz != state.fs_kHz) {
    resetPlc(state);
    plc.fs_kHz = state.fs_kHz;
  }
  if (control.sigtype == SIG_TYPE_VOICED) {
    rememberVoicedPitch(plc, control, state.subfr_length);
  } else {
    plc.pitchL_Q8 = (18 * state.fs_kHz) << 8;
    memset(plc.LTPCoef_Q14, 0, sizeof(plc.LTPCoef_Q14));
  }
  memcpy(plc.prevLPC_Q12, control.PredCoef_Q12[1], sizeof(plc.prevLPC_Q12));
  plc.prevLTP_scale_Q14 = control.LTP_scale_Q14;
  memcpy(plc.prevGain_Q16, control.Gains_Q16, sizeof(plc.prevGain_Q16));
}

void concealFrame(DecoderState& state, FrameControl& control, int16_t* out) {
  PlcState& plc = state.plc;
  if (plc.fs_kHz != state.fs_kHz) {
    resetPlc(state);
    plc.fs_kHz = state.fs_kHz;
  }
  const int frame = state.frame_length;
  const int sub = state.subfr_length;
  const int order = state.LPC_order;
  memmove(state.sLTP_Q16, state.sLTP_Q16 + frame, sizeof(int32_t) * frame);
  bandwidthExpand(plc.prevLPC_Q12, order, BWE_COEF_Q16);
  const int32_t* source = noiseSource(state);

  const int n = state.lossCnt < 1 ? state.lossCnt : 1;
  const int32_t harmonicGain = HARM_ATT_Q15[n];
  int32_t randGain = state.prev_sigtype == SIG_TYPE_VOICED ? PLC_RAND_ATTENUATE_V_Q15[n] : PLC_RAND_ATTENUATE_UV_Q15[n];
  if (state.lossCnt == 0) startNoiseScale(state, &randGain);

  int32_t seed = plc.rand_seed;
  int32_t randScale = plc.randScale_Q14;
  const int32_t maxPitchQ8 = (18 * state.fs_kHz) << 8;
  // The history a lag can reach; only a damaged stream could ask for more.
  const int maxLag = frame - LTP_ORDER;
  int lag = clampTo(rround(plc.pitchL_Q8, 8), 1, maxLag);
  int writePos = frame;
  int32_t residual[kMaxFrame];
  for (int k = 0; k < NB_SUBFR; ++k) {
    for (int i = 0; i < sub; ++i) {
      seed = nextRandom(seed);
      const int idx = (seed >> 25) & RAND_BUF_MASK;
      const int32_t* s = &state.sLTP_Q16[writePos - lag + 2];
      int32_t ltp = mulw(s[0], plc.LTPCoef_Q14[0]);
      for (int m = 1; m < LTP_ORDER; ++m) ltp = mlaw(ltp, s[-m], plc.LTPCoef_Q14[m]);
      const int32_t e = add32(shl32(mulw(source[idx], randScale), 2), rround(ltp, 4));
      state.sLTP_Q16[writePos++] = shl32(e, 6);
      residual[k * sub + i] = e;
    }
    for (int16_t& tap : plc.LTPCoef_Q14) tap = static_cast<int16_t>((harmonicGain * tap) >> 15);
    randScale = (randScale * randGain) >> 15;
    plc.pitchL_Q8 = add32(plc.pitchL_Q8, mulw(plc.pitchL_Q8, PITCH_DRIFT_FAC_Q16));
    if (plc.pitchL_Q8 > maxPitchQ8) plc.pitchL_Q8 = maxPitchQ8;
    lag = clampTo(rround(plc.pitchL_Q8, 8), 1, maxLag);
  }

  int32_t S[kMaxFrame + kMaxOrder];
  memcpy(S, state.sLPC_Q14, sizeof(int32_t) * kMaxOrder);
  for (int i = 0; i < frame; ++i) {
    int32_t prediction = mulw(S[kMaxOrder + i - 1], plc.prevLPC_Q12[0]);
    for (int j = 1; j < order; ++j) prediction = mlaw(prediction, S[kMaxOrder + i - 1 - j], plc.prevLPC_Q12[j]);
    const int32_t v = add32(residual[i], prediction);
    S[kMaxOrder + i] = shl32(v, 4);
    out[i] = static_cast<int16_t>(sat16(rround(mulww(v, plc.prevGain_Q16[NB_SUBFR - 1]), 10)));
  }
  memcpy(state.sLPC_Q14, S + frame, sizeof(int32_t) * kMaxOrder);

  plc.rand_seed = seed;
  plc.randScale_Q14 = randScale;
  for (int32_t& pitch : control.pitchL) pitch = lag;
  ++state.lossCnt;
}

void glueFrames(DecoderState& state, int16_t* out, int length) {
  PlcState& plc = state.plc;
  if (state.lossCnt) {
    sumSquaresShift(&plc.conc_energy, &plc.conc_energy_shift, out, length);
    plc.last_frame_lost = 1;
    return;
  }
  if (plc.last_frame_lost) {
    int32_t energy, energyShift;
    sumSquaresShift(&energy, &energyShift, out, length);
    if (energyShift > plc.conc_energy_shift) {
      plc.conc_energy >>= energyShift - plc.conc_energy_shift;
    } else if (energyShift < plc.conc_energy_shift) {
      energy >>= plc.conc_energy_shift - energyShift;
    }
    if (energy > plc.conc_energy) {
      const int lz = clz32(plc.conc_energy) - 1;
      const int32_t concealed = shl32(plc.conc_energy, lz);
      const int down = 24 - lz > 0 ? 24 - lz : 0;
      energy >>= down;
      const int32_t fraction = concealed / (energy > 1 ? energy : 1);
      int32_t gain = sqrtApprox(fraction);
      const int32_t slope = ((1 << 12) - gain) / length;
      for (int i = 0; i < length; ++i) {
        out[i] = static_cast<int16_t>((gain * out[i]) >> 12);
        gain += slope;
        if (gain > (1 << 12)) gain = 1 << 12;
      }
    }
  }
  plc.last_frame_lost = 0;
}

void sumSquaresShift(int32_t* energy, int32_t* shift, const int16_t* x, int length) {
  uint32_t nrg = 0;
  int s = 0;
  int i = 0;
  for (; i < length - 1; i += 2) {
    const uint32_t pair = static_cast<uint32_t>(x[i] * x[i]) + static_cast<uint32_t>(x[i + 1] * x[i + 1]);
    nrg += pair >> s;
    if (static_cast<int32_t>(nrg) < 0) {
      nrg >>= 2;
      s += 2;
    }
  }
  if (i == length - 1) nrg += static_cast<uint32_t>(x[i] * x[i]) >> s;
  if (nrg & 0xC0000000u) {
    nrg >>= 2;
    s += 2;
  }
  *energy = static_cast<int32_t>(nrg);
  *shift = s;
}

}  // namespace silk
