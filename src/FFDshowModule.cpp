#include "FFDshowModule.h"

#include "ffdshow_settings.h"
#include "libloaderapi.h"

namespace Kestro {

namespace {

HMODULE ffdshowModule() {
  static const HMODULE module = LoadLibraryW(L"ffdshow.dll");  // kept until the process ends
  return module;
}

PFN_createTffdshowFilter entryPoint(FFDshowEntry entry) {
  static const char* const kNames[] = {"createTffdshowVideoDecodecFilter", "createTffdshowAudioDecodecFilter",
                                       "createTffdshowVideoRawFilter", "createTffdshowAudioRawFilter"};
  const HMODULE module = ffdshowModule();
  if (module == nullptr) return nullptr;
  return reinterpret_cast<PFN_createTffdshowFilter>(GetProcAddress(module, kNames[static_cast<int>(entry)]));
}

}  // namespace

IBaseFilter* createFFDshowFilter(FFDshowEntry entry, HRESULT* phr) {
  HRESULT ignored = S_OK;
  HRESULT& hr = phr != nullptr ? *phr : ignored;
  const PFN_createTffdshowFilter create = entryPoint(entry);
  if (create == nullptr) {
    hr = E_FAIL;
    return nullptr;
  }
  IBaseFilter* filter = nullptr;
  hr = S_OK;
  create(&filter, nullptr, &hr, 1);
  if (filter == nullptr && SUCCEEDED(hr)) hr = E_FAIL;
  if (FAILED(hr) && filter != nullptr) {
    filter->Release();
    filter = nullptr;
  }
  return filter;
}

}  // namespace Kestro
