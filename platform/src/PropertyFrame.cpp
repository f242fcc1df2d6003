// The property frame stand-in: no window, each page and each object's settings as lines
// on the platform's diagnostic channel.
#include <string>

#include "KestroPlatformDiagnostic.h"
#include "WideString.h"
#include "olectl.h"
#include "strmif.h"
#include "winerror.h"

namespace {

void report(const std::wstring& line) { KcmPlatformDiagnostic(kcm_platform::WideToUtf8(line.c_str()).c_str()); }

// "  <line>" for each line the object gives, or a note that it gives none.
void reportObject(IUnknown* object) {
  IKcmPropertyText* describer = nullptr;
  if (object == nullptr ||
      FAILED(object->QueryInterface(IID_IKcmPropertyText, reinterpret_cast<void**>(&describer)))) {
    report(L"  (no settings to show)");
    return;
  }
  LPOLESTR text = nullptr;
  if (SUCCEEDED(describer->GetPropertyText(&text)) && text != nullptr) {
    std::wstring all(text);
    CoTaskMemFree(text);
    size_t start = 0;
    while (start < all.size()) {
      const size_t end = all.find(L'\n', start);
      report(L"  " + all.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
      if (end == std::wstring::npos) break;
      start = end + 1;
    }
  }
  describer->Release();
}

}  // namespace

HRESULT WINAPI OleCreatePropertyFrame(HWND, UINT, UINT, LPCOLESTR caption, ULONG objectCount, IUnknown** objects,
                                      ULONG pageCount, const CLSID* pages, LCID, DWORD, void*) {
  if ((objectCount > 0 && objects == nullptr) || (pageCount > 0 && pages == nullptr)) return E_POINTER;
  report(std::wstring(L"Property frame: ") + (caption != nullptr ? caption : L"(untitled)"));
  for (ULONG page = 0; page < pageCount; ++page) {
    wchar_t id[CHARS_IN_GUID] = L"";
    StringFromGUID2(pages[page], id, CHARS_IN_GUID);
    report(std::wstring(L" Page ") + id);
  }
  for (ULONG index = 0; index < objectCount; ++index) reportObject(objects[index]);
  return S_OK;
}
