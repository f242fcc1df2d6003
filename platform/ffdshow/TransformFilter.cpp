#include "TransformFilter.h"

#include <new>
#include <thread>

#include "KestroPlatformDiagnostic.h"

namespace kcm::ffdshow {

namespace {

// Streaming calls come from the host's or an upstream filter's thread: nothing thrown
// below may reach it.
template <class Step>
HRESULT Guarded(const char* what, Step step) {
  try {
    return step();
  } catch (const std::bad_alloc&) {
    KcmPlatformDiagnostic(what);
    return E_OUTOFMEMORY;
  } catch (...) {
    KcmPlatformDiagnostic(what);
    return E_FAIL;
  }
}

// Holds the stream lock for one streaming call.
class StreamCall {
 public:
  StreamCall(RecursiveTimedLock& lock, int& depth) : lock_(lock), depth_(depth) {
    lock_.lock();
    ++depth_;
  }
  ~StreamCall() {
    --depth_;
    lock_.unlock();
  }
  StreamCall(const StreamCall&) = delete;
  StreamCall& operator=(const StreamCall&) = delete;

 private:
  RecursiveTimedLock& lock_;
  int& depth_;
};

}  // namespace

// ---- input pin ----

TransformInputPin::TransformInputPin(TransformFilter* filter, CCritSec* lock, HRESULT* result)
    : CBaseInputPin(NAME("ffdshow input"), filter, lock, result, L"In"), transform_(filter) {}

HRESULT TransformInputPin::CheckMediaType(const CMediaType* type) {
  CheckPointer(type, E_POINTER);
  return transform_->CheckInputType(*type);
}

HRESULT TransformInputPin::CompleteConnect(IPin* receivePin) {
  HRESULT hr = CBaseInputPin::CompleteConnect(receivePin);
  if (FAILED(hr)) return hr;
  return Guarded("ffdshow: opening the input failed", [&] { return transform_->OnInputConnected(m_mt); });
}

HRESULT TransformInputPin::BreakConnect() {
  transform_->OnInputDisconnected();
  return CBaseInputPin::BreakConnect();
}

long TransformInputPin::AllocatorBuffers() {
  ALLOCATOR_PROPERTIES properties{};
  if (m_pAllocator == nullptr || FAILED(m_pAllocator->GetProperties(&properties))) return 0;
  return properties.cBuffers;
}

STDMETHODIMP TransformInputPin::Receive(IMediaSample* sample) {
  StreamCall stream(transform_->streamLock_, transform_->streamDepth_);
  HRESULT hr = CBaseInputPin::Receive(sample);
  if (hr != S_OK) return hr;
  return Guarded("ffdshow: processing a sample failed", [&] { return transform_->Process(sample); });
}

STDMETHODIMP TransformInputPin::EndOfStream() {
  StreamCall stream(transform_->streamLock_, transform_->streamDepth_);
  HRESULT hr = CheckStreaming();
  if (hr != S_OK) return hr;
  Guarded("ffdshow: draining at end of stream failed", [&] {
    transform_->Drain();
    return S_OK;
  });
  if (!transform_->Output().IsConnected()) return S_OK;
  return transform_->Output().DeliverEndOfStream();
}

STDMETHODIMP TransformInputPin::BeginFlush() {
  HRESULT hr = CBaseInputPin::BeginFlush();
  if (FAILED(hr)) return hr;
  if (transform_->Output().IsConnected()) transform_->Output().DeliverBeginFlush();
  // Receive now answers S_FALSE, so the streaming thread leaves soon.
  StreamCall stream(transform_->streamLock_, transform_->streamDepth_);
  transform_->Discard();
  transform_->discontinuity_ = true;
  return S_OK;
}

STDMETHODIMP TransformInputPin::EndFlush() {
  if (transform_->Output().IsConnected()) transform_->Output().DeliverEndFlush();
  return CBaseInputPin::EndFlush();
}

STDMETHODIMP TransformInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  CBasePin::NewSegment(start, stop, rate);
  if (!transform_->Output().IsConnected()) return S_OK;
  return transform_->Output().DeliverNewSegment(start, stop, rate);
}

// ---- output pin ----

TransformOutputPin::TransformOutputPin(TransformFilter* filter, CCritSec* lock, HRESULT* result)
    : CBaseOutputPin(NAME("ffdshow output"), filter, lock, result, L"Out"), transform_(filter) {}

HRESULT TransformOutputPin::CheckMediaType(const CMediaType* type) {
  CheckPointer(type, E_POINTER);
  if (!transform_->Input().IsConnected()) return VFW_E_NOT_CONNECTED;
  return transform_->CheckOutputType(*type);
}

HRESULT TransformOutputPin::GetMediaType(int position, CMediaType* type) {
  CheckPointer(type, E_POINTER);
  if (position < 0) return E_INVALIDARG;
  if (!transform_->Input().IsConnected()) return VFW_S_NO_MORE_ITEMS;
  return transform_->GetOutputType(position, type);
}

HRESULT TransformOutputPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  CheckPointer(allocator, E_POINTER);
  CheckPointer(request, E_POINTER);
  return transform_->DecideBufferSize(allocator, request);
}

HRESULT TransformOutputPin::CompleteConnect(IPin* receivePin) {
  HRESULT hr = CBaseOutputPin::CompleteConnect(receivePin);
  if (FAILED(hr)) return hr;
  return transform_->OnOutputConnected(m_mt);
}

HRESULT TransformOutputPin::TryGetDeliveryBuffer(IMediaSample** sample) {
  return GetDeliveryBuffer(sample, nullptr, nullptr, AM_GBF_NOWAIT);
}

// ---- filter ----

TransformFilter::TransformFilter(LPCTSTR name, REFCLSID clsid, HRESULT* result)
    : CBaseFilter(name, nullptr, &filterLock_, clsid),
      input_(this, &filterLock_, result),
      output_(this, &filterLock_, result) {}

CBasePin* TransformFilter::GetPin(int index) {
  if (index == 0) return &input_;
  if (index == 1) return &output_;
  return nullptr;
}

STDMETHODIMP TransformFilter::Pause() {
  CAutoLock lock(&filterLock_);
  if (m_State == State_Stopped) {
    std::lock_guard<RecursiveTimedLock> stream(streamLock_);
    const HRESULT started = Guarded("ffdshow: starting failed", [this] { return OnStart(); });
    if (FAILED(started)) return started;
    discontinuity_ = true;
  }
  return CBaseFilter::Pause();
}

STDMETHODIMP TransformFilter::Stop() {
  CAutoLock lock(&filterLock_);
  if (m_State != State_Stopped) {
    std::unique_lock<RecursiveTimedLock> stream(streamLock_, kStopWait);
    if (stream.owns_lock() && streamDepth_ == 0) {
      drainDeadline_ = std::chrono::steady_clock::now() + kStopWait;
      drainingAtStop_ = true;
      Guarded("ffdshow: draining at stop failed", [this] {
        Drain();
        return S_OK;
      });
      drainingAtStop_ = false;
    } else if (!stream.owns_lock()) {
      KcmPlatformDiagnostic("ffdshow: the streaming thread is busy at stop; held frames are dropped");
    }
  }
  return CBaseFilter::Stop();
}

HRESULT TransformFilter::GetOutputBuffer(IMediaSample** sample) {
  if (!output_.IsConnected()) return VFW_E_NOT_CONNECTED;
  if (!drainingAtStop_) return output_.GetDeliveryBuffer(sample, nullptr, nullptr, 0);
  for (;;) {
    const HRESULT hr = output_.TryGetDeliveryBuffer(sample);
    if (hr != VFW_E_TIMEOUT || std::chrono::steady_clock::now() >= drainDeadline_) return hr;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

}  // namespace kcm::ffdshow
