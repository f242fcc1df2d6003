// Tour steps "play" and "record": audio output through CKestroAudioRender and capture
// through the wave-form input device.
//   kcm play                          plays a generated tone into an ALSA file device of a
//                                     private configuration and reports the bytes that arrived
//   kcm play <file.wav> [device]      plays a 16-bit PCM WAV file on the named or default device
//   kcm record                        records the tone back from a file device
//   kcm record <seconds> <file.wav> [device]   records 16 kHz mono from the named or
//                                     "default" device into a WAV file
// Without arguments nothing needs a sound card.
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "KestroAudioRender.h"
#include "KestroWaveForm.h"
#include "Tour.h"
#include "winerror.h"

namespace {

constexpr uint32_t kDemoRate = 16000;
constexpr uint32_t kRecordRate = 16000;

struct WavAudio {
  uint32_t rate = 0;
  uint16_t channels = 0;
  std::vector<char> pcm;  // 16-bit little-endian samples
};

uint32_t Le(const char* p, int bytes) {
  uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(p[i]);
  return value;
}

void PutLe(std::string* out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out->push_back(static_cast<char>(value >> (8 * i)));
}

std::vector<char> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// 16-bit PCM from a RIFF WAVE file; false with a message for anything else.
bool ReadWav(const std::string& path, WavAudio* audio) {
  const std::vector<char> bytes = ReadAll(path);
  if (bytes.size() < 12 || memcmp(bytes.data(), "RIFF", 4) != 0 || memcmp(&bytes[8], "WAVE", 4) != 0) {
    printf("   %s: not a WAV file\n", path.c_str());
    return false;
  }
  bool pcm16 = false;
  for (size_t at = 12; at + 8 <= bytes.size();) {
    const char* chunk = &bytes[at];
    const size_t size = Le(chunk + 4, 4);
    const size_t body = at + 8;
    if (memcmp(chunk, "fmt ", 4) == 0 && size >= 16 && body + 16 <= bytes.size()) {
      audio->channels = static_cast<uint16_t>(Le(chunk + 10, 2));
      audio->rate = Le(chunk + 12, 4);
      pcm16 = Le(chunk + 8, 2) == 1 && Le(chunk + 22, 2) == 16 && audio->channels > 0 && audio->rate > 0;
    } else if (memcmp(chunk, "data", 4) == 0 && pcm16) {
      const size_t available = std::min(size, bytes.size() - body);
      audio->pcm.assign(bytes.begin() + static_cast<long>(body), bytes.begin() + static_cast<long>(body + available));
      return true;
    }
    at = body + size + (size & 1);
  }
  printf("   %s: want 16-bit PCM\n", path.c_str());
  return false;
}

bool WriteWav(const std::string& path, const WavAudio& audio) {
  std::string header = "RIFF";
  PutLe(&header, static_cast<uint32_t>(36 + audio.pcm.size()), 4);
  header += "WAVEfmt ";
  PutLe(&header, 16, 4);
  PutLe(&header, 1, 2);
  PutLe(&header, audio.channels, 2);
  PutLe(&header, audio.rate, 4);
  PutLe(&header, audio.rate * audio.channels * 2, 4);
  PutLe(&header, audio.channels * 2u, 2);
  PutLe(&header, 16, 2);
  header += "data";
  PutLe(&header, static_cast<uint32_t>(audio.pcm.size()), 4);
  std::ofstream out(path, std::ios::binary);
  out.write(header.data(), static_cast<std::streamsize>(header.size()));
  out.write(audio.pcm.data(), static_cast<std::streamsize>(audio.pcm.size()));
  return out.good();
}

std::vector<char> Tone(uint32_t rate, double seconds, double hertz) {
  std::vector<char> pcm(static_cast<size_t>(rate * seconds) * 2);
  for (size_t i = 0; i < pcm.size() / 2; ++i) {
    const int16_t sample = static_cast<int16_t>(lrint(12000.0 * sin(2.0 * M_PI * hertz * static_cast<double>(i) / rate)));
    memcpy(&pcm[2 * i], &sample, 2);
  }
  return pcm;
}

// The render, with a look at its queue: items still waiting when it closes are dropped,
// so a host that wants every block played waits for the queue to empty first.
class PlayingRender : public CKestroAudioRender {
 public:
  void waitUntilPlayed() {
    while (_audioDataQueueService != nullptr && _audioDataQueueService->GetQueuePacketCount() != 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
};

// Hands the audio to the render in 20 ms blocks. With a cap, a refused block (over the
// max cache) is offered again a little later, as a host that produces faster than real
// time does; without one the queue takes everything at once.
bool Play(const WavAudio& audio, const char* device, int maxCacheMs) {
  PlayingRender render;
  if (device != nullptr) render.initAudioDev(device);
  render.setAudioMaxCacheMS(maxCacheMs);
  tagKestroStreamType type = {};
  type.mediaKind = 2;
  type.valid = 1;
  type.waveFormat.nChannels = audio.channels;
  type.waveFormat.nSamplesPerSec = audio.rate;
  type.waveFormat.wBitsPerSample = 16;
  if (render.openAudioPlayback(type) != S_OK) {
    printf("   openAudioPlayback failed\n");
    return false;
  }
  const size_t block = audio.rate / 50 * audio.channels * 2;
  const auto blockTime = std::chrono::milliseconds(20);
  for (size_t at = 0; at < audio.pcm.size(); at += block) {
    const unsigned long length = static_cast<unsigned long>(std::min(block, audio.pcm.size() - at));
    void* data = const_cast<char*>(&audio.pcm[at]);
    while (render.write(2, 0, 0, data, length, 1, nullptr) == E_FAIL) std::this_thread::sleep_for(blockTime);
    if (maxCacheMs != 0) std::this_thread::sleep_for(blockTime / 2);  // stays well ahead of the device
  }
  render.waitUntilPlayed();
  render.closeAudioPlayback();
  return true;
}

// Collects captured frames until it holds the bytes wanted.
class RecordingSink : public IWaveFormDataSink {
 public:
  explicit RecordingSink(size_t wanted) : _wanted(wanted) {}
  bool Ex_IsValid() override { return true; }
  bool Ex_Release() override { return true; }
  void* Ex_QueryInterface(const GUID&, unsigned long) override { return nullptr; }
  void onWaveFormData(void*, const char* data, unsigned long length) override {
    std::lock_guard<std::mutex> hold(_mutex);
    const size_t take = std::min<size_t>(length, _wanted - std::min(_wanted, pcm.size()));
    pcm.insert(pcm.end(), data, data + take);
    if (pcm.size() >= _wanted) _full.notify_all();
  }
  bool waitFull(std::chrono::seconds limit) {
    std::unique_lock<std::mutex> hold(_mutex);
    return _full.wait_for(hold, limit, [this] { return pcm.size() >= _wanted; });
  }
  std::vector<char> pcm;

 private:
  size_t _wanted;
  std::mutex _mutex;
  std::condition_variable _full;
};

bool Record(double seconds, const std::wstring& device, WavAudio* audio) {
  audio->rate = kRecordRate;
  audio->channels = 1;
  RecordingSink sink(static_cast<size_t>(seconds * kRecordRate) * 2);
  WAVEFORMATEX format = {};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 1;
  format.nSamplesPerSec = kRecordRate;
  format.wBitsPerSample = 16;
  IWaveFormInputDevice* input = kcm_createWaveFormInputDevice();
  bool ok = input->open(device.c_str(), 0, nullptr, &format, &sink, 0) == S_OK && input->start() == S_OK;
  if (ok) ok = sink.waitFull(std::chrono::seconds(static_cast<long>(seconds) + 5));
  input->close();
  input->Ex_Release();
  audio->pcm = sink.pcm;
  if (!ok) printf("   recording from \"%ls\" failed\n", device.c_str());
  return ok;
}

// A private ALSA configuration with file devices in a temporary directory; the previous
// configuration comes back when it goes.
class FileDevices {
 public:
  FileDevices() {
    char pattern[] = "/tmp/kcm-audio-XXXXXX";
    _dir = mkdtemp(pattern) != nullptr ? pattern : "/tmp";
    std::ofstream conf(path("asound.conf"));
    conf << "pcm.null { type null }\n"
         << "pcm.!default { type file slave.pcm \"null\" file \"/dev/null\" format \"raw\" }\n"
         << "pcm.tour_out { type file slave.pcm \"null\" file \"" << path("played.raw") << "\" format \"raw\" }\n"
         << "pcm.tour_in { type file slave.pcm \"null\" file \"/dev/null\" infile \"" << path("tone.raw")
         << "\" format \"raw\" }\n";
    const char* previous = getenv("ALSA_CONFIG_PATH");
    _hadPrevious = previous != nullptr;
    if (_hadPrevious) _previous = previous;
    setenv("ALSA_CONFIG_PATH", path("asound.conf").c_str(), 1);
  }
  ~FileDevices() {
    if (_hadPrevious)
      setenv("ALSA_CONFIG_PATH", _previous.c_str(), 1);
    else
      unsetenv("ALSA_CONFIG_PATH");
    for (const char* name : {"asound.conf", "played.raw", "tone.raw"}) unlink(path(name).c_str());
    rmdir(_dir.c_str());
  }
  std::string path(const char* name) const { return _dir + "/" + name; }

 private:
  std::string _dir;
  std::string _previous;
  bool _hadPrevious = false;
};

bool PlayDemo() {
  FileDevices devices;
  WavAudio tone;
  tone.rate = kDemoRate;
  tone.channels = 1;
  tone.pcm = Tone(kDemoRate, 1.0, 440.0);
  if (!Play(tone, "tour_out", 0)) return false;
  const std::vector<char> arrived = ReadAll(devices.path("played.raw"));
  printf("   1 s of 440 Hz at %u Hz mono through CKestroAudioRender to ALSA file device \"tour_out\"\n", kDemoRate);
  printf("   %zu bytes written, %zu bytes arrived, %s\n", tone.pcm.size(), arrived.size(),
         arrived == tone.pcm ? "identical" : "DIFFERENT");
  return arrived == tone.pcm;
}

bool RecordDemo() {
  FileDevices devices;
  const std::vector<char> tone = Tone(kRecordRate, 1.0, 440.0);
  std::ofstream(devices.path("tone.raw"), std::ios::binary).write(tone.data(), static_cast<std::streamsize>(tone.size()));
  WavAudio recorded;
  if (!Record(1.0, L"tour_in", &recorded)) return false;
  printf("   1 s of 440 Hz from ALSA file device \"tour_in\" through the wave-form input device, 20 ms frames\n");
  printf("   %zu bytes expected, %zu bytes captured, %s\n", tone.size(), recorded.pcm.size(),
         recorded.pcm == tone ? "identical" : "DIFFERENT");
  return recorded.pcm == tone;
}

bool PlayStep() {
  const std::vector<std::string>& arguments = Options().arguments;
  if (arguments.empty()) return PlayDemo();
  if (arguments.size() > 2) {
    printf("   usage: kcm play [<file.wav> [device]]\n");
    return false;
  }
  WavAudio audio;
  if (!ReadWav(arguments[0], &audio)) return false;
  const char* device = arguments.size() == 2 ? arguments[1].c_str() : nullptr;
  printf("   %s: %u Hz, %u channel(s), %.2f s on %s\n", arguments[0].c_str(), audio.rate, audio.channels,
         static_cast<double>(audio.pcm.size()) / (audio.rate * audio.channels * 2.0),
         device != nullptr ? device : "the default device");
  return Play(audio, device, 500);
}

bool RecordStep() {
  const std::vector<std::string>& arguments = Options().arguments;
  if (arguments.empty()) return RecordDemo();
  const double seconds = arguments.size() >= 2 ? atof(arguments[0].c_str()) : 0;
  if (arguments.size() > 3 || seconds <= 0 || seconds > 3600) {
    printf("   usage: kcm record [<seconds> <file.wav> [device]]\n");
    return false;
  }
  const std::string name = arguments.size() == 3 ? arguments[2] : "default";
  WavAudio audio;
  if (!Record(seconds, std::wstring(name.begin(), name.end()), &audio) || !WriteWav(arguments[1], audio)) return false;
  printf("   %.2f s at %u Hz mono from \"%s\" into %s\n", seconds, kRecordRate, name.c_str(), arguments[1].c_str());
  return true;
}

}  // namespace

std::vector<TourStep> AudioTour() {
  return {{"play", "audio out: a tone into an ALSA file device, or a WAV file on a device", PlayStep, true},
          {"record", "audio in: the tone back from a file device, or seconds of a device into a WAV file", RecordStep,
           true}};
}
