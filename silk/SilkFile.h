// SILK v3 files: "#!SILK_V3" followed by packets, each preceded by its length as a
// little-endian int16. Two framings exist: the Skype SDK form (no leading byte, ends
// with length -1) and the Tencent form (a leading 0x02, no terminator); both are read,
// either is written.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

namespace silk {

enum class FileFraming { Skype, Tencent };

struct SilkFile {
  FileFraming framing = FileFraming::Tencent;
  std::vector<std::vector<uint8_t>> packets;  // a zero-length packet stands for a lost one
};

// False with `error` set when the bytes are not a SILK v3 file or a length runs past the end.
bool parseSilkFile(const std::vector<uint8_t>& bytes, SilkFile* file, std::string* error);
std::vector<uint8_t> buildSilkFile(const SilkFile& file);

}  // namespace silk
