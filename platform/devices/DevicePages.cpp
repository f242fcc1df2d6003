#include "DevicePages.h"

#include <cwchar>

#include "mmreg.h"
#include "uuids.h"

namespace kcm::devices {

HRESULT describePages(CAUUID* pages, REFCLSID page) {
  CheckPointer(pages, E_POINTER);
  pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
  if (pages->pElems == nullptr) {
    pages->cElems = 0;
    return E_OUTOFMEMORY;
  }
  pages->cElems = 1;
  pages->pElems[0] = page;
  return S_OK;
}

HRESULT copyPropertyText(const std::wstring& text, LPOLESTR* out) {
  CheckPointer(out, E_POINTER);
  *out = static_cast<LPOLESTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(OLECHAR)));
  if (*out == nullptr) return E_OUTOFMEMORY;
  text.copy(*out, text.size());
  (*out)[text.size()] = L'\0';
  return S_OK;
}

std::wstring describeMediaType(const AM_MEDIA_TYPE& type) {
  wchar_t text[128] = L"none";
  if (type.formattype == FORMAT_VideoInfo && type.cbFormat >= sizeof(VIDEOINFOHEADER)) {
    const VIDEOINFOHEADER* info = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
    const DWORD code = type.subtype.Data1;
    const bool fourCC = type.subtype == KcmFourCCSubtype(code);
    const double fps = info->AvgTimePerFrame > 0 ? 1e7 / static_cast<double>(info->AvgTimePerFrame) : 0.0;
    swprintf(text, 128, L"%lc%lc%lc%lc %d x %d, %.2f fps", fourCC ? wchar_t(code & 0xFF) : L'R',
             fourCC ? wchar_t((code >> 8) & 0xFF) : L'G', fourCC ? wchar_t((code >> 16) & 0xFF) : L'B',
             fourCC ? wchar_t(code >> 24) : L'x', static_cast<int>(info->bmiHeader.biWidth),
             static_cast<int>(info->bmiHeader.biHeight), fps);
  } else if (type.formattype == FORMAT_WaveFormatEx && type.cbFormat >= sizeof(WAVEFORMATEX) - 2) {
    const WAVEFORMATEX* wave = reinterpret_cast<const WAVEFORMATEX*>(type.pbFormat);
    swprintf(text, 128, L"PCM %u ch %u Hz %u bit", unsigned(wave->nChannels), unsigned(wave->nSamplesPerSec),
             unsigned(wave->wBitsPerSample));
  }
  return text;
}

}  // namespace kcm::devices
