// Conversions between the W functions' wchar_t strings (UTF-32 here) and the UTF-8
// that Linux file names and the dynamic linker use.
#pragma once

#include <string>

namespace kcm_platform {

// Invalid code points become U+FFFD; a null pointer gives an empty string.
std::string WideToUtf8(const wchar_t* text);
std::wstring Utf8ToWide(const char* text);

}  // namespace kcm_platform
