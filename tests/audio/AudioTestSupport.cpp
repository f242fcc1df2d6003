#include "AudioTestSupport.h"

#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace audio_test {
namespace {

struct SelectPrivateAlsaConfiguration {
  SelectPrivateAlsaConfiguration() { setenv("ALSA_CONFIG_PATH", KCM_AUDIO_TEST_DIR "/asound.conf", 1); }
} selectPrivateAlsaConfiguration;

}  // namespace

TempDir::TempDir() {
  char pattern[] = "/tmp/kcm-audio-XXXXXX";
  _path = mkdtemp(pattern);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(_path, ignored);
}

WAVEFORMATEX pcm16(uint32_t rate, uint16_t channels) {
  WAVEFORMATEX format = {};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = channels;
  format.nSamplesPerSec = rate;
  format.wBitsPerSample = 16;
  format.nBlockAlign = static_cast<WORD>(2 * channels);
  format.nAvgBytesPerSec = rate * format.nBlockAlign;
  return format;
}

std::vector<char> rampBytes(size_t bytes, int16_t start) {
  std::vector<char> data(bytes);
  int16_t value = start;
  for (size_t offset = 0; offset + 1 < bytes; offset += 2) {
    memcpy(&data[offset], &value, 2);
    value = static_cast<int16_t>(value == 32767 ? 1 : value + 1);
  }
  return data;
}

std::vector<char> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::vector<char>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void routeDevice(const char* variable, const std::string& path) { setenv(variable, path.c_str(), 1); }

}  // namespace audio_test
