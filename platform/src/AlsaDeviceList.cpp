#include "AlsaDeviceList.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <mutex>

namespace alsa {
namespace {

// Building blocks that need arguments or a slave; PortAudio skips the same ones.
const char* const kSkippedPcms[] = {"hw",  "plughw", "plug",  "dsnoop", "tee",          "file",
                                    "null", "shm",   "cards", "dmix",   "rate_convert", "asym"};

bool isSkipped(const std::string& name) {
  return std::find(std::begin(kSkippedPcms), std::end(kSkippedPcms), name) != std::end(kSkippedPcms);
}

std::vector<std::string> configuredPcmNames() {
  std::vector<std::string> names;
  snd_config_t* top = nullptr;
  if (snd_config_update_ref(&top) < 0) return names;
  snd_config_t* pcms = nullptr;
  if (snd_config_search(top, "pcm", &pcms) >= 0) {
    snd_config_iterator_t it, next;
    snd_config_for_each(it, next, pcms) {
      const char* id = nullptr;
      if (snd_config_get_id(snd_config_iterator_entry(it), &id) >= 0 && id != nullptr) names.emplace_back(id);
    }
  }
  snd_config_unref(top);
  return names;
}

bool opens(const std::string& name, Direction direction) {
  snd_pcm_t* pcm = nullptr;
  const snd_pcm_stream_t stream = direction == Direction::Capture ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK;
  if (snd_pcm_open(&pcm, name.c_str(), stream, SND_PCM_NONBLOCK) < 0) return false;
  snd_pcm_close(pcm);
  return true;
}

std::mutex cacheMutex;
std::vector<std::string> cache[2];
bool cacheTaken[2] = {false, false};

}  // namespace

std::vector<std::string> listPcmNames(Direction direction) {
  std::vector<std::string> names;
  std::vector<std::string> candidates = configuredPcmNames();
  auto defaultName = std::find(candidates.begin(), candidates.end(), "default");
  if (defaultName != candidates.end()) std::rotate(candidates.begin(), defaultName, defaultName + 1);
  for (const std::string& name : candidates)
    if (!isSkipped(name) && opens(name, direction)) names.push_back(name);
  std::lock_guard<std::mutex> hold(cacheMutex);
  cache[static_cast<int>(direction)] = names;
  cacheTaken[static_cast<int>(direction)] = true;
  return names;
}

std::vector<std::string> cachedPcmNames(Direction direction) {
  {
    std::lock_guard<std::mutex> hold(cacheMutex);
    if (cacheTaken[static_cast<int>(direction)]) return cache[static_cast<int>(direction)];
  }
  return listPcmNames(direction);
}

}  // namespace alsa
