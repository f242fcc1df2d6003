// Reading one frame's parameters and turning them into filters, gains and lags.
// State changes happen in the order the fields arrive, so that a frame cut short by
// a range-coder error leaves the state as the reference decoder leaves it.
#include <string.h>

#include "SilkDecoderState.h"
#include "SilkLpc.h"
#include "SilkMath.h"

namespace silk {

namespace {

struct PitchTables {
  const uint16_t* lagCdf;
  int lagStart;
};

PitchTables pitchTables(int fs_kHz) {
  switch (fs_kHz) {
    case 8: return {pitch_lag_NB_CDF, pitch_lag_NB_CDF_offset};
    case 12: return {pitch_lag_MB_CDF, pitch_lag_MB_CDF_offset};
    case 16: return {pitch_lag_WB_CDF, pitch_lag_WB_CDF_offset};
    default: return {pitch_lag_SWB_CDF, pitch_lag_SWB_CDF_offset};
  }
}

void decodeGains(DecoderState& state, FrameControl& control) {
  RangeDecoder& rc = state.rangeDecoder;
  for (int k = 0; k < NB_SUBFR; ++k) {
    if (k == 0 && state.nFramesDecoded == 0) {
      state.LastGainIndex = rc.decode(gain_CDF[control.sigtype], gain_CDF_offset);
    } else {
      state.LastGainIndex += rc.decode(delta_gain_CDF, delta_gain_CDF_offset) + MIN_DELTA_GAIN_QUANT;
    }
    const int32_t level = mulw(GAIN_INV_SCALE_Q16, state.LastGainIndex) + GAIN_OFFSET;
    control.Gains_Q16[k] = log2lin(level < 3967 ? level : 3967);
  }
}

void decodeNlsf(DecoderState& state, FrameControl& control) {
  RangeDecoder& rc = state.rangeDecoder;
  const NlsfCodebook& codebook = *state.nlsfCodebook[control.sigtype];
  const int order = state.LPC_order;
  int32_t nlsf[kMaxOrder] = {};
  for (int s = 0; s < codebook.nStages; ++s) {
    const int index = rc.decode(codebook.StartPtr[s], codebook.MiddleIx[s]);
    const int16_t* vector = codebook.CBStages[s].CB_NLSF_Q15 + index * order;
    for (int i = 0; i < order; ++i) nlsf[i] += vector[i];
  }
  stabilizeNlsf(nlsf, codebook.NDeltaMin_Q15, order);
  control.NLSFInterpCoef_Q2 = rc.decode(NLSF_interpolation_factor_CDF, NLSF_interpolation_factor_offset);
  if (state.first_frame_after_reset) control.NLSFInterpCoef_Q2 = 4;

  nlsfToLpcStable(control.PredCoef_Q12[1], nlsf, order);
  if (control.NLSFInterpCoef_Q2 < 4) {
    int32_t first[kMaxOrder];
    for (int i = 0; i < order; ++i) {
      first[i] = state.prevNLSF_Q15[i] + ((control.NLSFInterpCoef_Q2 * (nlsf[i] - state.prevNLSF_Q15[i])) >> 2);
    }
    nlsfToLpcStable(control.PredCoef_Q12[0], first, order);
  } else {
    memcpy(control.PredCoef_Q12[0], control.PredCoef_Q12[1], sizeof(int16_t) * order);
  }
  memcpy(state.prevNLSF_Q15, nlsf, sizeof(int32_t) * order);
  if (state.lossCnt) {
    bandwidthExpand(control.PredCoef_Q12[0], order, BWE_AFTER_LOSS_Q16);
    bandwidthExpand(control.PredCoef_Q12[1], order, BWE_AFTER_LOSS_Q16);
  }
}

void decodePitch(DecoderState& state, FrameControl& control) {
  RangeDecoder& rc = state.rangeDecoder;
  const PitchTables tables = pitchTables(state.fs_kHz);
  const int lag = 2 * state.fs_kHz + rc.decode(tables.lagCdf, tables.lagStart);
  if (state.fs_kHz == 8) {
    const int contour = rc.decode(pitch_contour_NB_CDF, pitch_contour_NB_CDF_offset);
    for (int k = 0; k < NB_SUBFR; ++k) control.pitchL[k] = lag + CB_lags_stage2[k][contour];
  } else {
    const int contour = rc.decode(pitch_contour_CDF, pitch_contour_CDF_offset);
    for (int k = 0; k < NB_SUBFR; ++k) control.pitchL[k] = lag + CB_lags_stage3[k][contour];
  }
}

void decodeLtp(DecoderState& state, FrameControl& control) {
  RangeDecoder& rc = state.rangeDecoder;
  const int periodicity = rc.decode(LTP_per_index_CDF, LTP_per_index_CDF_offset);
  for (int k = 0; k < NB_SUBFR; ++k) {
    const int index = rc.decode(LTP_gain_CDF_ptrs[periodicity], LTP_gain_CDF_offsets[periodicity]);
    memcpy(&control.LTPCoef_Q14[k * LTP_ORDER], LTP_vq_ptrs_Q14[periodicity] + index * LTP_ORDER, sizeof(int16_t) * LTP_ORDER);
  }
  control.LTP_scale_Q14 = LTPScales_table_Q14[rc.decode(LTPscale_CDF, LTPscale_offset)];
}

}  // namespace

void setDecoderRate(DecoderState& state, int fs_kHz) {
  if (state.fs_kHz == fs_kHz) return;
  state.fs_kHz = fs_kHz;
  state.frame_length = FRAME_LENGTH_MS * fs_kHz;
  state.subfr_length = state.frame_length / NB_SUBFR;
  state.LPC_order = fs_kHz == 8 ? MIN_LPC_ORDER : MAX_LPC_ORDER;
  state.nlsfCodebook[0] = fs_kHz == 8 ? &NLSF_CB0_10 : &NLSF_CB0_16;
  state.nlsfCodebook[1] = fs_kHz == 8 ? &NLSF_CB1_10 : &NLSF_CB1_16;
  memset(state.sLPC_Q14, 0, sizeof(state.sLPC_Q14));
  memset(state.outBuf, 0, sizeof(state.outBuf));
  memset(state.prevNLSF_Q15, 0, sizeof(state.prevNLSF_Q15));
  state.lagPrev = 100;
  state.LastGainIndex = 1;
  state.prev_sigtype = 0;
  state.first_frame_after_reset = 1;
  switch (fs_kHz) {
    case 8: state.hpA = Dec_A_HP_8, state.hpB = Dec_B_HP_8; break;
    case 12: state.hpA = Dec_A_HP_12, state.hpB = Dec_B_HP_12; break;
    case 16: state.hpA = Dec_A_HP_16, state.hpB = Dec_B_HP_16; break;
    default: state.hpA = Dec_A_HP_24, state.hpB = Dec_B_HP_24; break;
  }
}

void decodeFrameParameters(DecoderState& state, FrameControl& control, int32_t* pulses) {
  RangeDecoder& rc = state.rangeDecoder;
  if (state.nFramesDecoded == 0) {
    const int rateIndex = rc.decode(SamplingRates_CDF, SamplingRates_offset);
    if (rateIndex > 3) {
      rc.fail(-7);
      return;
    }
    setDecoderRate(state, SamplingRates_table[rateIndex]);
  }
  const int typeOffset = state.nFramesDecoded == 0 ? rc.decode(type_offset_CDF, type_offset_CDF_offset)
                                                   : rc.decode(type_offset_joint_CDF[state.typeOffsetPrev], type_offset_CDF_offset);
  control.sigtype = typeOffset >> 1;
  control.QuantOffsetType = typeOffset & 1;
  state.typeOffsetPrev = typeOffset;

  decodeGains(state, control);
  decodeNlsf(state, control);
  if (control.sigtype == SIG_TYPE_VOICED) {
    decodePitch(state, control);
    decodeLtp(state, control);
  } else {
    memset(control.pitchL, 0, sizeof(control.pitchL));
    memset(control.LTPCoef_Q14, 0, sizeof(control.LTPCoef_Q14));
    control.LTP_scale_Q14 = 0;
  }
  control.Seed = rc.decode(Seed_CDF, Seed_offset);
  decodePulses(rc, pulses, control.sigtype, control.QuantOffsetType, state.frame_length);
  state.vadFlag = rc.decode(vadflag_CDF, vadflag_offset);
  state.FrameTermination = rc.decode(FrameTermination_CDF, FrameTermination_offset);

  state.nBytesLeft = rc.length() - rc.bytesUsed();
  if (state.nBytesLeft < 0) rc.fail(-6);
  if (state.nBytesLeft == 0) rc.checkAfterDecoding();
}

}  // namespace silk
