// The exported device functions: device lists, capabilities against the fixed tables,
// and settings pages, each on a graph of its own built and torn down in the call.
#include "DShowGraphDeviceBase.h"

#include <algorithm>

#include "GraphHelpers.h"
#include "DeviceCapabilities.h"
#include "KestroMediaStreamType.h"
#include "SourcePath.h"
#include "mmreg.h"

namespace {

const char kSourcePath[] = KCM_SOURCE_PATH("kestrocommonmodule");

HRESULT logged(HRESULT hr, int line, const char* expression) {
  return logFailedCheck(kSourcePath, hr, line, expression);
}

template <class Item, size_t Rows, class Matches>
void addFromTable(const Item (&table)[Rows], std::vector<Item>& list, Matches matches) {
  for (size_t row = 1; row < Rows; ++row) {  // row 0 is the default entry, never listed
    if (!matches(table[row])) continue;
    const bool listed = std::any_of(list.begin(), list.end(), [&](const Item& item) { return item.name == table[row].name; });
    if (!listed) list.push_back(table[row]);
    return;
  }
}

struct VideoCollector {
  std::vector<tagVideoSizeItem>& sizes;
  std::vector<tagVideoFpsItem>& rates;
};

struct AudioCollector {
  std::vector<tagAudioChannelItem>& channels;
  std::vector<tagAudioSampleRateItem>& rates;
};

long collectVideo(AM_MEDIA_TYPE* type, void*, void* context) {
  VideoCollector& collector = *static_cast<VideoCollector*>(context);
  Kestro::CMediaStreamType stream(*type);
  const BITMAPINFOHEADER* header = stream.getBitmapHeader();
  const int32_t width = header != nullptr ? header->biWidth : 0;
  const int32_t height = header != nullptr ? header->biHeight : 0;
  const int64_t frameTime = stream.getAvgTimePerFrame();
  if (width != 0 && height != 0) {
    addFromTable(kcm_videoSizeTable, collector.sizes,
                 [&](const tagVideoSizeItem& item) { return item.width == width && item.height == height; });
  }
  if (frameTime != 0) {
    addFromTable(kcm_videoFpsTable, collector.rates,
                 [&](const tagVideoFpsItem& item) { return item.AvgTimePerFrame == frameTime; });
  }
  return 0;
}

long collectAudio(AM_MEDIA_TYPE* type, void*, void* context) {
  AudioCollector& collector = *static_cast<AudioCollector*>(context);
  if (type->formattype != FORMAT_WaveFormatEx || type->pbFormat == nullptr ||
      type->cbFormat < sizeof(WAVEFORMATEX) - sizeof(WORD)) {
    return 0;
  }
  const WAVEFORMATEX* wave = reinterpret_cast<const WAVEFORMATEX*>(type->pbFormat);
  if (wave->nChannels != 0) {
    addFromTable(kcm_audioChannelTable, collector.channels,
                 [&](const tagAudioChannelItem& item) { return item.channels == wave->nChannels; });
  }
  if (wave->nSamplesPerSec != 0) {
    addFromTable(kcm_audioSampleRateTable, collector.rates,
                 [&](const tagAudioSampleRateItem& item) { return item.samplesPerSec == wave->nSamplesPerSec; });
  }
  return 0;
}

// Runs `use(graph, device)` on a graph holding the named device, then tears it down.
template <class Use>
HRESULT withDevice(int isVideo, wchar_t* friendlyName, wchar_t* displayName, const char* createExpression, Use use) {
  CDShowGraphDeviceBase graph;
  IBaseFilter* device = nullptr;
  HRESULT hr = graph.openDevice(isVideo, friendlyName, displayName, createExpression, &device);
  if (SUCCEEDED(hr)) {
    hr = use(graph, device);
    device->Release();
  }
  graph.destoryGraphBuild();
  return hr;
}

}  // namespace

HRESULT CDShowGraphDeviceBase::openDevice(int isVideo, wchar_t* friendlyName, wchar_t* displayName,
                                          const char* createExpression, IBaseFilter** device) {
  HRESULT hr = initGraphBuild(false, nullptr);
  if (FAILED(hr)) return logged(hr, __LINE__, "\"hr = CDShowGraphBase::initGraphBuild(false)\"");
  if (FAILED(hr = createDeviceFilter(isVideo, friendlyName, displayName, device))) {
    return logged(hr, __LINE__, createExpression);
  }
  if (FAILED(hr = m_pGraphBuilder->AddFilter(*device, friendlyName))) {
    (*device)->Release();
    *device = nullptr;
    return logged(hr, __LINE__, "\"hr = m_pGraphBuilder->AddFilter(deviceFilter, szDeviceName)\"");
  }
  return hr;
}

HRESULT kcm_enumDShowDeviceList(bool video, std::vector<std::pair<std::wstring, std::wstring>>& list) {
  return CDShowGraphBase::enumDShowDeviceList(video, list);
}

HRESULT kcm_enumVideoDeviceCapabilities(wchar_t* friendlyName, wchar_t* displayName,
                                        std::vector<tagVideoSizeItem>& sizes, std::vector<tagVideoFpsItem>& rates) {
  VideoCollector collector{sizes, rates};
  return withDevice(TRUE, friendlyName, displayName,
                    "\"hr = CDShowGraphBase::createDeviceFilter(TRUE, szDeviceName, szDisplayName, &deviceFilter)\"",
                    [&](CDShowGraphDeviceBase& graph, IBaseFilter* device) {
    return graph.enumDeviceCapabilities(device, &collectVideo, &collector);
  });
}

HRESULT kcm_enumAudioDeviceCapabilities(wchar_t* friendlyName, wchar_t* displayName,
                                        std::vector<tagAudioChannelItem>& channels,
                                        std::vector<tagAudioSampleRateItem>& rates) {
  AudioCollector collector{channels, rates};
  return withDevice(FALSE, friendlyName, displayName,
                    "\"hr = CDShowGraphBase::createDeviceFilter(FALSE, szDeviceName, szDisplayName, &deviceFilter)\"",
                    [&](CDShowGraphDeviceBase& graph, IBaseFilter* device) {
    return graph.enumDeviceCapabilities(device, &collectAudio, &collector);
  });
}

HRESULT kcm_showDShowDeviceSettingPage(int isVideo, wchar_t* friendlyName, wchar_t* displayName) {
  return withDevice(isVideo, friendlyName, displayName,
                    "\"hr = CDShowGraphBase::createDeviceFilter(bIsVideo, szDeviceName, szDisplayName, &deviceFilter)\"",
                    [&](CDShowGraphDeviceBase& graph, IBaseFilter* device) {
    return graph.showPropertyPageDeviceConfig(isVideo, device, nullptr);
  });
}
