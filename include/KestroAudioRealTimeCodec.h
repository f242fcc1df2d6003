// IAudioRealTimeCodec: a speech encoder and decoder for live audio, one 20 ms packet at
// a time. CSilkAudioRealTimeCodec drives the library's own SILK codec core (packets of
// SILK 1.0.x, "SILK v3" files) with fixed settings: 16-bit mono PCM at 8000, 12000,
// 16000 or 24000 Hz, 20 ms packets, complexity 2, no forward error correction, no
// discontinuous transmission, at most 40 kbit/s. Every failure is E_FAIL; none is logged.
//
// Calling order: kcm_createAudioRealTimeCodec, open, any encode/decode, close, Ex_Release.
// Ex_Release does not free the codec states: close first. One object encodes one stream
// and decodes one stream; the host serialises calls on an object.
#pragma once

#include <stdint.h>

#include "KestroExport.h"
#include "KestroUnknownEx.h"
#include "mmreg.h"

class IAudioRealTimeCodec : public IUnknownEx {
 public:
  // Normalises the format to the codec's (kcm_checkWaveFormatEx with restriction) and
  // sets up both directions; bitRateKbps above 40 counts as 40.
  virtual long open(const WAVEFORMATEX& format, int bitRateKbps) = 0;
  // pcmBytes: whole 10 ms blocks, at most 20 ms. *packetBytes: in, the room (low 16
  // bits); out, the bytes written (0 while the first 10 ms of a packet wait for the second).
  virtual long encode(const void* pcm, short pcmBytes, void* packet, unsigned long* packetBytes) = 0;
  // `pcm` holds one 20 ms frame; *pcmBytes receives twice the decoded sample count.
  virtual long decode(const void* packet, int packetBytes, void* pcm, unsigned long* pcmBytes) = 0;
  virtual void close() = 0;

 protected:
  ~IAudioRealTimeCodec() = default;
};

class KCM_API CSilkAudioRealTimeCodec : public IAudioRealTimeCodec {
 public:
  // The SILK core's control records, field for field.
  struct DecoderControl {
    int32_t API_sampleRate;
    int32_t frameSize;
    int32_t framesPerPacket;
    int32_t moreInternalDecoderFrames;
    int32_t inBandFECOffset;
  };
  struct EncoderControl {
    int32_t API_sampleRate;
    int32_t maxInternalSampleRate;
    int32_t packetSize;
    int32_t bitRate;
    int32_t packetLossPercentage;
    int32_t complexity;
    int32_t useInBandFEC;
    int32_t useDTX;
  };

  CSilkAudioRealTimeCodec();
  virtual ~CSilkAudioRealTimeCodec();
  CSilkAudioRealTimeCodec(const CSilkAudioRealTimeCodec&) = delete;
  CSilkAudioRealTimeCodec& operator=(const CSilkAudioRealTimeCodec&) = delete;

  bool Ex_IsValid() override;
  bool Ex_Release() override;
  void* Ex_QueryInterface(const GUID& iid, unsigned long version) override;

  long open(const WAVEFORMATEX& format, int bitRateKbps) override;
  long encode(const void* pcm, short pcmBytes, void* packet, unsigned long* packetBytes) override;
  long decode(const void* packet, int packetBytes, void* pcm, unsigned long* pcmBytes) override;
  void close() override;

  // What open set up, for hosts and tests that want to know.
  const EncoderControl& encoderControl() const { return m_encoderControl; }
  const DecoderControl& decoderControl() const { return m_decoderControl; }

 private:
  DecoderControl m_decoderControl;
  void* m_decoderState;  // owned; null when closed
  EncoderControl m_encoderControl;
  void* m_encoderState;  // owned; null when closed
};

// A new codec object with both states null; `codec` is not examined. Null only when
// allocation fails.
KCM_API IAudioRealTimeCodec* kcm_createAudioRealTimeCodec(unsigned long codec);
