// Audio capture on ALSA: every PCM the ALSA configuration hints as an input (or as both
// directions) is a device, named by its description; its path is "alsa:" + the PCM name.
#pragma once

#include "KestroCaptureDevices.h"

namespace kcm::devices {

void listAlsaCaptureDevices(KcmCaptureDeviceVisitor visit, void* context);

}  // namespace kcm::devices
