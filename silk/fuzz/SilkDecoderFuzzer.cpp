// libFuzzer target for the decoder. The input is a stream: one byte choosing the output
// rate, then packets, each preceded by a length byte (0: a lost packet; 255: an empty
// payload not flagged as lost). Every packet is decoded frame by frame, as a host would,
// so that state carried across packets (concealment, rate changes, redundancy offsets)
// is exercised too, and searched for a redundant copy of the packets before it, which
// is decoded as a receiver would after a loss.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <vector>

#include "SilkCodec.h"

namespace {

constexpr int32_t kOutputRates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
constexpr int kMaxFramesPerPacket = 5;

void DecodePacket(void* state, silk::DecoderControl* control, const uint8_t* packet, int bytes, bool lost) {
  int16_t out[silk::kMaxDecodedSamples];
  for (int frame = 0; frame < kMaxFramesPerPacket; ++frame) {
    int16_t samples = -1;
    const int result = silk::decode(state, control, lost, packet, bytes, out, &samples);
    if (samples < 0 || samples > silk::kMaxDecodedSamples) abort();
    if (result != silk::kOk || lost || !control->moreInternalDecoderFrames) return;
  }
}

void DecodeRedundancy(void* state, silk::DecoderControl* control, const std::vector<uint8_t>& packet) {
  for (int offset = 1; offset <= 2; ++offset) {
    std::vector<uint8_t> copy(silk::kMaxPacketBytes);
    int16_t bytes = -1;
    if (silk::searchForLbrr(packet.data(), static_cast<int>(packet.size()), offset, copy.data(), &bytes) != silk::kOk) abort();
    if (bytes < 0 || static_cast<size_t>(bytes) >= packet.size() + (packet.empty() ? 1 : 0)) abort();
    copy.resize(static_cast<size_t>(bytes));
    if (bytes > 0) DecodePacket(state, control, copy.data(), bytes, false);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  int32_t stateBytes = 0;
  silk::decoderStateSize(&stateBytes);
  std::vector<uint8_t> state(static_cast<size_t>(stateBytes));
  silk::initDecoder(state.data());
  silk::DecoderControl control{kOutputRates[data[0] % (sizeof(kOutputRates) / sizeof(kOutputRates[0]))], 0, 0, 0, 0};
  size_t at = 1;
  while (at < size) {
    const size_t length = data[at++];
    const bool emptyPayload = length == 255;
    const size_t bytes = emptyPayload ? 0 : length < size - at ? length : size - at;
    // A copy of exactly the packet's bytes, so that any read past its end is caught.
    std::vector<uint8_t> packet(data + at, data + at + bytes);
    DecodeRedundancy(state.data(), &control, packet);
    DecodePacket(state.data(), &control, packet.data(), static_cast<int>(packet.size()), bytes == 0 && !emptyPayload);
    at += bytes;
  }
  return 0;
}
