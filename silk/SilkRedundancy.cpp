// In-band redundancy (LBRR): every frame is quantised a second time, with coarser gains,
// from the decoder state a receiver that lost the packet will have (the state after the
// packet before). Those frames form a packet of their own that rides at the end of the
// next packet (termination SKP_SILK_LBRR_VER1), where the receiver finds it when it
// notices the loss and decodes it in place of the lost packet.
#include <string.h>

#include "SilkEncoderState.h"
#include "SilkMath.h"

namespace silk {

namespace {

// Redundant frames: gain indices raised by this much (about 1.4 dB each) when little
// loss is expected, down to kMinRedundancyCoarsening at high loss.
constexpr int kMaxRedundancyCoarsening = 8;
constexpr int kMinRedundancyCoarsening = 2;

// Gain indices of the redundant copy: coarser by a margin that shrinks as more loss is
// expected. A constant offset keeps every delta step codable.
int redundancyCoarsening(const EncoderControl& settings) {
  return clampTo(kMaxRedundancyCoarsening - settings.packetLossPercentage / 4, kMinRedundancyCoarsening,
                 kMaxRedundancyCoarsening);
}

}  // namespace

void encodeRedundantFrame(EncoderState& s, const FrameIndices& indices, const FrameControl& control,
                          const int16_t* filtered, const int32_t* nlsfQ15, const int* gainIndices, bool lastInPacket) {
  Redundancy& r = s.redundancy;
  const bool firstInPacket = s.framesInPacket == 0;
  if (firstInPacket) {
    r.rangeEncoder.init();
    r.mirror = s.mirror;
    memcpy(r.noise, s.noise, sizeof(r.noise));
  }
  FrameIndices coarse = indices;
  FrameControl coarseControl = control;
  int coarseIndices[NB_SUBFR];
  const int coarsening = redundancyCoarsening(s.settings);
  for (int k = 0; k < NB_SUBFR; ++k) coarseIndices[k] = clampTo(gainIndices[k] + coarsening, 0, N_LEVELS_QGAIN - 1);
  setGains(coarseIndices, r.gainIndex, firstInPacket, coarse, coarseControl.Gains_Q16);
  r.gainIndex = coarseIndices[NB_SUBFR - 1];
  quantizeFrame(s, r.mirror, r.noise, coarseControl, filtered, nlsfQ15, coarse.pulses);
  r.mirror.LastGainIndex = r.gainIndex;
  writeFrame(r.rangeEncoder, coarse, s.fs_kHz, s.framesInPacket, s.typeOffsetPrev);
  writeTermination(r.rangeEncoder, lastInPacket ? SKP_SILK_LAST_FRAME : SKP_SILK_MORE_FRAMES);
}

bool redundancyFits(const EncoderState& s, int limit) {
  const Redundancy& r = s.redundancy;
  // The termination symbol adds at most two bytes.
  return r.previousBytes > 0 && s.rangeEncoder.bytesUsed() + 2 + r.previousBytes <= limit;
}

void keepRedundancy(EncoderState& s) {
  Redundancy& r = s.redundancy;
  const int bytes = r.active ? r.rangeEncoder.finish() : 0;
  r.previousBytes = bytes > 0 ? bytes : 0;
  if (bytes > 0) memcpy(r.previous, r.rangeEncoder.data(), static_cast<size_t>(bytes));
}

}  // namespace silk
