#include "OdbcText.h"

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

void AppendFromOdbc(const SQLWCHAR* text, size_t length, std::wstring* out) {
  std::wstring& result = *out;
  result.reserve(result.size() + length);
  for (size_t i = 0; i < length; ++i) {
    uint32_t code = text[i];
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      code = 0xFFFD;
    }
    result.push_back(static_cast<wchar_t>(code));
  }
}

}  // namespace kcm::ado
