// The SILK speech codec core: packets of the SILK SDK 1.0.x ("SILK v3" files).
//
// The caller owns the state blocks: it asks for their size, allocates them and hands
// them to the init calls; no call allocates. Every call answers 0 on success and a
// negative code otherwise. A state is used by one thread at a time.
#pragma once

#include <stdint.h>

namespace silk {

enum Result : int {
  kOk = 0,
  kBadArgument = -1,        // null pointer, uninitialised state, buffer too small
  kBadSampleRate = -2,      // an API rate the codec does not support
  kBadInputLength = -3,     // encoder input not whole 10 ms blocks, or more than a packet
  kBadBitRate = -4,
  kPayloadTooLarge = -11,   // a packet longer than kMaxPacketBytes (concealed)
  kPayloadError = -12,      // a corrupt or empty packet (concealed)
  kOutputFull = -13,        // the packet does not fit the output buffer
};

constexpr int kMaxPacketBytes = 1024;
// Samples of the longest decoded frame: 20 ms at 48 kHz.
constexpr int kMaxDecodedSamples = 960;

// The decoder's control record: five signed 32-bit fields.
struct DecoderControl {
  int32_t API_sampleRate;             // in: output rate, 8000..48000 Hz
  int32_t frameSize;                  // out: samples per frame at the output rate
  int32_t framesPerPacket;            // out: frames of the last packet
  int32_t moreInternalDecoderFrames;  // out: 1 when the packet holds another frame
  int32_t inBandFECOffset;            // out: 1 or 2 when packets carry redundancy for n-1 or n-2
};

// The encoder's control record: eight signed 32-bit fields.
struct EncoderControl {
  int32_t API_sampleRate;         // input rate: 8000, 12000, 16000 or 24000 Hz
  int32_t maxInternalSampleRate;  // 8000, 12000, 16000 or 24000 Hz
  int32_t packetSize;             // samples per packet at the input rate: 20, 40, 60, 80 or 100 ms
  int32_t bitRate;                // target bit/s, redundancy included; below 5000 counts as 5000
  int32_t packetLossPercentage;   // 0..100; the more loss, the finer the redundant copy
  int32_t complexity;             // 0..2
  int32_t useInBandFEC;           // 1: every packet also carries a coarser copy of the one before
  int32_t useDTX;                 // must be 0: no discontinuous transmission
};

int decoderStateSize(int32_t* bytes);
int initDecoder(void* state);
// Decodes one frame of `packet` (call again with the same packet while
// control->moreInternalDecoderFrames is 1), or conceals one frame when `lost` is set.
// `out` holds kMaxDecodedSamples; `*samples` receives the count. A packet that cannot
// be decoded (an empty one not flagged as lost among them) is concealed and answered
// with an error.
int decode(void* state, DecoderControl* control, int lost, const uint8_t* packet, int packetBytes, int16_t* out,
           int16_t* samples);

// Finds in a received packet the redundant copy of the packet `lostOffset` (1 or 2)
// places before it, as the encoder appends it. Writes it to `lbrr` (kMaxPacketBytes of
// room) and its size to `*lbrrBytes`, 0 when the packet carries none for that offset.
// The copy decodes with decode() in place of the lost packet.
int searchForLbrr(const uint8_t* packet, int packetBytes, int lostOffset, uint8_t* lbrr, int16_t* lbrrBytes);

int encoderStateSize(int32_t* bytes);
// Initialises the state and fills `control` with the defaults (24 kHz, 20 ms, 25 kbit/s).
int initEncoder(void* state, EncoderControl* control);
// Encodes `sampleCount` samples (whole 10 ms blocks, at most one packet). When a packet
// is complete it is written to `packet` and its size to `*packetBytes` (in: room);
// otherwise `*packetBytes` is 0.
int encode(void* state, const EncoderControl* control, const int16_t* pcm, int sampleCount, uint8_t* packet,
           int16_t* packetBytes);

}  // namespace silk
