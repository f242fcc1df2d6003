// The audio suites run on ALSA file PCMs of a private configuration (asound.conf beside
// this file; ALSA-DEVICES.md tells the recipe). The configuration is selected before
// main, so that every ALSA user of the process sees it.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "mmreg.h"

namespace audio_test {

// A fresh directory for one test's files; removed with its content on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string path(const char* name) const { return _path + "/" + name; }

 private:
  std::string _path;
};

WAVEFORMATEX pcm16(uint32_t rate, uint16_t channels);
// Distinct 16-bit samples (a ramp, no zero sample), `bytes` long.
std::vector<char> rampBytes(size_t bytes, int16_t start = 1);
std::vector<char> readFile(const std::string& path);
void writeFile(const std::string& path, const std::vector<char>& bytes);
// Points playback ("KCM_AUDIO_OUT", "KCM_AUDIO_DEFAULT_OUT") or capture ("KCM_AUDIO_IN")
// of the file PCMs at a file.
void routeDevice(const char* variable, const std::string& path);

}  // namespace audio_test
