// The PCMs of the ALSA configuration in force that open in one direction, by name.
#pragma once

#include <string>
#include <vector>

namespace alsa {

enum class Direction { Playback, Capture };

// "default" first (when it opens), then the configuration's other PCMs in its order.
// PCMs that only make sense inside another one (hw, plug, null, file, …) are left out,
// as PortAudio leaves them out, so both layers list the same names.
std::vector<std::string> listPcmNames(Direction direction);

// The list of the last listPcmNames call per direction (taken now if none was).
std::vector<std::string> cachedPcmNames(Direction direction);

}  // namespace alsa
