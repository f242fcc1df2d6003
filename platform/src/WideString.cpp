#include "WideString.h"

namespace kcm_platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsValidCodePoint(char32_t c) { return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF); }

void AppendUtf8(std::string& out, char32_t c) {
  if (!IsValidCodePoint(c)) c = kReplacement;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Decodes one sequence at `p`, advancing it; malformed input yields U+FFFD and one byte.
char32_t DecodeUtf8(const unsigned char*& p) {
  const unsigned char lead = *p++;
  if (lead < 0x80) return lead;
  int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
  if (extra < 0 || lead > 0xF4) return kReplacement;
  char32_t c = lead & (0x3F >> extra);
  const unsigned char* q = p;
  for (int i = 0; i < extra; ++i, ++q) {
    if ((*q & 0xC0) != 0x80) return kReplacement;
    c = (c << 6) | (*q & 0x3F);
  }
  static const char32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
  if (c < kSmallest[extra] || !IsValidCodePoint(c)) return kReplacement;
  p = q;
  return c;
}

}  // namespace

std::string WideToUtf8(const wchar_t* text) {
  std::string out;
  if (text == nullptr) return out;
  for (; *text != L'\0'; ++text) AppendUtf8(out, static_cast<char32_t>(*text));
  return out;
}

std::wstring Utf8ToWide(const char* text) {
  std::wstring out;
  if (text == nullptr) return out;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  while (*p != 0) out += static_cast<wchar_t>(DecodeUtf8(p));
  return out;
}

}  // namespace kcm_platform
