// The moving test-pattern camera: a capture pin over a pattern generator, an analog
// video input, and a crossbar it puts in front of itself when it joins a graph.
#pragma once

#include "KestroTestDevices.h"

namespace kcm::devices {

HRESULT openTestPatternCamera(const KcmTestCameraShape& shape, LPCWSTR friendlyName, LPCWSTR devicePath,
                              IBaseFilter** filter);
// The shape listed as KCM_TEST_CAMERA_NAME.
const KcmTestCameraShape& standardTestCameraShape();

}  // namespace kcm::devices
