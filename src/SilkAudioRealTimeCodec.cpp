// CSilkAudioRealTimeCodec: the SILK core behind IAudioRealTimeCodec. The wrapper owns
// the codec states, turns byte counts into sample counts and every codec error, fault
// included, into E_FAIL.
#include <new>
#include <stdlib.h>
#include <string.h>

#include "KestroAudioRealTimeCodec.h"
#include "KestroCrashReport.h"
#include "KestroFormatHelpers.h"
#include "SilkCodec.h"
#include "winerror.h"

namespace {

constexpr int kMaxBitRate = 40000;
constexpr int32_t kComplexity = 2;

static_assert(sizeof(CSilkAudioRealTimeCodec::DecoderControl) == sizeof(silk::DecoderControl), "decoder control layout");
static_assert(sizeof(CSilkAudioRealTimeCodec::EncoderControl) == sizeof(silk::EncoderControl), "encoder control layout");

silk::DecoderControl* asCore(CSilkAudioRealTimeCodec::DecoderControl* control) {
  return reinterpret_cast<silk::DecoderControl*>(control);
}
const silk::EncoderControl* asCore(const CSilkAudioRealTimeCodec::EncoderControl* control) {
  return reinterpret_cast<const silk::EncoderControl*>(control);
}

// Runs a codec call with faults translated into exceptions; any exception is a failure.
template <class Call>
int guarded(Call call) {
  try {
    se_translator translator;
    return call();
  } catch (...) {
    return -1;
  }
}

void* allocateState(int (*sizeOf)(int32_t*)) {
  int32_t bytes = 0;
  if (sizeOf(&bytes) != 0 || bytes <= 0) return nullptr;
  return malloc(static_cast<size_t>(bytes));
}

}  // namespace

CSilkAudioRealTimeCodec::CSilkAudioRealTimeCodec()
    : m_decoderControl(), m_decoderState(nullptr), m_encoderControl(), m_encoderState(nullptr) {}

// The states are the host's to free through close.
CSilkAudioRealTimeCodec::~CSilkAudioRealTimeCodec() = default;

bool CSilkAudioRealTimeCodec::Ex_IsValid() { return true; }

bool CSilkAudioRealTimeCodec::Ex_Release() {
  delete this;
  return true;
}

void* CSilkAudioRealTimeCodec::Ex_QueryInterface(const GUID& iid, unsigned long version) {
  return QueryUnknownEx<IAudioRealTimeCodec>(this, IID_IAudioRealTimeCodec, iid, version);
}

long CSilkAudioRealTimeCodec::open(const WAVEFORMATEX& format, int bitRateKbps) {
  WAVEFORMATEX requested = format;
  const int rate = static_cast<int>(kcm_checkWaveFormatEx(requested, 1).nSamplesPerSec);
  m_decoderControl = DecoderControl{rate, 0, 1, 0, 0};

  int result = guarded([&] {
    m_decoderState = allocateState(silk::decoderStateSize);
    if (!m_decoderState) return -1;
    int code = silk::initDecoder(m_decoderState);
    if (code != 0) return code;
    m_encoderState = allocateState(silk::encoderStateSize);
    if (!m_encoderState) return -1;
    memset(&m_encoderControl, 0, sizeof(m_encoderControl));
    return silk::initEncoder(m_encoderState, reinterpret_cast<silk::EncoderControl*>(&m_encoderControl));
  });
  if (result != 0) {
    close();
    return E_FAIL;
  }
  m_encoderControl.API_sampleRate = rate;
  m_encoderControl.maxInternalSampleRate = rate;
  m_encoderControl.packetSize = 20 * rate / 1000;
  m_encoderControl.packetLossPercentage = 0;
  m_encoderControl.useInBandFEC = 0;
  m_encoderControl.useDTX = 0;
  m_encoderControl.complexity = kComplexity;
  const int64_t bitRate = static_cast<int64_t>(bitRateKbps) * 1000;
  m_encoderControl.bitRate = static_cast<int32_t>(bitRate > kMaxBitRate ? kMaxBitRate : bitRate);
  return S_OK;
}

long CSilkAudioRealTimeCodec::encode(const void* pcm, short pcmBytes, void* packet, unsigned long* packetBytes) {
  if (!m_encoderState || !packetBytes) return E_FAIL;
  int16_t written = static_cast<int16_t>(*packetBytes & 0xFFFF);
  const int result = guarded([&] {
    return silk::encode(m_encoderState, asCore(&m_encoderControl), static_cast<const int16_t*>(pcm), pcmBytes / 2,
                        static_cast<uint8_t*>(packet), &written);
  });
  if (result != 0) return E_FAIL;
  *packetBytes = static_cast<unsigned long>(static_cast<long>(written));
  return S_OK;
}

long CSilkAudioRealTimeCodec::decode(const void* packet, int packetBytes, void* pcm, unsigned long* pcmBytes) {
  if (!m_decoderState || !pcmBytes) return E_FAIL;
  int16_t samples = 0;
  const int result = guarded([&] {
    return silk::decode(m_decoderState, asCore(&m_decoderControl), 0, static_cast<const uint8_t*>(packet), packetBytes,
                        static_cast<int16_t*>(pcm), &samples);
  });
  if (result != 0) return E_FAIL;
  *pcmBytes = static_cast<unsigned long>(samples) * 2;
  return S_OK;
}

void CSilkAudioRealTimeCodec::close() {
  free(m_decoderState);
  m_decoderState = nullptr;
  free(m_encoderState);
  m_encoderState = nullptr;
}

IAudioRealTimeCodec* kcm_createAudioRealTimeCodec(unsigned long) {
  return new (std::nothrow) CSilkAudioRealTimeCodec();
}
