// The tone generator: an audio capture filter that records a 440 Hz sine tone.
#pragma once

#include <streams.h>

namespace kcm::devices {

HRESULT openTestToneGenerator(LPCWSTR friendlyName, LPCWSTR devicePath, IBaseFilter** filter);

}  // namespace kcm::devices
