// 1920x1080 YUY2 frames (4 MB) written by the host into a sample source filter and
// carried by a running graph to a sample render filter's sink, against a plain memcpy of
// the same frames into one buffer: the framework's one copy per frame is the floor, so
// its throughput should come close to memcpy's (goal: at least 0.8 of it).
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "KestroSampleRenderFilter.h"
#include "KestroSampleSourceFilter.h"
#include "control.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr size_t kFrameBytes = size_t{kWidth} * kHeight * 2;
// Several source frames, so that neither side copies from a cache-warm frame every time.
constexpr int kSourceFrames = 4;

std::vector<std::vector<uint8_t>> RandomFrames() {
  std::mt19937 random(5);
  std::vector<std::vector<uint8_t>> frames(kSourceFrames, std::vector<uint8_t>(kFrameBytes));
  for (auto& frame : frames) {
    for (auto& byte : frame) byte = static_cast<uint8_t>(random());
  }
  return frames;
}

const std::vector<std::vector<uint8_t>>& Frames() {
  static const std::vector<std::vector<uint8_t>> frames = RandomFrames();
  return frames;
}

void Report(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFrameBytes));
  state.counters["frames/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// Reads one byte of every sample, as a host that looks at its frames would at least.
class TouchingSink : public ISampleRenderSink {
 public:
  bool Ex_IsValid() override { return true; }
  bool Ex_Release() override { return true; }
  void* Ex_QueryInterface(const GUID& iid, unsigned long version) override {
    return QueryUnknownEx<ISampleRenderSink>(this, IID_ISampleRenderSink, iid, version);
  }
  HRESULT OnDoRenderSample(ISampleRender*, int, IMediaSample* sample, tagKestroStreamType*, int) override {
    BYTE* bytes = nullptr;
    sample->GetPointer(&bytes);
    checksum += bytes[0];
    return S_OK;
  }
  unsigned checksum = 0;
};

tagKestroStreamType Yuy2Record() {
  tagKestroStreamType record;
  std::memset(&record, 0, sizeof(record));
  record.mediaKind = record.streamKind = AMTYPE_Video;
  record.fourCC = Kestro::makeFourCC("YUY2");
  record.valid = 1;
  record.videoInfo.AvgTimePerFrame = 400000;
  record.videoInfo.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  record.videoInfo.bmiHeader.biWidth = kWidth;
  record.videoInfo.bmiHeader.biHeight = kHeight;
  record.videoInfo.bmiHeader.biBitCount = 16;
  record.videoInfo.bmiHeader.biSizeImage = static_cast<DWORD>(kFrameBytes);
  return record;
}

// The filters come from the library's own factories, as the transform graphs make them.
IBaseFilter* NewFilter(CUnknown* object) {
  IBaseFilter* filter = nullptr;
  kcm_createInstance(object, IID_IBaseFilter, reinterpret_cast<void**>(&filter));
  return filter;
}

// source → render in a running graph; the sink is set for the run.
class RunningGraph {
 public:
  explicit RunningGraph(ISampleRenderSink* sink) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    HRESULT hr = S_OK;
    source_ = NewFilter(CSampleSourceFilter::CreateInstance(nullptr, &hr));
    render_ = NewFilter(CSampleRenderFilter::CreateInstance(nullptr, &hr));
    CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                     reinterpret_cast<void**>(&graph_));
    if (graph_ == nullptr || source_ == nullptr || render_ == nullptr) return;
    graph_->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control_));
    source_->QueryInterface(IID_ISampleSource, reinterpret_cast<void**>(&input_));
    render_->QueryInterface(IID_ISampleRender, reinterpret_cast<void**>(&output_));
    tagKestroStreamType record = Yuy2Record();
    input_->set_KestroStreamType(record);
    output_->put_SampleRenderSink(sink);
    graph_->AddFilter(source_, L"Source");
    graph_->AddFilter(render_, L"Render");
    IPin* from = nullptr;
    IPin* to = nullptr;
    source_->FindPin(L"SampleSourceStream", &from);
    render_->FindPin(L"Input", &to);
    running_ = SUCCEEDED(graph_->Connect(from, to)) && SUCCEEDED(control_->Run());
    from->Release();
    to->Release();
  }
  ~RunningGraph() {
    if (control_ != nullptr) control_->Stop();
    for (IUnknown* object : {static_cast<IUnknown*>(input_), static_cast<IUnknown*>(output_),
                             static_cast<IUnknown*>(control_), static_cast<IUnknown*>(graph_),
                             static_cast<IUnknown*>(source_), static_cast<IUnknown*>(render_)}) {
      if (object != nullptr) object->Release();
    }
    CoUninitialize();
  }

  bool running() const { return running_; }
  ISampleSource* input() { return input_; }

 private:
  IGraphBuilder* graph_ = nullptr;
  IMediaControl* control_ = nullptr;
  IBaseFilter* source_ = nullptr;
  IBaseFilter* render_ = nullptr;
  ISampleSource* input_ = nullptr;
  ISampleRender* output_ = nullptr;
  bool running_ = false;
};

void SampleGraph_StreamOutData(benchmark::State& state) {
  const auto& frames = Frames();
  TouchingSink sink;
  RunningGraph graph(&sink);
  if (!graph.running()) {
    state.SkipWithError("the graph did not connect and run");
    return;
  }
  REFERENCE_TIME time = 0;
  size_t next = 0;
  for (auto _ : state) {
    BYTE* frame = const_cast<BYTE*>(frames[next].data());
    if (graph.input()->streamOutData(0, time, time + 400000, frame, static_cast<DWORD>(kFrameBytes)) != S_OK) {
      state.SkipWithError("streamOutData failed");
      break;
    }
    time += 400000;
    next = (next + 1) % kSourceFrames;
  }
  benchmark::DoNotOptimize(sink.checksum);
  Report(state);
}

void Memcpy_SameFrames(benchmark::State& state) {
  const auto& frames = Frames();
  std::vector<uint8_t> target(kFrameBytes);
  size_t next = 0;
  for (auto _ : state) {
    std::memcpy(target.data(), frames[next].data(), kFrameBytes);
    benchmark::DoNotOptimize(target.data());
    benchmark::ClobberMemory();
    next = (next + 1) % kSourceFrames;
  }
  Report(state);
}

BENCHMARK(SampleGraph_StreamOutData)->Unit(benchmark::kMicrosecond);
BENCHMARK(Memcpy_SameFrames)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
