// What a host may ask about the machine's capture devices without building a graph of
// its own: the device list, the sizes and frame rates a camera offers, the channel
// counts and sample rates a microphone offers, and the device's settings pages.
//
// Capability items point into fixed tables of well-known values (the tables' row 0 is
// the "Default …" entry with value 0, which no listing contains). Sizes and rates that
// are not in a table are left out of the lists.
//
// Devices are those of the system device enumerator: V4L2 cameras, ALSA capture PCMs
// and, when KCM_TEST_DEVICES=1 or <testDevices value="1"/> in "KestroCommonModule.xml"
// asks for them, the software test devices (KestroTestDevices.h). Display names are
// "@device:kcm:" followed by the device path.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "KestroExport.h"
#include "winerror.h"

struct tagVideoSizeItem {
  const char* name;
  int32_t width;
  int32_t height;
};

struct tagVideoFpsItem {
  const char* name;
  int64_t AvgTimePerFrame;  // 100 ns units
};

struct tagAudioSampleRateItem {
  const char* name;
  uint32_t samplesPerSec;
};

struct tagAudioChannelItem {
  const char* name;
  uint32_t channels;
};

// ("None", "None") first, then (friendly name, display name) of every video (or audio)
// input device. COM is initialised on the calling thread when it is not yet.
KCM_API HRESULT kcm_enumDShowDeviceList(bool video, std::vector<std::pair<std::wstring, std::wstring>>& list);
// The device's sizes and frame rates that are rows of the tables, each once, in the
// device's order.
KCM_API HRESULT kcm_enumVideoDeviceCapabilities(wchar_t* friendlyName, wchar_t* displayName,
                                                std::vector<tagVideoSizeItem>& sizes,
                                                std::vector<tagVideoFpsItem>& rates);
KCM_API HRESULT kcm_enumAudioDeviceCapabilities(wchar_t* friendlyName, wchar_t* displayName,
                                                std::vector<tagAudioChannelItem>& channels,
                                                std::vector<tagAudioSampleRateItem>& rates);
// The device's configuration pages. There is no window here: the property frame writes
// the pages and the settings they show to the platform's diagnostic channel.
KCM_API HRESULT kcm_showDShowDeviceSettingPage(int isVideo, wchar_t* friendlyName, wchar_t* displayName);
