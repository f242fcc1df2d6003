#include "AudioVolume.h"

#include <algorithm>

namespace kcm::ffdshow {

namespace {

// Gain of one channel in 1/10000.
int64_t ChannelGain(const VolumeSettings& volume, int channel) {
  const int own = channel < static_cast<int>(volume.channels.size()) ? volume.channels[channel] : 100;
  return static_cast<int64_t>(volume.master) * own;
}

int16_t Scale(int16_t sample, int64_t gain) {
  const int64_t product = sample * gain;
  const int64_t rounded = (product >= 0 ? product + 5000 : product - 5000) / 10000;
  return static_cast<int16_t>(std::clamp<int64_t>(rounded, INT16_MIN, INT16_MAX));
}

}  // namespace

bool ChangesSamples(const VolumeSettings& volume, int channels) {
  if (!volume.enabled) return false;
  for (int channel = 0; channel < channels; ++channel) {
    if (ChannelGain(volume, channel) != 10000) return true;
  }
  return false;
}

void ApplyVolume(const VolumeSettings& volume, int16_t* samples, long frames, int channels) {
  if (!ChangesSamples(volume, channels)) return;
  for (int channel = 0; channel < channels; ++channel) {
    const int64_t gain = ChannelGain(volume, channel);
    for (long frame = 0; frame < frames; ++frame) {
      int16_t& sample = samples[frame * channels + channel];
      sample = Scale(sample, gain);
    }
  }
}

}  // namespace kcm::ffdshow
