#include "AudioFormats.h"

#include <cstring>

#include "uuids.h"

namespace kcm::devices {

namespace {

constexpr DWORD kRates[] = {8000, 16000, 22050, 44100, 48000};
constexpr DWORD kLowestRate = 8000;
constexpr DWORD kHighestRate = 48000;
constexpr LONG kBlockMilliseconds = 20;

CMediaType pcmType(WORD channels, DWORD rate, WORD bits) {
  CMediaType type(&MEDIATYPE_Audio);
  type.SetSubtype(&MEDIASUBTYPE_PCM);
  type.SetFormatType(&FORMAT_WaveFormatEx);
  WAVEFORMATEX* wave = reinterpret_cast<WAVEFORMATEX*>(type.AllocFormatBuffer(sizeof(WAVEFORMATEX)));
  std::memset(wave, 0, sizeof(WAVEFORMATEX));
  wave->wFormatTag = WAVE_FORMAT_PCM;
  wave->nChannels = channels;
  wave->nSamplesPerSec = rate;
  wave->wBitsPerSample = bits;
  wave->nBlockAlign = static_cast<WORD>(channels * bits / 8);
  wave->nAvgBytesPerSec = rate * wave->nBlockAlign;
  type.SetSampleSize(wave->nBlockAlign);
  return type;
}

std::vector<BYTE> pcmCaps() {
  AUDIO_STREAM_CONFIG_CAPS caps{};
  caps.guid = MEDIATYPE_Audio;
  caps.MinimumChannels = 1;
  caps.MaximumChannels = 2;
  caps.ChannelsGranularity = 1;
  caps.MinimumBitsPerSample = 8;
  caps.MaximumBitsPerSample = 16;
  caps.BitsPerSampleGranularity = 8;
  caps.MinimumSampleFrequency = kLowestRate;
  caps.MaximumSampleFrequency = kHighestRate;
  caps.SampleFrequencyGranularity = 1;
  const BYTE* bytes = reinterpret_cast<const BYTE*>(&caps);
  return std::vector<BYTE>(bytes, bytes + sizeof(caps));
}

}  // namespace

std::vector<CaptureFormat> standardPcmFormats() {
  std::vector<CaptureFormat> formats;
  for (WORD channels = 2; channels >= 1; --channels) {
    for (DWORD rate : kRates) formats.push_back(CaptureFormat{pcmType(channels, rate, 16), pcmCaps()});
  }
  return formats;
}

HRESULT acceptPcm(CMediaType& type) {
  if (*type.Type() != MEDIATYPE_Audio || *type.Subtype() != MEDIASUBTYPE_PCM ||
      *type.FormatType() != FORMAT_WaveFormatEx || type.FormatLength() < sizeof(WAVEFORMATEX) - sizeof(WORD)) {
    return VFW_E_INVALIDMEDIATYPE;
  }
  WAVEFORMATEX* wave = reinterpret_cast<WAVEFORMATEX*>(type.Format());
  if (wave->nChannels < 1 || wave->nChannels > 2 || (wave->wBitsPerSample != 8 && wave->wBitsPerSample != 16) ||
      wave->nSamplesPerSec < kLowestRate || wave->nSamplesPerSec > kHighestRate) {
    return VFW_E_INVALIDMEDIATYPE;
  }
  wave->nBlockAlign = static_cast<WORD>(wave->nChannels * wave->wBitsPerSample / 8);
  wave->nAvgBytesPerSec = wave->nSamplesPerSec * wave->nBlockAlign;
  type.SetSampleSize(wave->nBlockAlign);
  return S_OK;
}

LONG pcmBlockBytes(const CMediaType& type) {
  const WAVEFORMATEX& wave = waveFormatOf(type);
  const LONG frames = static_cast<LONG>(wave.nSamplesPerSec) * kBlockMilliseconds / 1000;
  return frames * wave.nBlockAlign;
}

const WAVEFORMATEX& waveFormatOf(const CMediaType& type) {
  return *reinterpret_cast<const WAVEFORMATEX*>(type.Format());
}

}  // namespace kcm::devices
