// TransformFilter: the base of the stand-in's filters. One input pin, one output pin;
// every sample received is handed to Process on the streaming thread, which delivers
// whatever output it makes through the output pin's allocator.
//
// Locks: the filter lock (CCritSec, state and connections) and the stream lock (taken
// for Process, EndOfStream, flushing and the drain at Stop). Stop takes the filter lock,
// then the stream lock - but only for a bounded time, so a streaming thread stuck on a
// full downstream cannot hold a stop up; in that case nothing is drained.
//
// Nothing held is lost when streaming ends: EndOfStream drains what the filter still
// holds before passing the end on, and so does Stop (before the output pin decommits
// its allocator; downstream pins that refuse samples once stopped simply lose them).
// Flushing discards, as DirectShow wants before a seek.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>

#include "RecursiveTimedLock.h"
#include "streams.h"

namespace kcm::ffdshow {

class TransformFilter;

class TransformInputPin : public CBaseInputPin {
 public:
  TransformInputPin(TransformFilter* filter, CCritSec* lock, HRESULT* result);

  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT CompleteConnect(IPin* receivePin) override;
  HRESULT BreakConnect() override;
  STDMETHODIMP Receive(IMediaSample* sample) override;
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;
  STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

  const CMediaType& CurrentType() const { return m_mt; }
  // The buffer count of the allocator the upstream filter delivers from; 0 before one is agreed.
  long AllocatorBuffers();

 private:
  TransformFilter* transform_;
};

class TransformOutputPin : public CBaseOutputPin {
 public:
  TransformOutputPin(TransformFilter* filter, CCritSec* lock, HRESULT* result);

  // Nothing is offered or accepted before the input is connected.
  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT GetMediaType(int position, CMediaType* type) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  HRESULT CompleteConnect(IPin* receivePin) override;

  const CMediaType& CurrentType() const { return m_mt; }
  // A buffer that is not waited for: VFW_E_TIMEOUT when none is free.
  HRESULT TryGetDeliveryBuffer(IMediaSample** sample);

 private:
  TransformFilter* transform_;
};

class TransformFilter : public CBaseFilter {
  CCritSec filterLock_;  // first: the pins are built with it

 public:
  TransformFilter(LPCTSTR name, REFCLSID clsid, HRESULT* result);

  int GetPinCount() override { return 2; }
  CBasePin* GetPin(int index) override;

  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;

  // The media side, implemented by each filter. Process, Drain and Discard run under the
  // stream lock; the type and connection calls under the filter lock.
  virtual HRESULT CheckInputType(const CMediaType& type) = 0;
  // The input connection is complete: open what decoding needs. A failure undoes it.
  virtual HRESULT OnInputConnected(const CMediaType& type) = 0;
  virtual void OnInputDisconnected() = 0;
  virtual HRESULT GetOutputType(int position, CMediaType* type) = 0;
  virtual HRESULT CheckOutputType(const CMediaType& type) = 0;
  virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
  virtual HRESULT OnOutputConnected(const CMediaType& /*type*/) { return S_OK; }
  // Leaving Stopped: a chance to apply settings that need the codec reopened.
  virtual HRESULT OnStart() { return S_OK; }
  virtual HRESULT Process(IMediaSample* input) = 0;
  // Delivers everything still held, then forgets it (end of stream, stop).
  virtual void Drain() {}
  // Drops everything held (flush).
  virtual void Discard() {}

  TransformInputPin& Input() { return input_; }
  TransformOutputPin& Output() { return output_; }

 protected:
  // An output buffer. While the drain at Stop runs it waits only until that drain's
  // deadline, so a downstream that keeps every sample cannot hold the stop up.
  HRESULT GetOutputBuffer(IMediaSample** sample);
  HRESULT DeliverOutput(IMediaSample* sample) { return output_.Deliver(sample); }
  // Whether input samples may be lent to a decoder that keeps up to `held` of them: the
  // decoder pads them, so they must be writable, and upstream must keep a buffer free for
  // the next sample or it would wait for ever.
  bool MayLendInput(int held) { return !input_.IsReadOnly() && held < input_.AllocatorBuffers(); }
  // True once per stream for the first sample after a start or a flush.
  bool TakeDiscontinuity() { return discontinuity_.exchange(false); }

 private:
  friend class TransformInputPin;

  // How long Stop waits for the streaming thread, and for buffers while it drains.
  static constexpr std::chrono::milliseconds kStopWait{400};

  // Recursive, because a sink downstream may stop the graph from the streaming thread;
  // streamDepth_ (guarded by it) tells such a stop not to drain from inside Process.
  RecursiveTimedLock streamLock_;
  int streamDepth_ = 0;
  std::atomic<bool> drainingAtStop_{false};
  std::chrono::steady_clock::time_point drainDeadline_;
  std::atomic<bool> discontinuity_{true};
  TransformInputPin input_;
  TransformOutputPin output_;
};

}  // namespace kcm::ffdshow
