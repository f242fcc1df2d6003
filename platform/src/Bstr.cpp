// BSTR: [32-bit byte count][characters][zero character], the pointer at the characters.
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "oleauto.h"

namespace {

constexpr size_t kPrefixSize = sizeof(uint32_t);
constexpr UINT kMaxLength = (UINT32_MAX - kPrefixSize) / sizeof(OLECHAR) - 1;

uint32_t* PrefixOf(BSTR text) { return reinterpret_cast<uint32_t*>(reinterpret_cast<BYTE*>(text) - kPrefixSize); }

}  // namespace

BSTR WINAPI SysAllocStringLen(const OLECHAR* text, UINT length) {
  if (length > kMaxLength) return nullptr;
  const size_t bytes = static_cast<size_t>(length) * sizeof(OLECHAR);
  BYTE* block = static_cast<BYTE*>(malloc(kPrefixSize + bytes + sizeof(OLECHAR)));
  if (block == nullptr) return nullptr;
  *reinterpret_cast<uint32_t*>(block) = static_cast<uint32_t>(bytes);
  BSTR characters = reinterpret_cast<BSTR>(block + kPrefixSize);
  if (text != nullptr) {
    memcpy(characters, text, bytes);
  } else {
    memset(characters, 0, bytes);
  }
  characters[length] = 0;
  return characters;
}

BSTR WINAPI SysAllocString(const OLECHAR* text) {
  if (text == nullptr) return nullptr;
  return SysAllocStringLen(text, static_cast<UINT>(wcslen(text)));
}

void WINAPI SysFreeString(BSTR text) {
  if (text != nullptr) free(PrefixOf(text));
}

UINT WINAPI SysStringByteLen(BSTR text) { return text == nullptr ? 0 : *PrefixOf(text); }

UINT WINAPI SysStringLen(BSTR text) { return SysStringByteLen(text) / sizeof(OLECHAR); }
