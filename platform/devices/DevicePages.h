// Property-page support shared by the device filters and pins: the page class ids they
// offer and the text the property frame stand-in prints for them.
#pragma once

#include <string>

#include <streams.h>

#include "olectl.h"

namespace kcm::devices {

// Our own page ids: the capture format page of a capture pin, the device page of a
// capture filter (V4L2 controls, mixer settings) and the routing page of a crossbar.
DEFINE_GUID(CLSID_KcmCaptureFormatPage, 0x3E0B6A41, 0x52C7, 0x4F0D, 0x8B, 0x13, 0x6A, 0x2F, 0x90, 0x1C, 0x44, 0x71);
DEFINE_GUID(CLSID_KcmCaptureDevicePage, 0x3E0B6A42, 0x52C7, 0x4F0D, 0x8B, 0x13, 0x6A, 0x2F, 0x90, 0x1C, 0x44, 0x71);
DEFINE_GUID(CLSID_KcmCrossbarPage, 0x3E0B6A43, 0x52C7, 0x4F0D, 0x8B, 0x13, 0x6A, 0x2F, 0x90, 0x1C, 0x44, 0x71);

// One page, `page`, in task memory.
HRESULT describePages(CAUUID* pages, REFCLSID page);
// A task-memory copy of `text`.
HRESULT copyPropertyText(const std::wstring& text, LPOLESTR* out);
// "YUY2 640 x 480, 30.00 fps" / "PCM 2 ch 48000 Hz 16 bit".
std::wstring describeMediaType(const AM_MEDIA_TYPE& type);

}  // namespace kcm::devices
