// Comfort noise: while packets arrive with no speech, the decoder keeps a smoothed
// spectrum, gain and excitation of the background; under concealed frames it plays
// noise shaped like that background, so a loss does not fall into digital silence.
#include <string.h>

#include "SilkDecoderState.h"
#include "SilkLpc.h"
#include "SilkMath.h"

namespace silk {

namespace {

void learnBackground(DecoderState& state, const FrameControl& control) {
  CngState& cng = state.cng;
  const int sub = state.subfr_length;
  for (int i = 0; i < state.LPC_order; ++i) {
    cng.smth_NLSF_Q15[i] += mulw(state.prevNLSF_Q15[i] - cng.smth_NLSF_Q15[i], CNG_NLSF_SMTH_Q16);
  }
  int loudest = 0;
  for (int k = 1; k < NB_SUBFR; ++k) {
    if (control.Gains_Q16[k] > control.Gains_Q16[loudest]) loudest = k;
  }
  memmove(cng.exc_buf_Q10 + sub, cng.exc_buf_Q10, sizeof(int32_t) * (NB_SUBFR - 1) * sub);
  memcpy(cng.exc_buf_Q10, state.exc_Q10 + loudest * sub, sizeof(int32_t) * sub);
  for (int k = 0; k < NB_SUBFR; ++k) {
    cng.smth_Gain_Q16 += mulw(control.Gains_Q16[k] - cng.smth_Gain_Q16, CNG_GAIN_SMTH_Q16);
  }
}

void addNoise(DecoderState& state, int16_t* out, int length) {
  CngState& cng = state.cng;
  const int order = state.LPC_order;
  int mask = CNG_BUF_MASK_MAX;
  while (mask > length) mask >>= 1;
  int16_t excitation[kMaxFrame];
  int32_t seed = cng.rand_seed;
  for (int i = 0; i < length; ++i) {
    seed = nextRandom(seed);
    const int idx = (seed >> 24) & mask;
    excitation[i] = static_cast<int16_t>(sat16(rround(mulww(cng.exc_buf_Q10[idx], cng.smth_Gain_Q16), 10)));
  }
  cng.rand_seed = seed;

  int16_t a[kMaxOrder];
  nlsfToLpcStable(a, cng.smth_NLSF_Q15, order);
  int32_t* S = cng.synth_state;  // newest at S[order - 1]
  for (int i = 0; i < length; ++i) {
    int32_t sum = 0;
    for (int j = 0; j < order; ++j) sum = mlaw(sum, S[order - 1 - j], a[j]);
    sum = add32(sum, mulw(1 << 26, excitation[i]));
    memmove(S, S + 1, sizeof(int32_t) * (order - 1));
    S[order - 1] = lsh_sat(sum, 4);
    out[i] = static_cast<int16_t>(sat16(out[i] + sat16(rround(sum, 10))));
  }
}

}  // namespace

void resetCng(DecoderState& state) {
  CngState& cng = state.cng;
  const int order = state.LPC_order;
  const int32_t step = 32767 / (order + 1);
  for (int i = 0; i < order; ++i) cng.smth_NLSF_Q15[i] = (i + 1) * step;
  cng.smth_Gain_Q16 = 0;
  cng.rand_seed = 3176576;
}

void runCng(DecoderState& state, const FrameControl& control, int16_t* out, int length) {
  CngState& cng = state.cng;
  if (state.fs_kHz != cng.fs_kHz) {
    resetCng(state);
    cng.fs_kHz = state.fs_kHz;
  }
  if (state.lossCnt == 0 && state.vadFlag == NO_VOICE_ACTIVITY) learnBackground(state, control);
  if (state.lossCnt) {
    addNoise(state, out, length);
  } else {
    memset(cng.synth_state, 0, sizeof(cng.synth_state));
  }
}

}  // namespace silk
