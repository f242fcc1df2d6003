#include "SilkFile.h"

#include <string.h>

namespace silk {

namespace {
const char kMagic[] = "#!SILK_V3";
constexpr size_t kMagicLength = sizeof(kMagic) - 1;
constexpr uint8_t kTencentMark = 0x02;
}  // namespace

bool parseSilkFile(const std::vector<uint8_t>& bytes, SilkFile* file, std::string* error) {
  size_t at = 0;
  file->framing = FileFraming::Skype;
  if (!bytes.empty() && bytes[0] == kTencentMark) {
    file->framing = FileFraming::Tencent;
    at = 1;
  }
  if (bytes.size() < at + kMagicLength || memcmp(bytes.data() + at, kMagic, kMagicLength) != 0) {
    *error = "not a SILK v3 file (no #!SILK_V3 header)";
    return false;
  }
  at += kMagicLength;
  file->packets.clear();
  while (at + 2 <= bytes.size()) {
    const int16_t length = static_cast<int16_t>(bytes[at] | (bytes[at + 1] << 8));
    at += 2;
    if (length < 0) return true;  // the Skype form's terminator
    if (at + static_cast<size_t>(length) > bytes.size()) {
      *error = "truncated SILK v3 file: packet " + std::to_string(file->packets.size() + 1) + " runs past the end";
      return false;
    }
    file->packets.emplace_back(bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at + length));
    at += static_cast<size_t>(length);
  }
  return true;
}

std::vector<uint8_t> buildSilkFile(const SilkFile& file) {
  std::vector<uint8_t> bytes;
  if (file.framing == FileFraming::Tencent) bytes.push_back(kTencentMark);
  bytes.insert(bytes.end(), kMagic, kMagic + kMagicLength);
  auto putLength = [&bytes](int16_t length) {
    bytes.push_back(static_cast<uint8_t>(length & 0xFF));
    bytes.push_back(static_cast<uint8_t>((length >> 8) & 0xFF));
  };
  for (const std::vector<uint8_t>& packet : file.packets) {
    putLength(static_cast<int16_t>(packet.size()));
    bytes.insert(bytes.end(), packet.begin(), packet.end());
  }
  if (file.framing == FileFraming::Skype) putLength(-1);
  return bytes;
}

}  // namespace silk
