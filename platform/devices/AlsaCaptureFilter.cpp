#include "AlsaCaptureFilter.h"

#include <alsa/asoundlib.h>

#include <atomic>
#include <cstring>
#include <string>

#include "AudioFormats.h"
#include "CaptureFilter.h"
#include "uuids.h"

namespace kcm::devices {

namespace {

DEFINE_GUID(CLSID_KcmAlsaCapture, 0x8A3C5E14, 0x1F4B, 0x4C7A, 0x9E, 0x52, 0x0D, 0x6B, 0x21, 0x7F, 0x3A, 0x90);

constexpr wchar_t kPathPrefix[] = L"alsa:";
constexpr unsigned kLatencyMicroseconds = 100000;
constexpr int kWaitMilliseconds = 50;

std::wstring widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }
std::string narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += static_cast<char>(c);
  return out;
}

class AlsaSource final : public CaptureSource {
 public:
  explicit AlsaSource(std::string pcmName) : pcmName_(std::move(pcmName)), formats_(standardPcmFormats()) {}
  ~AlsaSource() override { stop(); }

  const std::vector<CaptureFormat>& formats() const override { return formats_; }
  HRESULT accept(CMediaType& type) const override { return acceptPcm(type); }
  LONG bufferSize(const CMediaType& type) const override { return pcmBlockBytes(type); }

  HRESULT start(const CMediaType& type) override {
    wave_ = waveFormatOf(type);
    interrupted_ = false;
    framesDone_ = 0;
    if (snd_pcm_open(&pcm_, pcmName_.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK) < 0) {
      pcm_ = nullptr;
      return VFW_E_NO_CAPTURE_HARDWARE;
    }
    const snd_pcm_format_t format = wave_.wBitsPerSample == 16 ? SND_PCM_FORMAT_S16_LE : SND_PCM_FORMAT_U8;
    if (snd_pcm_set_params(pcm_, format, SND_PCM_ACCESS_RW_INTERLEAVED, wave_.nChannels, wave_.nSamplesPerSec, 1,
                           kLatencyMicroseconds) < 0) {
      stop();
      return VFW_E_UNSUPPORTED_AUDIO;
    }
    return S_OK;
  }

  // Fills the whole buffer (whole frames), so that every sample but a stopping one holds
  // the same duration.
  HRESULT fill(IMediaSample* sample) override {
    BYTE* buffer = nullptr;
    sample->GetPointer(&buffer);
    const snd_pcm_uframes_t wanted = static_cast<snd_pcm_uframes_t>(sample->GetSize()) / wave_.nBlockAlign;
    if (buffer == nullptr || wanted == 0 || pcm_ == nullptr) return VFW_E_BUFFER_OVERFLOW;
    snd_pcm_uframes_t got = 0;
    while (got < wanted) {
      if (interrupted_) return S_FALSE;
      const snd_pcm_sframes_t read = snd_pcm_readi(pcm_, buffer + got * wave_.nBlockAlign, wanted - got);
      if (read > 0) {
        got += static_cast<snd_pcm_uframes_t>(read);
      } else if (read == -EAGAIN || read == 0) {
        snd_pcm_wait(pcm_, kWaitMilliseconds);
      } else if (snd_pcm_recover(pcm_, static_cast<int>(read), 1) < 0) {
        return VFW_E_NO_CAPTURE_HARDWARE;  // unplugged or broken
      }
    }
    REFERENCE_TIME start = framesDone_ * 10000000 / wave_.nSamplesPerSec;
    framesDone_ += static_cast<LONGLONG>(got);
    REFERENCE_TIME end = framesDone_ * 10000000 / wave_.nSamplesPerSec;
    sample->SetActualDataLength(static_cast<long>(got * wave_.nBlockAlign));
    sample->SetTime(&start, &end);
    sample->SetSyncPoint(TRUE);
    return S_OK;
  }

  void interrupt() override { interrupted_ = true; }
  void stop() override {
    if (pcm_ != nullptr) snd_pcm_close(pcm_);
    pcm_ = nullptr;
  }
  std::wstring describe() const override { return L"ALSA PCM: " + widen(pcmName_) + L"\n"; }

 private:
  const std::string pcmName_;
  std::vector<CaptureFormat> formats_;
  snd_pcm_t* pcm_ = nullptr;
  WAVEFORMATEX wave_{};
  LONGLONG framesDone_ = 0;
  std::atomic<bool> interrupted_{false};
};

class AlsaCaptureFilter final : public CaptureFilter {
 public:
  AlsaCaptureFilter(const std::wstring& name, LPCWSTR devicePath, const std::string& pcmName, HRESULT* hr)
      : CaptureFilter(name.c_str(), devicePath, CLSID_KcmAlsaCapture) {
    addCapturePin(L"Capture", std::make_unique<AlsaSource>(pcmName), PIN_CATEGORY_CAPTURE, hr);
  }
};

HRESULT openAlsaDevice(LPCWSTR devicePath, IBaseFilter** filter) {
  CheckPointer(filter, E_POINTER);
  *filter = nullptr;
  const std::wstring path(devicePath);
  if (path.compare(0, wcslen(kPathPrefix), kPathPrefix) != 0) return E_INVALIDARG;
  const std::string pcmName = narrow(path.substr(wcslen(kPathPrefix)));
  HRESULT hr = S_OK;
  AlsaCaptureFilter* device = new AlsaCaptureFilter(widen(pcmName), devicePath, pcmName, &hr);
  device->AddRef();
  if (FAILED(hr)) {
    device->Release();
    return hr;
  }
  *filter = device;
  return S_OK;
}

// The first line of a hint's description ("HDA Intel PCH, ALC892 Analog\nFront
// microphone" → "HDA Intel PCH, ALC892 Analog"), or the PCM name.
std::string friendlyNameOf(const char* name, const char* description) {
  if (description == nullptr) return name;
  const std::string text = description;
  return text.substr(0, text.find('\n'));
}

}  // namespace

void listAlsaCaptureDevices(KcmCaptureDeviceVisitor visit, void* context) {
  void** hints = nullptr;
  if (snd_device_name_hint(-1, "pcm", &hints) < 0 || hints == nullptr) return;
  for (void** hint = hints; *hint != nullptr; ++hint) {
    char* name = snd_device_name_get_hint(*hint, "NAME");
    char* description = snd_device_name_get_hint(*hint, "DESC");
    char* direction = snd_device_name_get_hint(*hint, "IOID");
    const bool input = direction == nullptr || std::strcmp(direction, "Input") == 0;
    if (name != nullptr && input && std::strcmp(name, "null") != 0) {
      const std::wstring path = kPathPrefix + widen(name);
      visit(context, widen(friendlyNameOf(name, description)).c_str(), path.c_str(), &openAlsaDevice);
    }
    free(name);
    free(description);
    free(direction);
  }
  snd_device_name_free_hint(hints);
}

}  // namespace kcm::devices
