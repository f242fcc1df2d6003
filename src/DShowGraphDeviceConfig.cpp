// CDShowGraphBase: configuring a capture device's output format, listing its
// capabilities and showing its settings pages.
#include <cmath>
#include <cstdlib>

#include "DevicePins.h"
#include "GraphHelpers.h"
#include "KestroDShowGraphBase.h"
#include "KestroMediaStreamType.h"
#include "SourcePath.h"
#include "mmreg.h"
#include "olectl.h"
#include "streams.h"

namespace {

const char kSourcePath[] = KCM_SOURCE_PATH("DShowGraphBase");

// The library's audio frame duration; the speech codec and the wave-form input use the
// same 20 ms.
constexpr int kAudioFrameMilliseconds = 20;
constexpr long kSuggestedAudioBuffers = 20;
// A score that ends the video scan: RGBA when RGB is preferred.
constexpr int kFinalVideoScore = 11;

HRESULT logged(HRESULT hr, int line, const char* expression) {
  return logFailedCheck(kSourcePath, hr, line, expression);
}

int videoScore(uint32_t fourCC, int preferRGB) {
  using Kestro::makeFourCC;
  if (fourCC == makeFourCC("YUY2")) return 9;
  if (fourCC == makeFourCC("YVYU") || fourCC == makeFourCC("YUYV")) return 8;
  if (fourCC == makeFourCC("I420") || fourCC == makeFourCC("YV12")) return 7;
  if (fourCC == makeFourCC("YVU9")) return 3;
  if (fourCC == makeFourCC("RV24")) return 1;
  if (fourCC == makeFourCC("RV32")) return preferRGB ? 12 : 1;
  if (fourCC == makeFourCC("RGBA")) return preferRGB ? 11 : 1;
  return 0;
}

int audioScore(uint32_t fourCC) {
  if (fourCC == Kestro::makeFourCC("araw")) return 3;
  if (fourCC == Kestro::makeFourCC("fl32")) return 2;
  return 0;
}

// The requested size (and image size) and frame time in the type's VIDEOINFOHEADER.
void adjustVideoFormat(AM_MEDIA_TYPE* type, int width, int height, __int64 avgTimePerFrame) {
  VIDEOINFOHEADER* info = reinterpret_cast<VIDEOINFOHEADER*>(type->pbFormat);
  BITMAPINFOHEADER& header = info->bmiHeader;
  if (width != 0 || height != 0) {
    const DWORD reported = header.biSizeImage;
    const LONG reportedWidth = header.biWidth;
    const LONG reportedHeight = header.biHeight;
    if (width != 0) header.biWidth = width;
    if (height != 0) header.biHeight = height;
    if (reported == 0) {
      header.biSizeImage = static_cast<DWORD>((header.biBitCount * header.biWidth + 31) / 32 * 4 * std::labs(header.biHeight));
    } else if (reportedWidth != 0 && reportedHeight != 0) {
      const unsigned bytesPerPixel =
          reported / static_cast<unsigned>(reportedWidth) / static_cast<unsigned>(std::labs(reportedHeight));
      header.biSizeImage = static_cast<DWORD>(std::lround(static_cast<double>(bytesPerPixel) * width * height));
    }
  }
  if (avgTimePerFrame != 0) info->AvgTimePerFrame = avgTimePerFrame;
}

void adjustAudioFormat(AM_MEDIA_TYPE* type, int channels, int samplesPerSec, int bitsPerSample) {
  WAVEFORMATEX* wave = reinterpret_cast<WAVEFORMATEX*>(type->pbFormat);
  if (channels != 0) wave->nChannels = static_cast<WORD>(channels);
  if (samplesPerSec != 0) wave->nSamplesPerSec = static_cast<DWORD>(samplesPerSec);
  if (bitsPerSample != 0) wave->wBitsPerSample = static_cast<WORD>(bitsPerSample);
  wave->nBlockAlign = static_cast<WORD>(wave->wBitsPerSample / 8 * wave->nChannels);
  wave->nAvgBytesPerSec = wave->nBlockAlign * wave->nSamplesPerSec;
}

bool isVideoInfo(const AM_MEDIA_TYPE& type) {
  return type.majortype == MEDIATYPE_Video && type.formattype == FORMAT_VideoInfo &&
         type.cbFormat >= sizeof(VIDEOINFOHEADER) && type.pbFormat != nullptr;
}

bool isWaveFormat(const AM_MEDIA_TYPE& type) {
  return type.majortype == MEDIATYPE_Audio && type.formattype == FORMAT_WaveFormatEx &&
         type.cbFormat >= sizeof(WAVEFORMATEX) - sizeof(WORD) && type.pbFormat != nullptr;
}

// The scan both pin configurations share: every capability not scored below the best so
// far, of an accepted kind, adjusted and set; a final score ends it.
template <class Score, class Accept, class Adjust>
HRESULT setBestFormat(IAMStreamConfig* config, Score score, Accept accept, Adjust adjust, int finalScore) {
  int count = 0;
  int size = 0;
  HRESULT hr = config->GetNumberOfCapabilities(&count, &size);
  if (FAILED(hr)) return logged(hr, __LINE__, "\"pSC->GetNumberOfCapabilities(&piCount, &piSize)\"");
  std::vector<BYTE> caps(static_cast<size_t>(std::max(size, 128)));
  int best = -1;
  bool formatSet = false;
  for (int index = 0; index < count; ++index) {
    AM_MEDIA_TYPE* type = nullptr;
    if (config->GetStreamCaps(index, &type, caps.data()) != S_OK || type == nullptr) continue;
    const int typeScore = score(Kestro::fourCCFromMediaType(*type));
    bool done = false;
    if (typeScore >= best && accept(*type)) {
      adjust(type);
      if (SUCCEEDED(config->SetFormat(type))) {
        best = typeScore;
        formatSet = true;
        done = typeScore == finalScore;
      }
    }
    DeleteMediaType(type);
    if (done) break;
  }
  return formatSet ? S_OK : E_FAIL;
}

IAMStreamConfig* streamConfigOf(IPin* pin, HRESULT* hr) {
  IAMStreamConfig* config = nullptr;
  *hr = pin->QueryInterface(IID_IAMStreamConfig, reinterpret_cast<void**>(&config));
  if (FAILED(*hr)) logged(*hr, __LINE__, "\"hr = pPin->QueryInterface( IID_IAMStreamConfig,(void **)&pSC )\"");
  return config;
}

// Applies `configurePin` to every output pin of the device: S_OK when one took a format.
template <class ConfigurePin>
HRESULT configureOutputPins(IBaseFilter* device, ConfigurePin configurePin) {
  HRESULT hr = E_FAIL;
  bool configured = false;
  visitPins(device, PINDIR_OUTPUT, [&](IPin* pin) {
    const HRESULT pinResult = configurePin(pin);
    if (SUCCEEDED(pinResult)) configured = true;
    else hr = pinResult;
    return false;
  });
  return configured ? S_OK : logged(hr, __LINE__, "\"hr\"");
}

// The first output pin of the device that answers `iid` (one reference), or null.
template <class Interface>
Interface* capturePinInterface(IBaseFilter* device, REFIID iid) {
  Interface* found = nullptr;
  visitPins(device, PINDIR_OUTPUT, [&](IPin* pin) {
    return SUCCEEDED(pin->QueryInterface(iid, reinterpret_cast<void**>(&found)));
  });
  return found;
}

}  // namespace

HRESULT CDShowGraphBase::configVideoDevice(IBaseFilter* device, int width, int height, __int64 avgTimePerFrame,
                                           int preferRGB) {
  if (device == nullptr || m_pGraphBuilder == nullptr) return E_POINTER;
  if (width == 0 && height == 0 && avgTimePerFrame == 0) return S_OK;
  return configureOutputPins(device, [&](IPin* pin) {
    return configVideoDevicePin(pin, width, height, avgTimePerFrame, preferRGB);
  });
}

HRESULT CDShowGraphBase::configAudioDevice(IBaseFilter* device, int channels, int samplesPerSec, int bitsPerSample) {
  if (device == nullptr || m_pGraphBuilder == nullptr) return E_POINTER;
  if (channels == 0 && samplesPerSec == 0 && bitsPerSample == 0) return S_OK;
  return configureOutputPins(device, [&](IPin* pin) {
    return configAudioDevicePin(pin, channels, samplesPerSec, bitsPerSample);
  });
}

HRESULT CDShowGraphBase::configVideoDevicePin(IPin* pin, int width, int height, __int64 avgTimePerFrame,
                                              int preferRGB) {
  if (pin == nullptr) return E_POINTER;
  HRESULT hr = S_OK;
  IAMStreamConfig* config = streamConfigOf(pin, &hr);
  if (config == nullptr) return hr;
  hr = setBestFormat(
      config, [preferRGB](uint32_t fourCC) { return videoScore(fourCC, preferRGB); }, isVideoInfo,
      [&](AM_MEDIA_TYPE* type) { adjustVideoFormat(type, width, height, avgTimePerFrame); }, kFinalVideoScore);
  config->Release();
  return hr == E_FAIL ? logged(hr, __LINE__, "\"E_FAIL\"") : hr;
}

HRESULT CDShowGraphBase::configAudioDevicePin(IPin* pin, int channels, int samplesPerSec, int bitsPerSample) {
  if (pin == nullptr) return E_POINTER;
  HRESULT hr = S_OK;
  IAMStreamConfig* config = streamConfigOf(pin, &hr);
  if (config == nullptr) return hr;
  hr = setBestFormat(
      config, audioScore, isWaveFormat,
      [&](AM_MEDIA_TYPE* type) { adjustAudioFormat(type, channels, samplesPerSec, bitsPerSample); }, -2);
  config->Release();
  if (hr == E_FAIL) return logged(hr, __LINE__, "\"E_FAIL\"");
  IAMBufferNegotiation* negotiation = nullptr;
  if (SUCCEEDED(hr) &&
      SUCCEEDED(pin->QueryInterface(IID_IAMBufferNegotiation, reinterpret_cast<void**>(&negotiation)))) {
    ALLOCATOR_PROPERTIES properties{-1, -1, -1, -1};
    negotiation->GetAllocatorProperties(&properties);  // keeps the pin's alignment and prefix
    properties.cBuffers = kSuggestedAudioBuffers;
    properties.cbBuffer = channels * samplesPerSec * bitsPerSample / 8 * kAudioFrameMilliseconds / 1000;
    negotiation->SuggestAllocatorProperties(&properties);
    negotiation->Release();
  }
  return hr;
}

HRESULT CDShowGraphBase::enumDeviceCapabilities(IBaseFilter* device, EnumCapabilitiesCallback callback,
                                                void* context) {
  if (device == nullptr || callback == nullptr) return E_POINTER;
  HRESULT hr = S_OK;
  visitPins(device, PINDIR_OUTPUT, [&](IPin* pin) {
    const HRESULT pinResult = enumDevicePinCapabilities(pin, callback, context);
    if (FAILED(pinResult)) hr = pinResult;
    return false;
  });
  return hr;
}

HRESULT CDShowGraphBase::enumDevicePinCapabilities(IPin* pin, EnumCapabilitiesCallback callback, void* context) {
  if (pin == nullptr || callback == nullptr) return E_POINTER;
  IAMStreamConfig* config = nullptr;
  HRESULT hr = pin->QueryInterface(IID_IAMStreamConfig, reinterpret_cast<void**>(&config));
  if (FAILED(hr)) return hr;
  int count = 0;
  int size = 0;
  hr = config->GetNumberOfCapabilities(&count, &size);
  std::vector<BYTE> caps(static_cast<size_t>(std::max(size, 128)));
  for (int index = 0; SUCCEEDED(hr) && index < count; ++index) {
    AM_MEDIA_TYPE* type = nullptr;
    if (config->GetStreamCaps(index, &type, caps.data()) != S_OK || type == nullptr) continue;
    callback(type, caps.data(), context);
    DeleteMediaType(type);
  }
  config->Release();
  return hr;
}

HRESULT CDShowGraphBase::showPropertyPage(IUnknown* object, HWND owner) {
  if (object == nullptr) return E_POINTER;
  ISpecifyPropertyPages* specify = nullptr;
  HRESULT hr = object->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void**>(&specify));
  if (FAILED(hr)) return hr;
  CAUUID pages{0, nullptr};
  hr = specify->GetPages(&pages);
  specify->Release();
  if (FAILED(hr)) return hr;
  // No desktop window exists here: an owner-less frame stands for the desktop's.
  hr = OleCreatePropertyFrame(owner, 30, 30, nullptr, 1, &object, pages.cElems, pages.pElems, 0, 0, nullptr);
  CoTaskMemFree(pages.pElems);
  return hr;
}

HRESULT CDShowGraphBase::showPropertyPageDeviceConfig(int isVideo, IBaseFilter* device, HWND owner) {
  if (device == nullptr) return E_POINTER;
  if (isVideo) {
    IAMStreamConfig* config = nullptr;
    HRESULT hr = E_NOINTERFACE;
    if (m_pCaptureBuilder != nullptr) {
      hr = m_pCaptureBuilder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, device, IID_IAMStreamConfig,
                                            reinterpret_cast<void**>(&config));
      if (FAILED(hr)) {
        hr = m_pCaptureBuilder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, device, IID_IAMStreamConfig,
                                              reinterpret_cast<void**>(&config));
      }
    }
    if (config == nullptr) config = capturePinInterface<IAMStreamConfig>(device, IID_IAMStreamConfig);
    if (config == nullptr) return FAILED(hr) ? hr : E_NOINTERFACE;
    hr = showPropertyPage(config, owner);
    config->Release();
    return hr;
  }
  HRESULT hr = E_NOINTERFACE;
  if (IAMAudioInputMixer* mixer = capturePinInterface<IAMAudioInputMixer>(device, IID_IAMAudioInputMixer)) {
    hr = showPropertyPage(mixer, owner);
    mixer->Release();
  }
  if (IAMStreamConfig* config = capturePinInterface<IAMStreamConfig>(device, IID_IAMStreamConfig)) {
    hr = showPropertyPage(config, owner);
    config->Release();
  }
  return hr;
}
