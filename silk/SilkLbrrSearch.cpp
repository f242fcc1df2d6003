// Finding the redundant copy of a lost packet in a later packet: the packet's frames are
// parsed (not reconstructed) up to the termination that announces a redundant tail.
#include <string.h>

#include "SilkCodec.h"
#include "SilkDecoderState.h"

namespace silk {

int searchForLbrr(const uint8_t* packet, int packetBytes, int lostOffset, uint8_t* lbrr, int16_t* lbrrBytes) {
  if (!lbrr || !lbrrBytes || lostOffset < 1 || lostOffset > MAX_LBRR_DELAY) return kBadArgument;
  *lbrrBytes = 0;
  if (!packet || packetBytes <= 0 || packetBytes > kMaxPacketBytes) return kOk;

  // A scratch decoder: parsing needs the codebooks of the packet's rate and the
  // frame-to-frame context of the type and gain symbols, nothing of the caller's decoder.
  DecoderState state{};
  setDecoderRate(state, MAX_FS_KHZ);
  state.first_frame_after_reset = 1;
  memcpy(state.packet, packet, static_cast<size_t>(packetBytes));
  state.rangeDecoder.init(state.packet, packetBytes);
  FrameControl control;
  int32_t pulses[kMaxFrame];
  while (state.nFramesDecoded < MAX_FRAMES_PER_PACKET) {
    memset(&control, 0, sizeof(control));
    decodeFrameParameters(state, control, pulses);
    if (state.rangeDecoder.failed()) return kOk;
    ++state.nFramesDecoded;
    const int termination = state.FrameTermination;
    const bool redundancyFollows = termination == SKP_SILK_LBRR_VER1 || termination == SKP_SILK_LBRR_VER2;
    if (redundancyFollows && termination - 1 == lostOffset && state.nBytesLeft > 0) {
      memcpy(lbrr, packet + packetBytes - state.nBytesLeft, static_cast<size_t>(state.nBytesLeft));
      *lbrrBytes = static_cast<int16_t>(state.nBytesLeft);
      return kOk;
    }
    if (termination != SKP_SILK_MORE_FRAMES || state.nBytesLeft <= 0) return kOk;
  }
  return kOk;
}

}  // namespace silk
