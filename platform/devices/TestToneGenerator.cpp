#include "TestToneGenerator.h"

#include <cmath>
#include <cstring>

#include "AudioFormats.h"
#include "CaptureFilter.h"
#include "Pacer.h"
#include "uuids.h"

namespace kcm::devices {

namespace {

DEFINE_GUID(CLSID_KcmTestToneGenerator, 0x8A3C5E12, 0x1F4B, 0x4C7A, 0x9E, 0x52, 0x0D, 0x6B, 0x21, 0x7F, 0x3A, 0x90);

constexpr double kToneHz = 440.0;
constexpr double kAmplitude = 0.25;
constexpr double kPi = 3.14159265358979323846;

class ToneSource final : public CaptureSource {
 public:
  ToneSource() : formats_(standardPcmFormats()) {}

  const std::vector<CaptureFormat>& formats() const override { return formats_; }
  HRESULT accept(CMediaType& type) const override { return acceptPcm(type); }
  LONG bufferSize(const CMediaType& type) const override { return pcmBlockBytes(type); }

  HRESULT start(const CMediaType& type) override {
    wave_ = waveFormatOf(type);
    if (wave_.nBlockAlign == 0 || wave_.nSamplesPerSec == 0) return VFW_E_INVALIDMEDIATYPE;
    framesDone_ = 0;
    pacer_.start();
    return S_OK;
  }

  HRESULT fill(IMediaSample* sample) override {
    BYTE* buffer = nullptr;
    sample->GetPointer(&buffer);
    const long frames = sample->GetSize() / wave_.nBlockAlign;
    if (buffer == nullptr || frames <= 0) return VFW_E_BUFFER_OVERFLOW;
    REFERENCE_TIME start = timeOf(framesDone_);
    REFERENCE_TIME end = timeOf(framesDone_ + frames);
    if (!pacer_.waitUntil(end)) return S_FALSE;  // a block is there once it has been heard
    for (long frame = 0; frame < frames; ++frame) writeFrame(buffer + frame * wave_.nBlockAlign, framesDone_ + frame);
    sample->SetActualDataLength(frames * wave_.nBlockAlign);
    sample->SetTime(&start, &end);
    sample->SetSyncPoint(TRUE);
    framesDone_ += frames;
    return S_OK;
  }

  void interrupt() override { pacer_.interrupt(); }
  void stop() override {}
  std::wstring describe() const override { return L"Tone: 440 Hz sine, -12 dB\n"; }

 private:
  REFERENCE_TIME timeOf(LONGLONG frames) const { return frames * 10000000 / wave_.nSamplesPerSec; }
  void writeFrame(BYTE* out, LONGLONG frame) const {
    const double value = kAmplitude * std::sin(2.0 * kPi * kToneHz * static_cast<double>(frame) / wave_.nSamplesPerSec);
    for (WORD channel = 0; channel < wave_.nChannels; ++channel) {
      if (wave_.wBitsPerSample == 16) {
        const int16_t sample = static_cast<int16_t>(std::lround(value * 32767.0));
        std::memcpy(out + channel * 2, &sample, 2);
      } else {
        out[channel] = static_cast<BYTE>(128 + std::lround(value * 127.0));
      }
    }
  }

  std::vector<CaptureFormat> formats_;
  WAVEFORMATEX wave_{};
  LONGLONG framesDone_ = 0;
  Pacer pacer_;
};

class TestToneGenerator final : public CaptureFilter {
 public:
  TestToneGenerator(LPCWSTR friendlyName, LPCWSTR devicePath, HRESULT* hr)
      : CaptureFilter(friendlyName, devicePath, CLSID_KcmTestToneGenerator) {
    addCapturePin(L"Capture", std::make_unique<ToneSource>(), PIN_CATEGORY_CAPTURE, hr);
  }
};

}  // namespace

HRESULT openTestToneGenerator(LPCWSTR friendlyName, LPCWSTR devicePath, IBaseFilter** filter) {
  CheckPointer(filter, E_POINTER);
  HRESULT hr = S_OK;
  TestToneGenerator* generator = new TestToneGenerator(friendlyName, devicePath, &hr);
  generator->AddRef();
  if (FAILED(hr)) {
    generator->Release();
    *filter = nullptr;
    return hr;
  }
  *filter = generator;
  return S_OK;
}

}  // namespace kcm::devices
