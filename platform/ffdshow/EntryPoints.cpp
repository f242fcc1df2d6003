// The four creation entry points of ffdshow.dll, as the library calls them: (slot, null
// outer unknown, HRESULT*, 1). Each leaves a new filter with one reference in the slot,
// or null; nothing thrown escapes.
#include <new>

#include "AudioFilter.h"
#include "ffdshow_settings.h"
#include "VideoDecoderFilter.h"
#include "VideoRawFilter.h"

namespace {

using kcm::ffdshow::AudioFilter;
using kcm::ffdshow::VideoDecoderFilter;
using kcm::ffdshow::VideoRawFilter;

template <class Make>
void CreateFilter(IBaseFilter** slot, IUnknown* outer, HRESULT* phr, Make make) {
  HRESULT hr = S_OK;
  if (slot == nullptr) {
    hr = E_POINTER;
  } else {
    *slot = nullptr;
    if (outer != nullptr) hr = CLASS_E_NOAGGREGATION;
  }
  if (SUCCEEDED(hr)) {
    try {
      CBaseFilter* filter = make(&hr);
      if (filter == nullptr) {
        hr = E_OUTOFMEMORY;
      } else if (FAILED(hr)) {
        delete filter;
      } else {
        filter->NonDelegatingAddRef();
        *slot = filter;
      }
    } catch (const std::bad_alloc&) {
      hr = E_OUTOFMEMORY;
    } catch (...) {
      hr = E_FAIL;
    }
  }
  if (phr != nullptr) *phr = hr;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void WINAPI createTffdshowVideoDecodecFilter(IBaseFilter** filter, IUnknown* outer,
                                                                                      HRESULT* phr, int /*flags*/) {
  CreateFilter(filter, outer, phr, [](HRESULT* hr) { return new VideoDecoderFilter(hr); });
}

__attribute__((visibility("default"))) void WINAPI createTffdshowAudioDecodecFilter(IBaseFilter** filter, IUnknown* outer,
                                                                                      HRESULT* phr, int /*flags*/) {
  CreateFilter(filter, outer, phr, [](HRESULT* hr) { return new AudioFilter(true, hr); });
}

__attribute__((visibility("default"))) void WINAPI createTffdshowVideoRawFilter(IBaseFilter** filter, IUnknown* outer,
                                                                                  HRESULT* phr, int /*flags*/) {
  CreateFilter(filter, outer, phr, [](HRESULT* hr) { return new VideoRawFilter(hr); });
}

__attribute__((visibility("default"))) void WINAPI createTffdshowAudioRawFilter(IBaseFilter** filter, IUnknown* outer,
                                                                                  HRESULT* phr, int /*flags*/) {
  CreateFilter(filter, outer, phr, [](HRESULT* hr) { return new AudioFilter(false, hr); });
}

}  // extern "C"
