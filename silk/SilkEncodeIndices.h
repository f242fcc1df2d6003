// The symbols of one encoded frame, and writing them in the decoder's field order.
#pragma once

#include <stdint.h>

#include "SilkRangeEncoder.h"
#include "SilkTables.h"

namespace silk {

struct FrameIndices {
  int sigtype;
  int QuantOffsetType;
  int firstGainAbsolute;          // 1: gain symbol 0 is an absolute index (frame 0 of a packet)
  int gainSymbols[NB_SUBFR];      // absolute index or delta + 4
  int nlsfIndices[NLSF_MSVQ_MAX_CB_STAGES];
  int nlsfInterpolation;          // 0..4
  int lagIndex;
  int contourIndex;
  int periodicityIndex;
  int ltpIndices[NB_SUBFR];
  int ltpScaleIndex;
  int seed;
  int32_t pulses[MAX_FRAME_LENGTH];  // signed excitation
  int vadFlag;
};

// Writes one frame up to its termination symbol; `frameInPacket` 0 also writes the
// rate. `previousTypeOffset` is the type symbol of the previous frame of the same packet.
void writeFrame(RangeEncoder& encoder, const FrameIndices& frame, int fs_kHz, int frameInPacket, int previousTypeOffset);
// What follows the frame: another frame, the end, or the end plus redundancy
// (SKP_SILK_MORE_FRAMES, SKP_SILK_LAST_FRAME, SKP_SILK_LBRR_VER1).
void writeTermination(RangeEncoder& encoder, int termination);
// The excitation part alone (rate level, counts, shell splits, LSBs, signs).
void writePulses(RangeEncoder& encoder, const int32_t* pulses, int length, int sigtype, int quantOffsetType);

}  // namespace silk
