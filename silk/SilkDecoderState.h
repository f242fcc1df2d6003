// The decoder's persistent state and the parameters of one decoded frame.
// Plain data: the state lives in a block the caller allocates (see SilkCodec.h).
#pragma once

#include <stdint.h>

#include "SilkRangeDecoder.h"
#include "SilkResampler.h"
#include "SilkTables.h"

namespace silk {

constexpr int kMaxFrame = MAX_FRAME_LENGTH;
constexpr int kMaxOrder = MAX_LPC_ORDER;
constexpr int kMaxSubframe = kMaxFrame / NB_SUBFR;

// What one frame's bits say, dequantised.
struct FrameControl {
  int32_t pitchL[NB_SUBFR];
  int32_t Gains_Q16[NB_SUBFR];
  int16_t PredCoef_Q12[2][kMaxOrder];  // first half (interpolated), second half
  int16_t LTPCoef_Q14[LTP_ORDER * NB_SUBFR];
  int32_t LTP_scale_Q14;
  int32_t sigtype;  // 0 voiced, 1 unvoiced
  int32_t QuantOffsetType;
  int32_t NLSFInterpCoef_Q2;
  int32_t RateLevelIndex;
  int32_t Seed;
};

// Loss concealment: what the last good frames looked like.
struct PlcState {
  int32_t pitchL_Q8;
  int16_t LTPCoef_Q14[LTP_ORDER];
  int16_t prevLPC_Q12[kMaxOrder];
  int32_t prevGain_Q16[NB_SUBFR];
  int32_t prevLTP_scale_Q14;
  int32_t rand_seed;
  int32_t randScale_Q14;
  int32_t conc_energy;
  int32_t conc_energy_shift;
  int32_t last_frame_lost;
  int32_t fs_kHz;
};

// Comfort noise: a smoothed picture of the background, played under concealed frames.
struct CngState {
  int32_t exc_buf_Q10[kMaxFrame];
  int32_t smth_NLSF_Q15[kMaxOrder];
  int32_t synth_state[kMaxOrder];
  int32_t smth_Gain_Q16;
  int32_t rand_seed;
  int32_t fs_kHz;
};

struct DecoderState {
  RangeDecoder rangeDecoder;
  uint8_t packet[RangeDecoder::kMaxBytes];  // the packet being decoded, frame by frame
  int32_t fs_kHz;
  int32_t frame_length;
  int32_t subfr_length;
  int32_t LPC_order;
  const NlsfCodebook* nlsfCodebook[2];  // by signal type
  const int16_t* hpA;
  const int16_t* hpB;

  int32_t sLTP_Q16[2 * kMaxFrame];
  int32_t sLPC_Q14[kMaxSubframe + kMaxOrder];
  int16_t outBuf[2 * kMaxFrame];
  int32_t exc_Q10[kMaxFrame];
  int32_t prevNLSF_Q15[kMaxOrder];
  int32_t prev_inv_gain_Q16;
  int32_t LastGainIndex;
  int32_t typeOffsetPrev;
  int32_t lagPrev;
  int32_t lossCnt;
  int32_t prev_sigtype;
  int32_t first_frame_after_reset;
  int32_t HPState[2];

  // Per packet.
  int32_t vadFlag;
  int32_t FrameTermination;
  int32_t nBytesLeft;
  int32_t nFramesDecoded;
  int32_t nFramesInPacket;
  int32_t moreInternalDecoderFrames;
  int32_t inBandFECOffset;
  int32_t no_FEC_counter;

  int32_t prev_API_sampleRate;
  Resampler resampler;
  PlcState plc;
  CngState cng;
};

// Frame decoding steps, in the order a frame passes them.
void setDecoderRate(DecoderState& state, int fs_kHz);
void decodeFrameParameters(DecoderState& state, FrameControl& control, int32_t* pulses);
void decodePulses(RangeDecoder& decoder, int32_t* pulses, int sigtype, int quantOffsetType, int frameLength);
void decodeCore(DecoderState& state, const FrameControl& control, int16_t* out, const int32_t* pulses);
void resetPlc(DecoderState& state);
void updatePlc(DecoderState& state, const FrameControl& control);
void concealFrame(DecoderState& state, FrameControl& control, int16_t* out);
void glueFrames(DecoderState& state, int16_t* out, int length);
void resetCng(DecoderState& state);
void runCng(DecoderState& state, const FrameControl& control, int16_t* out, int length);
void sumSquaresShift(int32_t* energy, int32_t* shift, const int16_t* x, int length);

}  // namespace silk
