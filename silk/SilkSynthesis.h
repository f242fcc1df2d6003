// One frame of reconstruction, shared by the decoder and the encoder's quantiser: the
// encoder must track the decoder's state exactly, so both run this same code. The
// policy supplies each sample's excitation (Q10) given the sample's predictions:
//   int32_t excitation(int n, int32_t ltpQ10, int32_t lpcQ10)   n = sample in frame
// The decoder's policy returns the decoded excitation; the encoder's chooses it.
#pragma once

#include <string.h>

#include "SilkDecoderState.h"
#include "SilkMath.h"

namespace silk {

namespace synthesis {

// Whitens the previous output again with this subframe's filter and rescales it into
// the pitch buffer, so the long-term predictor sees the current gain and spectrum.
inline void rewhiten(DecoderState& state, const int16_t* a, int k, int lag, int32_t gainQ16, int writePos) {
  const int frame = state.frame_length;
  const int order = state.LPC_order;
  const int start = frame - lag - order - LTP_ORDER / 2;
  const int16_t* x = state.outBuf + start + k * state.subfr_length;
  const int length = frame - start;
  for (int i = 0; i <= lag + 1; ++i) {
    const int n = length - 1 - i;
    int32_t prediction = 0;
    for (int j = 0; j < order && n - 1 - j >= 0; ++j) prediction = add32(prediction, x[n - 1 - j] * a[j]);
    const int32_t whitened = sat16(rround(sub32(shl32(x[n], 12), prediction), 12));
    state.sLTP_Q16[writePos - 1 - i] = mulw(gainQ16, whitened);
  }
}

}  // namespace synthesis

template <class Policy>
void synthesizeFrame(DecoderState& state, const FrameControl& control, int16_t* out, Policy& policy) {
  const int frame = state.frame_length;
  const int sub = state.subfr_length;
  const int order = state.LPC_order;
  int32_t S[kMaxSubframe + kMaxOrder];
  memcpy(S, state.sLPC_Q14, sizeof(int32_t) * kMaxOrder);
  const bool interpolated = control.NLSFInterpCoef_Q2 < 4;
  int writePos = frame;
  for (int k = 0; k < NB_SUBFR; ++k) {
    const int16_t* A = control.PredCoef_Q12[k >> 1];
    const int16_t* B = &control.LTPCoef_Q14[k * LTP_ORDER];
    static const int16_t kSubstituteTaps[LTP_ORDER] = {0, 0, 4096, 0, 0};
    int sigtype = control.sigtype;
    int lag = control.pitchL[k];

    const int32_t gain = control.Gains_Q16[k];
    int32_t inverse = inverseQ(gain > 1 ? gain : 1, 32);
    if (inverse > 32767) inverse = 32767;
    const int32_t adjust = inverse != state.prev_inv_gain_Q16 ? divideQ(inverse, state.prev_inv_gain_Q16, 16) : 65536;

    // Just after a concealed voiced frame, an unvoiced frame starts with a weak pitch echo.
    if (state.lossCnt && state.prev_sigtype == SIG_TYPE_VOICED && sigtype == SIG_TYPE_UNVOICED && k < 2) {
      B = kSubstituteTaps;
      sigtype = SIG_TYPE_VOICED;
      lag = state.lagPrev;
    }
    const bool voiced = sigtype == SIG_TYPE_VOICED;
    if (voiced) {
      if (k == 0 || (k == 2 && interpolated)) {
        int32_t whitenGain = shl32(inverse, 16);
        if (k == 0) whitenGain = shl32(mulw(whitenGain, control.LTP_scale_Q14), 2);
        synthesis::rewhiten(state, A, k, lag, whitenGain, writePos);
      } else if (adjust != 65536) {
        for (int i = 0; i <= lag + 1; ++i) state.sLTP_Q16[writePos - 1 - i] = mulww(adjust, state.sLTP_Q16[writePos - 1 - i]);
      }
    }
    for (int i = 0; i < kMaxOrder; ++i) S[i] = mulww(adjust, S[i]);
    state.prev_inv_gain_Q16 = inverse;

    for (int i = 0; i < sub; ++i) {
      int32_t ltp = 0;
      if (voiced) {
        const int32_t* s = &state.sLTP_Q16[writePos - lag + 2];
        ltp = mulw(s[0], B[0]);
        for (int m = 1; m < LTP_ORDER; ++m) ltp = mlaw(ltp, s[-m], B[m]);
        ltp = rround(ltp, 4);
      }
      int32_t prediction = mulw(S[kMaxOrder + i - 1], A[0]);
      for (int j = 1; j < order; ++j) prediction = mlaw(prediction, S[kMaxOrder + i - 1 - j], A[j]);
      const int32_t residual = add32(policy.excitation(k * sub + i, ltp, prediction), ltp);
      if (voiced) state.sLTP_Q16[writePos++] = shl32(residual, 6);
      const int32_t v = add32(residual, prediction);
      S[kMaxOrder + i] = shl32(v, 4);
      const int16_t sample = static_cast<int16_t>(sat16(rround(mulww(v, gain), 10)));
      out[k * sub + i] = sample;
      state.outBuf[frame + k * sub + i] = sample;
    }
    memmove(S, S + sub, sizeof(int32_t) * kMaxOrder);
  }
  memcpy(state.sLPC_Q14, S, sizeof(int32_t) * kMaxOrder);
}

}  // namespace silk
