// The encoder's state, shared by the frame encoder (SilkEncoder.cpp) and the redundant
// copy of each packet it can add (SilkRedundancy.cpp).
#pragma once

#include <stdint.h>

#include "SilkCodec.h"
#include "SilkDecoderState.h"
#include "SilkEncodeIndices.h"
#include "SilkRangeEncoder.h"
#include "SilkResampler.h"

namespace silk {

constexpr int kHistory = MAX_FRAME_LENGTH;  // 20 ms at 24 kHz: covers the longest lag

// A packet's frames coded again, coarser, and the decoder state they are coded against.
struct Redundancy {
  DecoderState mirror;             // the receiver that lost the packet, frame by frame
  float noise[MAX_LPC_ORDER];
  int gainIndex;
  RangeEncoder rangeEncoder;       // the redundant packet being assembled
  uint8_t previous[kMaxPacketBytes];  // the previous packet's, sent with the current one
  int previousBytes;
  bool active;                     // redundancy was on when the packet began
};

struct EncoderState {
  EncoderControl settings;  // those the state was set up for
  int apiRate;
  int fs_kHz;
  int frame;
  int sub;
  int order;
  Resampler downsampler;
  int16_t pending[MAX_FRAME_LENGTH];  // input at the internal rate, not yet a frame
  int pendingCount;
  float highPass[2][2];               // biquad states
  float highPassB[3], highPassA[2];
  float signal[kHistory + MAX_FRAME_LENGTH];
  float residual[kHistory + MAX_FRAME_LENGTH];    // partly whitened: what the pitch search sees
  float excitation[kHistory + MAX_FRAME_LENGTH];  // residual of the coded filter: what LTP predicts
  int32_t prevNlsf[MAX_LPC_ORDER];
  float noise[MAX_LPC_ORDER];         // the quantiser's last coding noise
  bool havePrevNlsf;
  int gainIndex;                      // the decoder's LastGainIndex
  int frameCounter;
  float noiseFloor;
  float snrAdjustDb;
  DecoderState mirror;                // the decoder as it will be after each packet
  RangeEncoder rangeEncoder;
  FrameIndices indices;
  int framesInPacket;                 // frames already written to rangeEncoder
  int typeOffsetPrev;                 // type symbol of the packet's previous frame
  Redundancy redundancy;
};

// The gain symbols for absolute indices, given the running index before the frame,
// and the gains the decoder will use.
void setGains(const int* gainIndices, int previous, bool absoluteFirst, FrameIndices& indices, int32_t* gainsQ16);
// Chooses the excitation of one frame against `mirror`, the decoder state it will meet,
// and brings the mirror up to date as that decoder will be after the frame.
void quantizeFrame(EncoderState& s, DecoderState& mirror, float* noise, const FrameControl& control,
                   const int16_t* filtered, const int32_t* nlsfQ15, int32_t* pulses);

// The frame once more, for the redundant packet: same parameters, coarser gains, its own
// excitation against the state of a receiver that lost this packet.
void encodeRedundantFrame(EncoderState& s, const FrameIndices& indices, const FrameControl& control,
                          const int16_t* filtered, const int32_t* nlsfQ15, const int* gainIndices, bool lastInPacket);
// Whether the previous packet's redundant copy fits behind the packet being finished.
bool redundancyFits(const EncoderState& s, int limit);
// Keeps the redundant copy of the packet just finished, to send with the next one.
void keepRedundancy(EncoderState& s);

}  // namespace silk
