// Tour step of the media pipeline: generated YUY2 frames written by the host into a
// sample source filter, carried by a running filter graph to a sample render filter and
// handed back through its sink. Prints the frame rate and the copies made per frame: the
// source's one copy into a sample, plus one for every frame the sink sees in a sample
// that is not one of the source's own.
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <set>
#include <vector>

#include "KestroSampleRenderFilter.h"
#include "KestroSampleSourceFilter.h"
#include "Tour.h"
#include "control.h"

namespace {

using Clock = std::chrono::steady_clock;

const int kFrames = 300;
const int kDistinctFrames = 8;
const REFERENCE_TIME kFrameTime = 400000;  // 25 fps

// Counts what arrives and whether it arrived in one of the source's own samples.
class CountingSink : public ISampleRenderSink {
 public:
  explicit CountingSink(std::set<IMediaSample*> sourceSamples) : sourceSamples_(std::move(sourceSamples)) {}

  bool Ex_IsValid() override { return true; }
  bool Ex_Release() override { return true; }
  void* Ex_QueryInterface(const GUID& iid, unsigned long version) override {
    return QueryUnknownEx<ISampleRenderSink>(this, IID_ISampleRenderSink, iid, version);
  }

  HRESULT OnDoRenderSample(ISampleRender*, int, IMediaSample* sample, tagKestroStreamType* streamType, int) override {
    ++frames;
    if (sourceSamples_.count(sample) == 0) ++copiedOnTheWay;
    bytes += sample->GetActualDataLength();
    width = streamType->videoInfo.bmiHeader.biWidth;
    return S_OK;
  }

  std::atomic<int> frames{0};
  std::atomic<int> copiedOnTheWay{0};
  std::atomic<long long> bytes{0};
  std::atomic<LONG> width{0};

 private:
  const std::set<IMediaSample*> sourceSamples_;
};

// Frames of moving colour bars, so that consecutive frames differ.
std::vector<std::vector<BYTE>> MakeFrames(int width, int height) {
  static const BYTE kBars[8][3] = {{235, 128, 128}, {210, 16, 146}, {170, 166, 16}, {145, 54, 34},
                                   {106, 202, 222}, {81, 90, 240},  {41, 240, 110}, {16, 128, 128}};
  std::vector<std::vector<BYTE>> frames;
  for (int shift = 0; shift < kDistinctFrames; ++shift) {
    std::vector<BYTE> frame(static_cast<size_t>(width) * 2 * height);
    for (int pair = 0; pair < width / 2; ++pair) {
      const BYTE* bar = kBars[(pair * 16 / width + shift) % 8];
      const BYTE pixels[4] = {bar[0], bar[1], bar[0], bar[2]};
      memcpy(&frame[static_cast<size_t>(pair) * 4], pixels, 4);
    }
    for (int row = 1; row < height; ++row) memcpy(&frame[static_cast<size_t>(row) * width * 2], frame.data(), width * 2);
    frames.push_back(std::move(frame));
  }
  return frames;
}

tagKestroStreamType Yuy2Record(int width, int height) {
  tagKestroStreamType record;
  memset(&record, 0, sizeof(record));
  record.mediaKind = record.streamKind = AMTYPE_Video;
  record.fourCC = Kestro::makeFourCC("YUY2");
  record.valid = 1;
  record.videoInfo.AvgTimePerFrame = kFrameTime;
  BITMAPINFOHEADER& header = record.videoInfo.bmiHeader;
  header.biSize = sizeof(BITMAPINFOHEADER);
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = 16;
  header.biCompression = record.fourCC;
  header.biSizeImage = static_cast<DWORD>(width) * 2 * height;
  return record;
}

// Holds the graph's objects and gives them back in the right order.
struct Graph {
  IGraphBuilder* builder = nullptr;
  IMediaControl* control = nullptr;
  IBaseFilter* source = nullptr;
  IBaseFilter* render = nullptr;
  ISampleSource* input = nullptr;
  ISampleRender* output = nullptr;

  ~Graph() {
    if (control != nullptr) control->Stop();
    for (IUnknown* object : {static_cast<IUnknown*>(input), static_cast<IUnknown*>(output),
                             static_cast<IUnknown*>(control), static_cast<IUnknown*>(builder),
                             static_cast<IUnknown*>(source), static_cast<IUnknown*>(render)}) {
      if (object != nullptr) object->Release();
    }
  }

  HRESULT Build(tagKestroStreamType& record) {
    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                  reinterpret_cast<void**>(&builder));
    if (SUCCEEDED(hr)) hr = builder->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control));
    if (SUCCEEDED(hr)) hr = Create(CLSID_SampleSourceFilter, L"Sample Source", &source);
    if (SUCCEEDED(hr)) hr = Create(CLSID_SampleRenderFilter, L"ORB Sample Render", &render);
    if (SUCCEEDED(hr)) hr = source->QueryInterface(IID_ISampleSource, reinterpret_cast<void**>(&input));
    if (SUCCEEDED(hr)) hr = render->QueryInterface(IID_ISampleRender, reinterpret_cast<void**>(&output));
    if (SUCCEEDED(hr)) hr = input->set_KestroStreamType(record);
    if (SUCCEEDED(hr)) hr = Connect();
    return hr;
  }

 private:
  HRESULT Create(REFCLSID clsid, LPCWSTR name, IBaseFilter** filter) {
    const HRESULT hr =
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, reinterpret_cast<void**>(filter));
    return FAILED(hr) ? hr : builder->AddFilter(*filter, name);
  }

  HRESULT Connect() {
    IPin* from = nullptr;
    IPin* to = nullptr;
    HRESULT hr = source->FindPin(L"SampleSourceStream", &from);
    if (SUCCEEDED(hr)) hr = render->FindPin(L"Input", &to);
    if (SUCCEEDED(hr)) hr = builder->Connect(from, to);
    if (from != nullptr) from->Release();
    if (to != nullptr) to->Release();
    return hr;
  }
};

// The source's own samples: every buffer of its allocator, taken once and given back.
std::set<IMediaSample*> SourceSamples(ISampleSource* source) {
  std::vector<IMediaSample*> taken;
  IMediaSample* sample = nullptr;
  while (source->getDeliveryMediaSample(&sample, nullptr, nullptr, AM_GBF_NOWAIT) == S_OK) taken.push_back(sample);
  for (IMediaSample* each : taken) each->Release();
  return std::set<IMediaSample*>(taken.begin(), taken.end());
}

bool GraphStep() {
  const int width = Options().width & ~1, height = Options().height;
  if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return false;
  bool ok = false;
  {
    tagKestroStreamType record = Yuy2Record(width, height);
    Graph graph;
    HRESULT hr = graph.Build(record);
    if (SUCCEEDED(hr)) hr = graph.control->Run();
    if (FAILED(hr)) printf("   building and running the graph failed: 0x%08X\n", static_cast<unsigned>(hr));
    if (SUCCEEDED(hr)) {
      const std::set<IMediaSample*> sourceSamples = SourceSamples(graph.input);
      CountingSink sink(sourceSamples);
      graph.output->put_SampleRenderSink(&sink);
      const std::vector<std::vector<BYTE>> frames = MakeFrames(width, height);
      const DWORD frameBytes = static_cast<DWORD>(frames[0].size());
      const Clock::time_point start = Clock::now();
      for (int index = 0; index < kFrames; ++index) {
        const REFERENCE_TIME time = index * kFrameTime;
        graph.input->streamOutData(0, time, time + kFrameTime, const_cast<BYTE*>(frames[index % kDistinctFrames].data()),
                                   frameBytes);
      }
      const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
      graph.control->Stop();
      graph.output->put_SampleRenderSink(nullptr);
      const int arrived = sink.frames;
      const double copies = arrived == 0 ? 0.0 : 1.0 + static_cast<double>(sink.copiedOnTheWay) / arrived;
      printf("   source (%zu buffers) -> ORB Sample Render: %d of %d frames of %dx%d YUY2 (%u bytes) arrived\n",
             sourceSamples.size(), arrived, kFrames, width, height, frameBytes);
      printf("   %.0f frames/s, %.0f MB/s; copies per frame: %.2f (the source's one into the sample%s)\n",
             kFrames / seconds, sink.bytes / seconds / 1e6, copies,
             sink.copiedOnTheWay == 0 ? ", none on the way" : ", more on the way");
      ok = arrived == kFrames && sink.width == width;
    }
  }
  CoUninitialize();
  return ok;
}

}  // namespace

std::vector<TourStep> GraphTour() {
  return {{"graph", "generated YUY2 frames through sample source -> render in a running graph (--size)", GraphStep}};
}
