// Filter and pin names as the COM records and out-parameters want them.
#pragma once

#include <string>

#include "objbase.h"

namespace kcm::baseclasses {

// Copies `text` into a fixed array of `capacity` characters, cut to fit, terminated.
void copyName(WCHAR* target, size_t capacity, const std::wstring& text);
// A CoTaskMemAlloc'ed copy of `text` for the caller to free (E_POINTER, E_OUTOFMEMORY).
HRESULT taskMemString(const std::wstring& text, LPWSTR* copy);

}  // namespace kcm::baseclasses
