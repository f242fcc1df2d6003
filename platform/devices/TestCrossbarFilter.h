// The crossbar in front of the test-pattern camera: a composite and an S-video input
// (each paired with the line audio input) routed to the video decoder output, and the
// line audio input to the audio decoder output.
#pragma once

#include <streams.h>

namespace kcm::devices {

// A new crossbar filter (one reference).
IBaseFilter* createTestCrossbarFilter();

}  // namespace kcm::devices
