// The volume stage of the audio filters: scales interleaved 16-bit samples in place by
// the master volume and, when set, each channel's own volume (percentages; 100 leaves a
// sample unchanged, results saturate at the 16-bit limits, rounding to nearest).
#pragma once

#include <stdint.h>

#include "FilterSettings.h"

namespace kcm::ffdshow {

// True when `volume` would change any sample of a stream of `channels` channels.
bool ChangesSamples(const VolumeSettings& volume, int channels);
void ApplyVolume(const VolumeSettings& volume, int16_t* samples, long frames, int channels);

}  // namespace kcm::ffdshow
