#include "OdbcText.h"

#include "oleauto.h"

namespace kcm::ado {

size_t ToOdbcBuffer(const wchar_t* text, size_t length, SQLWCHAR* out) {
  size_t units = 0;
  for (size_t i = 0; i < length; ++i) {
    uint32_t code = static_cast<uint32_t>(text[i]);
    if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
    if (code < 0x10000) {
      out[units++] = static_cast<SQLWCHAR>(code);
    } else {
      code -= 0x10000;
      out[units++] = static_cast<SQLWCHAR>(0xD800 + (code >> 10));
      out[units++] = static_cast<SQLWCHAR>(0xDC00 + (code & 0x3FF));
    }
  }
  return units;
}

OdbcString ToOdbc(const std::wstring& text) {
  OdbcString result(text.size() * 2, 0);
  result.resize(ToOdbcBuffer(text.data(), text.size(), &result[0]));
  return result;
}

std::wstring FromOdbc(const SQLWCHAR* text, size_t length) {
  std::wstring result;
  AppendFromOdbc(text, length, &result);
  return result;
}

namespace {

bool IsHighSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Decodes UTF-16 into `out` (room for `length` characters); answers how many. A lone
// surrogate becomes U+FFFD.
size_t DecodeOdbc(const SQLWCHAR* text, size_t length, wchar_t* out) {
  size_t characters = 0;
  for (size_t i = 0; i < length; ++i) {
    uint32_t code = text[i];
    if (IsHighSurrogate(code) && i + 1 < length && IsLowSurrogate(text[i + 1])) {
      code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      code = 0xFFFD;
    }
    out[characters++] = static_cast<wchar_t>(code);
  }
  return characters;
}

size_t DecodedLength(const SQLWCHAR* text, size_t length) {
  size_t characters = length;
  for (size_t i = 0; i + 1 < length; ++i) {
    if (IsHighSurrogate(text[i]) && IsLowSurrogate(text[i + 1])) {
      --characters;
      ++i;
    }
  }
  return characters;
}

}  // namespace

void AppendFromOdbc(const SQLWCHAR* text, size_t length, std::wstring* out) {
  const size_t start = out->size();
  out->resize(start + length);
  out->resize(start + DecodeOdbc(text, length, &(*out)[start]));
}

BSTR BstrFromOdbc(const SQLWCHAR* text, size_t length) {
  const size_t characters = DecodedLength(text, length);
  BSTR result = SysAllocStringLen(nullptr, static_cast<UINT>(characters));
  if (result != nullptr) DecodeOdbc(text, length, result);
  return result;
}

}  // namespace kcm::ado
