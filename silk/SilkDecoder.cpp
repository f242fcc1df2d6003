// The decoder's entry points: one frame per call, concealment of lost or damaged
// packets, the output high-pass and the resampler to the caller's rate.
#include <new>
#include <string.h>

#include "SilkCodec.h"
#include "SilkDecoderState.h"
#include "SilkMath.h"

namespace silk {

namespace {

constexpr uint32_t kDecoderMagic = 0x534B4431;  // "SKD1"

struct DecoderBlock {
  uint32_t magic;
  DecoderState state;
};

// A lag reaching before the pitch buffer is undefined in the reference: such a
// frame is treated as damaged.
bool lagsDecodable(const DecoderState& state, const FrameControl& control) {
  const bool interpolated = control.NLSFInterpCoef_Q2 < 4;
  for (int k = 0; k < NB_SUBFR; ++k) {
    int lag = control.pitchL[k];
    bool voiced = control.sigtype == SIG_TYPE_VOICED;
    if (state.lossCnt && state.prev_sigtype == SIG_TYPE_VOICED && !voiced && k < 2) {
      voiced = true;
      lag = state.lagPrev;
    }
    if (!voiced) continue;
    const bool rewhitened = k == 0 || (k == 2 && interpolated);
    const int history = rewhitened ? state.frame_length - state.LPC_order - LTP_ORDER / 2
                                   : state.frame_length + k * state.subfr_length - LTP_ORDER / 2;
    if (lag < 1 || lag > history) return false;
  }
  return true;
}

void highPass(DecoderState& state, int16_t* samples, int length) {
  const int16_t* A = state.hpA;
  const int16_t* B = state.hpB;
  int32_t* S = state.HPState;
  for (int i = 0; i < length; ++i) {
    const int32_t x = samples[i];
    const int32_t y = add32(S[0], x * B[0]);
    S[0] = add32(add32(S[1], x * B[1]), shl32(mulw(y, -A[0]), 3));
    S[1] = add32(shl32(mulw(y, -A[1]), 3), x * B[2]);
    samples[i] = static_cast<int16_t>(sat16(static_cast<int64_t>(rround(y, 13)) + 1));
  }
}

int decodeFrame(DecoderState& state, int16_t* out, int* length, const uint8_t* packet, int packetBytes, bool lost) {
  FrameControl control;
  memset(&control, 0, sizeof(control));
  int result = kOk;
  int frame = state.frame_length;
  if (!lost) {
    const int oldRate = state.fs_kHz;
    if (state.nFramesDecoded == 0) {
      if (packetBytes > 0) memcpy(state.packet, packet, static_cast<size_t>(packetBytes));
      state.rangeDecoder.init(state.packet, packetBytes);
    }
    int32_t pulses[kMaxFrame];
    decodeFrameParameters(state, control, pulses);
    if (!state.rangeDecoder.failed() && !lagsDecodable(state, control)) state.rangeDecoder.fail(-9);
    if (state.rangeDecoder.failed()) {
      state.nBytesLeft = 0;
      lost = true;
      setDecoderRate(state, oldRate);
      result = kPayloadError;
    } else {
      ++state.nFramesDecoded;
      frame = state.frame_length;
      decodeCore(state, control, out, pulses);
      updatePlc(state, control);
      state.lossCnt = 0;
      state.prev_sigtype = control.sigtype;
      state.first_frame_after_reset = 0;
    }
  }
  if (lost) concealFrame(state, control, out);
  memcpy(state.outBuf, out, sizeof(int16_t) * frame);
  glueFrames(state, out, frame);
  runCng(state, control, out, frame);
  highPass(state, out, frame);
  state.lagPrev = control.pitchL[NB_SUBFR - 1];
  *length = frame;
  return result;
}

// What the caller learns about redundancy: kept as the reference API reports it.
void notePacketEnd(DecoderState& state) {
  state.moreInternalDecoderFrames = 0;
  state.nFramesInPacket = state.nFramesDecoded;
  if (state.vadFlag != VOICE_ACTIVITY) return;
  if (state.FrameTermination == SKP_SILK_LAST_FRAME) {
    if (++state.no_FEC_counter > NO_LBRR_THRES) state.inBandFECOffset = 0;
  } else if (state.FrameTermination == SKP_SILK_LBRR_VER1) {
    state.inBandFECOffset = 1;
    state.no_FEC_counter = 0;
  } else if (state.FrameTermination == SKP_SILK_LBRR_VER2) {
    state.inBandFECOffset = 2;
    state.no_FEC_counter = 0;
  }
}

DecoderState* decoderOf(void* block) {
  auto* decoder = static_cast<DecoderBlock*>(block);
  return decoder && decoder->magic == kDecoderMagic ? &decoder->state : nullptr;
}

}  // namespace

int decoderStateSize(int32_t* bytes) {
  if (!bytes) return kBadArgument;
  *bytes = static_cast<int32_t>(sizeof(DecoderBlock));
  return kOk;
}

int initDecoder(void* block) {
  if (!block) return kBadArgument;
  // Value-initialisation: every field starts at zero.
  auto* decoder = new (block) DecoderBlock();
  decoder->magic = kDecoderMagic;
  DecoderState& state = decoder->state;
  setDecoderRate(state, 24);
  state.first_frame_after_reset = 1;
  state.prev_inv_gain_Q16 = 65536;
  resetCng(state);
  resetPlc(state);
  return kOk;
}

int decode(void* block, DecoderControl* control, int lost, const uint8_t* packet, int packetBytes, int16_t* out,
           int16_t* samples) {
  DecoderState* decoder = decoderOf(block);
  if (!decoder || !control || !out || !samples) return kBadArgument;
  if (control->API_sampleRate < 8000 || control->API_sampleRate > MAX_API_FS_KHZ * 1000) return kBadSampleRate;
  DecoderState& state = *decoder;
  if (!state.moreInternalDecoderFrames) state.nFramesDecoded = 0;
  int result = kOk;
  if (!lost && state.nFramesDecoded == 0) {
    if (packetBytes > kMaxPacketBytes) {
      lost = 1;
      result = kPayloadTooLarge;
    } else if (packetBytes < 0 || (!packet && packetBytes > 0)) {
      lost = 1;
      result = kPayloadError;
    }
    // An empty payload that is not flagged as lost runs through the range decoder like
    // any other (starting from what the previous packet left in the buffer): it fails
    // there, and the frame is concealed with the state changes a damaged packet makes,
    // as in the reference decoder. Hosts that hand over lost packets as empty payloads
    // (silk-wasm does) get the reference's output that way.
  }
  const int previousRate = state.fs_kHz;
  int16_t frame[kMaxFrame];
  int length = 0;
  const int frameResult = decodeFrame(state, frame, &length, packet, packetBytes, lost != 0);
  if (result == kOk) result = frameResult;
  if (!lost) {
    if (state.nBytesLeft > 0 && state.FrameTermination == SKP_SILK_MORE_FRAMES && state.nFramesDecoded < MAX_FRAMES_PER_PACKET) {
      state.moreInternalDecoderFrames = 1;
    } else {
      notePacketEnd(state);
    }
  }

  const int apiRate = control->API_sampleRate;
  const int internalRate = state.fs_kHz * 1000;
  if (internalRate == apiRate) {
    memcpy(out, frame, sizeof(int16_t) * length);
    *samples = static_cast<int16_t>(length);
  } else {
    if (previousRate != state.fs_kHz || state.prev_API_sampleRate != apiRate) state.resampler.init(internalRate, apiRate);
    int16_t resampled[kMaxDecodedSamples + 64];
    state.resampler.process(resampled, frame, length);
    const int count = static_cast<int>(static_cast<int64_t>(length) * apiRate / internalRate);
    memcpy(out, resampled, sizeof(int16_t) * count);
    *samples = static_cast<int16_t>(count);
  }
  state.prev_API_sampleRate = apiRate;
  control->frameSize = apiRate / 50;
  control->framesPerPacket = state.nFramesInPacket;
  control->inBandFECOffset = state.inBandFECOffset;
  control->moreInternalDecoderFrames = state.moreInternalDecoderFrames;
  return result;
}

}  // namespace silk
