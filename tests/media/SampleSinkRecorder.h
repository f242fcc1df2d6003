// A host's render sink for the tests: records every sample the sample render filter hands
// over (bytes, times, sync point, the record and indices it came with), and can keep the
// samples themselves to hold buffers out of their allocator. Thread-safe; a test waits for
// a number of samples with WaitFor.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "KestroSampleRenderFilter.h"

namespace kcm_test {

struct RenderedSample {
  std::vector<BYTE> bytes;
  HRESULT timeResult = E_FAIL;
  REFERENCE_TIME start = 0;
  REFERENCE_TIME end = 0;
  bool syncPoint = false;
  ISampleRender* render = nullptr;
  int mediaKind = -1;
  tagKestroStreamType streamType{};  // a copy of the record as the sink saw it
  tagKestroStreamType* streamTypeAddress = nullptr;
  int sourceIndex = 0;
};

class SampleSinkRecorder : public ISampleRenderSink {
 public:
  ~SampleSinkRecorder() { ReleaseKept(); }

  bool Ex_IsValid() override { return true; }
  bool Ex_Release() override { return true; }  // owned by the test
  void* Ex_QueryInterface(const GUID& iid, unsigned long version) override {
    return QueryUnknownEx<ISampleRenderSink>(this, IID_ISampleRenderSink, iid, version);
  }

  HRESULT OnDoRenderSample(ISampleRender* render, int mediaKind, IMediaSample* sample,
                           tagKestroStreamType* streamType, int sourceIndex) override {
    RenderedSample copy;
    BYTE* bytes = nullptr;
    sample->GetPointer(&bytes);
    copy.bytes.assign(bytes, bytes + sample->GetActualDataLength());
    copy.timeResult = sample->GetTime(&copy.start, &copy.end);
    copy.syncPoint = sample->IsSyncPoint() == S_OK;
    copy.render = render;
    copy.mediaKind = mediaKind;
    copy.streamType = *streamType;
    copy.streamTypeAddress = streamType;
    copy.sourceIndex = sourceIndex;
    std::lock_guard<std::mutex> lock(mutex_);
    if (keepSamples) {
      sample->AddRef();
      kept_.push_back(sample);
    }
    received_.push_back(std::move(copy));
    arrived_.notify_all();
    return answer;
  }

  // Whether `count` samples arrived within `timeout`.
  bool WaitFor(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    std::unique_lock<std::mutex> lock(mutex_);
    return arrived_.wait_for(lock, timeout, [&] { return received_.size() >= count; });
  }

  std::vector<RenderedSample> Received() {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
  }

  void ReleaseKept() {
    std::vector<IMediaSample*> kept;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      kept.swap(kept_);
    }
    for (IMediaSample* sample : kept) sample->Release();
  }

  bool keepSamples = false;  // set before streaming starts
  HRESULT answer = S_OK;     // what OnDoRenderSample answers

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<RenderedSample> received_;
  std::vector<IMediaSample*> kept_;
};

}  // namespace kcm_test
