// Tour steps of the capture devices.
//   kcm devices: every video and audio input device with the sizes and rates (or channel
//     counts and sample rates) it offers.
//   kcm capture [device] [raw|process] [-o file] [-s WxH]: one second from a camera (the
//     test-pattern camera by default) through a graph into a sample render filter; the
//     frames go into a raw file (-o), or first through CDShowGraphRawProcess (ffdshow's
//     raw processor) with "process". Prints the frames, their size and rate.
// The software test devices are switched on for kcm unless KCM_TEST_DEVICES says
// otherwise: this machine may have no camera at all.
#include <stdio.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "KestroDShowGraphTransform.h"
#include "KestroDeviceCapabilities.h"
#include "KestroSampleRenderFilter.h"
#include "KestroSampleSourceFilter.h"
#include "KestroTestDevices.h"
#include "Tour.h"

namespace {

constexpr int kCaptureSeconds = 1;
constexpr REFERENCE_TIME kTourFrameTime = 400000;  // 25 fps

void enableTestDevices() { setenv("KCM_TEST_DEVICES", "1", 0); }

std::string narrow(const std::wstring& text) { return QString::fromStdWString(text).toStdString(); }

// COM for the step's thread, left again at the end.
struct ComScope {
  ComScope() { CoInitialize(nullptr); }
  ~ComScope() { CoUninitialize(); }
};

template <class Item>
std::string names(const std::vector<Item>& items) {
  std::string text;
  for (const Item& item : items) text += std::string(text.empty() ? "" : ", ") + item.name;
  return text.empty() ? "(none from the tables)" : text;
}

bool ListDevices() {
  enableTestDevices();
  ComScope com;
  for (bool video : {true, false}) {
    std::vector<std::pair<std::wstring, std::wstring>> devices;
    if (FAILED(kcm_enumDShowDeviceList(video, devices))) return false;
    printf("   %s input devices:\n", video ? "video" : "audio");
    for (auto& device : devices) {
      printf("   - %s  [%s]\n", narrow(device.first).c_str(), narrow(device.second).c_str());
      if (device.second == L"None") continue;
      wchar_t* name = const_cast<wchar_t*>(device.first.c_str());
      wchar_t* display = const_cast<wchar_t*>(device.second.c_str());
      if (video) {
        std::vector<tagVideoSizeItem> sizes;
        std::vector<tagVideoFpsItem> rates;
        const HRESULT hr = kcm_enumVideoDeviceCapabilities(name, display, sizes, rates);
        printf("       sizes: %s\n       rates: %s   (0x%08x)\n", names(sizes).c_str(), names(rates).c_str(),
               static_cast<unsigned>(hr));
      } else {
        std::vector<tagAudioChannelItem> channels;
        std::vector<tagAudioSampleRateItem> rates;
        const HRESULT hr = kcm_enumAudioDeviceCapabilities(name, display, channels, rates);
        printf("       channels: %s\n       rates: %s   (0x%08x)\n", names(channels).c_str(), names(rates).c_str(),
               static_cast<unsigned>(hr));
      }
    }
  }
  return true;
}

// Frames out of a graph: counted, and written to a file when one is open.
class FrameWriter {
 public:
  explicit FrameWriter(const std::string& path) : file_(path.empty() ? nullptr : fopen(path.c_str(), "wb")) {}
  ~FrameWriter() {
    if (file_ != nullptr) fclose(file_);
  }
  bool opened(const std::string& path) const { return path.empty() || file_ != nullptr; }
  void take(IMediaSample* sample, const tagKestroStreamType& type) {
    BYTE* bytes = nullptr;
    sample->GetPointer(&bytes);
    std::lock_guard<std::mutex> hold(lock_);
    if (file_ != nullptr) fwrite(bytes, 1, static_cast<size_t>(sample->GetActualDataLength()), file_);
    ++frames;
    frameBytes = sample->GetActualDataLength();
    width = type.videoInfo.bmiHeader.biWidth;
    height = type.videoInfo.bmiHeader.biHeight;
  }

  int frames = 0;
  long frameBytes = 0;
  LONG width = 0;
  LONG height = 0;

 private:
  FILE* file_;
  std::mutex lock_;
};

// The raw processor's output goes to the writer.
class ProcessedSink : public IDShowGraphTransformSink {
 public:
  explicit ProcessedSink(FrameWriter& writer) : writer_(writer) {}
  bool Ex_IsValid() override { return true; }
  bool Ex_Release() override { return true; }
  void* Ex_QueryInterface(const GUID&, unsigned long) override { return nullptr; }  // no per-filter settings
  HRESULT onDShowGraphTransformSink_doRenderSample(CDShowGraphTransform*, int, IMediaSample* sample,
                                                   tagKestroStreamType* type) override {
    writer_.take(sample, *type);
    return S_OK;
  }

 private:
  FrameWriter& writer_;
};

// The captured frames: straight to the writer, or through the raw processor first (opened
// with the first frame's description).
class CaptureSink : public ISampleRenderSink {
 public:
  CaptureSink(FrameWriter& writer, bool process) : writer_(writer), processed_(writer), process_(process) {
    if (process_) raw_.init(&processed_);
  }
  ~CaptureSink() { raw_.close(); }
  bool Ex_IsValid() override { return true; }
  bool Ex_Release() override { return true; }
  void* Ex_QueryInterface(const GUID& iid, unsigned long version) override {
    return QueryUnknownEx<ISampleRenderSink>(this, IID_ISampleRenderSink, iid, version);
  }
  HRESULT OnDoRenderSample(ISampleRender*, int, IMediaSample* sample, tagKestroStreamType* type, int) override {
    ++captured;
    if (!process_) {
      writer_.take(sample, *type);
      return S_OK;
    }
    if (!opened_) {
      CoInitialize(nullptr);  // the streaming thread builds the processing graph
      tagKestroProgramType program{};
      program.video = *type;
      opened_ = SUCCEEDED(raw_.open(program));
      if (!opened_) return S_OK;
    }
    BYTE* bytes = nullptr;
    sample->GetPointer(&bytes);
    REFERENCE_TIME start = 0;
    REFERENCE_TIME end = 0;
    sample->GetTime(&start, &end);
    raw_.write(AMTYPE_Video, start, end, bytes, static_cast<unsigned long>(sample->GetActualDataLength()));
    return S_OK;
  }

  std::atomic<int> captured{0};

 private:
  FrameWriter& writer_;
  ProcessedSink processed_;
  CDShowGraphRawProcess raw_;
  const bool process_;
  bool opened_ = false;
};

class CaptureGraph : public CDShowGraphBase {
 public:
  ~CaptureGraph() override { destoryGraphBuild(); }
  HRESULT build(const std::wstring& deviceName, ISampleRenderSink* sink) {
    HRESULT hr = initGraphBuild(false, nullptr);
    if (FAILED(hr)) return hr;
    if (FAILED(hr = createFilter(CLSID_VideoInputDeviceCategory, deviceName.c_str(), &device_))) return hr;
    if (FAILED(hr = m_pGraphBuilder->AddFilter(device_, deviceName.c_str()))) return hr;
    const TourOptions& options = Options();
    if (FAILED(hr = configVideoDevice(device_, options.width, options.height, kTourFrameTime, 0))) return hr;
    if (FAILED(hr = kcm_createInstance(CSampleRenderFilter::CreateInstance(nullptr, &hr), IID_IBaseFilter,
                                       reinterpret_cast<void**>(&render_)))) {
      return hr;
    }
    ISampleRender* sampleRender = nullptr;
    render_->QueryInterface(IID_ISampleRender, reinterpret_cast<void**>(&sampleRender));
    sampleRender->put_SampleRenderSink(sink);
    sampleRender->Release();
    if (FAILED(hr = m_pGraphBuilder->AddFilter(render_, L"sample render filter"))) return hr;
    return ConnectFilters(m_pGraphBuilder, device_, render_);
  }
  HRESULT play() { return m_pMediaControl->Run(); }
  void stop() {
    if (m_pMediaControl != nullptr) m_pMediaControl->Stop();
    if (device_ != nullptr) device_->Release();
    if (render_ != nullptr) render_->Release();
    device_ = render_ = nullptr;
  }

 private:
  IBaseFilter* device_ = nullptr;
  IBaseFilter* render_ = nullptr;
};

bool Capture() {
  enableTestDevices();
  ComScope com;
  const std::vector<std::string>& arguments = Options().arguments;
  std::wstring device = KCM_TEST_CAMERA_NAME;
  bool process = false;
  for (const std::string& argument : arguments) {
    if (argument == "process") process = true;
    else if (argument != "raw") device = QString::fromStdString(argument).toStdWString();
  }
  FrameWriter writer(Options().output);
  if (!writer.opened(Options().output)) {
    printf("   cannot write %s\n", Options().output.c_str());
    return false;
  }
  CaptureSink sink(writer, process);
  CaptureGraph graph;
  HRESULT hr = graph.build(device, &sink);
  if (SUCCEEDED(hr)) hr = graph.play();
  if (FAILED(hr)) {
    printf("   %s: 0x%08x\n", narrow(device).c_str(), static_cast<unsigned>(hr));
    return false;
  }
  std::this_thread::sleep_for(std::chrono::seconds(kCaptureSeconds));
  graph.stop();
  printf("   %s: %d frames captured in %d s%s; %d written, %ld x %ld, %ld bytes each%s%s\n", narrow(device).c_str(),
         sink.captured.load(), kCaptureSeconds, process ? " and processed by ffdshow" : "", writer.frames,
         static_cast<long>(writer.width), static_cast<long>(writer.height), writer.frameBytes,
         Options().output.empty() ? "" : " to ", Options().output.c_str());
  return sink.captured > 0 && writer.frames > 0;
}

}  // namespace

std::vector<TourStep> DevicesTour() {
  return {
      {"devices", "capture devices and what they offer (test devices on unless KCM_TEST_DEVICES says otherwise)",
       ListDevices},
      {"capture", "one second from a camera through a graph: capture [device] [raw|process] [-o file] [-s WxH]",
       Capture, true},
  };
}
