// Reconstruction of one decoded frame: the excitation with its quantisation offset and
// pseudo-random sign flips, then the shared synthesis (SilkSynthesis.h).
#include "SilkSynthesis.h"

namespace silk {

namespace {

struct DecodedExcitation {
  const int32_t* exc;
  int32_t excitation(int n, int32_t, int32_t) const { return exc[n]; }
};

void buildExcitation(int32_t* exc, const int32_t* q, int length, int32_t seed, int32_t offset) {
  for (int i = 0; i < length; ++i) {
    seed = nextRandom(seed);
    int32_t e = shl32(q[i], 10) + offset;
    if (seed < 0) e = -e;
    exc[i] = e;
    seed = add32(seed, q[i]);
  }
}

}  // namespace

void decodeCore(DecoderState& state, const FrameControl& control, int16_t* out, const int32_t* pulses) {
  buildExcitation(state.exc_Q10, pulses, state.frame_length, control.Seed,
                  Quantization_Offsets_Q10[control.sigtype][control.QuantOffsetType]);
  DecodedExcitation policy{state.exc_Q10};
  synthesizeFrame(state, control, out, policy);
}

}  // namespace silk
