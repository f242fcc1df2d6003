// Registry form of GUIDs: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#include <stdio.h>

#include "combaseapi.h"

namespace {

constexpr size_t kGuidTextLength = 38;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads `digits` hex digits at text[pos]; false if any is not a hex digit.
bool ReadHex(const std::string& text, size_t pos, int digits, uint32_t* value) {
  uint32_t v = 0;
  for (int i = 0; i < digits; ++i) {
    const int d = HexValue(text[pos + i]);
    if (d < 0) return false;
    v = (v << 4) | static_cast<uint32_t>(d);
  }
  *value = v;
  return true;
}

bool HasSeparatorsAt(const std::string& text) {
  return text.size() == kGuidTextLength && text.front() == '{' && text.back() == '}' && text[9] == '-' &&
         text[14] == '-' && text[19] == '-' && text[24] == '-';
}

std::string NarrowAscii(LPCOLESTR text) {
  std::string out;
  for (; *text != 0 && out.size() <= kGuidTextLength; ++text) {
    out += (*text > 0 && *text < 0x80) ? static_cast<char>(*text) : '?';
  }
  return out;
}

}  // namespace

std::string KcmGuidToString(REFGUID g) {
  char text[kGuidTextLength + 1];
  snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
           g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return text;
}

bool KcmGuidFromString(const std::string& text, GUID* guid) {
  if (guid == nullptr || !HasSeparatorsAt(text)) return false;
  GUID parsed{};
  uint32_t value = 0;
  if (!ReadHex(text, 1, 8, &value)) return false;
  parsed.Data1 = value;
  if (!ReadHex(text, 10, 4, &value)) return false;
  parsed.Data2 = static_cast<uint16_t>(value);
  if (!ReadHex(text, 15, 4, &value)) return false;
  parsed.Data3 = static_cast<uint16_t>(value);
  static const size_t kByteOffsets[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (int i = 0; i < 8; ++i) {
    if (!ReadHex(text, kByteOffsets[i], 2, &value)) return false;
    parsed.Data4[i] = static_cast<uint8_t>(value);
  }
  *guid = parsed;
  return true;
}

int WINAPI StringFromGUID2(REFGUID guid, LPOLESTR text, int max) {
  if (text == nullptr || max < static_cast<int>(kGuidTextLength + 1)) return 0;
  const std::string narrow = KcmGuidToString(guid);
  for (size_t i = 0; i < narrow.size(); ++i) text[i] = static_cast<OLECHAR>(narrow[i]);
  text[narrow.size()] = 0;
  return static_cast<int>(kGuidTextLength + 1);
}

HRESULT WINAPI IIDFromString(LPCOLESTR text, LPIID iid) {
  if (text == nullptr || iid == nullptr) return E_INVALIDARG;
  return KcmGuidFromString(NarrowAscii(text), iid) ? S_OK : E_INVALIDARG;
}

HRESULT WINAPI CLSIDFromString(LPCOLESTR text, LPCLSID clsid) { return IIDFromString(text, clsid); }
