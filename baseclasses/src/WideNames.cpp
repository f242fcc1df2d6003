#include "WideNames.h"

#include <algorithm>

namespace kcm::baseclasses {

void copyName(WCHAR* target, size_t capacity, const std::wstring& text) {
  const size_t length = std::min(text.size(), capacity - 1);
  std::copy_n(text.data(), length, target);
  target[length] = L'\0';
}

HRESULT taskMemString(const std::wstring& text, LPWSTR* copy) {
  if (copy == nullptr) return E_POINTER;
  *copy = static_cast<LPWSTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(WCHAR)));
  if (*copy == nullptr) return E_OUTOFMEMORY;
  std::copy_n(text.c_str(), text.size() + 1, *copy);
  return S_OK;
}

}  // namespace kcm::baseclasses
