// Video capture on V4L2: every /dev/video* node that can capture is a device, named by
// its card name; its path is "v4l2:" + the node.
#pragma once

#include "KestroCaptureDevices.h"

namespace kcm::devices {

void listV4l2Devices(KcmCaptureDeviceVisitor visit, void* context);

}  // namespace kcm::devices
