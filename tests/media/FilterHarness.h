// A harness that tests one filter alone, in the manner of GStreamer's check harness: the
// filter sits between an upstream test pin (an output pin that offers proposed types and
// pushes samples) and a downstream test pin (an input pin that records what arrives).
//
// The two test pins are real base-class pins on small test filters, so they can also be
// connected to each other directly to test the base classes themselves. Everything runs
// on the calling thread; the harness is not thread-safe.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "streams.h"

namespace kcm_test {

// One sample as the downstream test pin received it.
struct ReceivedSample {
  std::vector<BYTE> bytes;
  HRESULT timeResult = E_FAIL;  // GetTime's answer
  REFERENCE_TIME start = 0;
  REFERENCE_TIME end = 0;
  bool syncPoint = false;
  bool discontinuity = false;
  bool preroll = false;
  long bufferSize = 0;
  bool carriedType = false;  // the sample changed the media type
};

// What the test pins record of the calls they receive.
struct PinCalls {
  std::vector<CMediaType> checkedTypes;  // every CheckMediaType, in order
  int endOfStream = 0;
  int beginFlush = 0;
  int endFlush = 0;
  int newSegment = 0;
};

class UpstreamTestFilter;
class DownstreamTestFilter;

// The output pin at the top of the harness. It offers `offered` in order and accepts
// any type that `accepts` (default: any) approves.
class UpstreamTestPin : public CBaseOutputPin {
 public:
  UpstreamTestPin(CBaseFilter* filter, CCritSec* lock, HRESULT* result);

  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT GetMediaType(int position, CMediaType* type) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

  // Takes a buffer, fills it and delivers it: the delivery's result, or the failure of
  // taking the buffer.
  HRESULT Push(const std::vector<BYTE>& bytes, REFERENCE_TIME start, REFERENCE_TIME end, bool syncPoint = true);

  std::vector<CMediaType> offered;
  std::function<bool(const CMediaType&)> accepts;
  ALLOCATOR_PROPERTIES wanted{2, 4096, 1, 0};  // what DecideBufferSize asks for
  ALLOCATOR_PROPERTIES downstreamRequest{};    // what DecideBufferSize was given
  PinCalls calls;

  IMemAllocator* Allocator() { return m_pAllocator; }
};

// The input pin at the bottom of the harness. It accepts types `accepts` approves,
// offers `offered`, and keeps a copy of every sample it receives. With
// `ownAllocator` false it refuses GetAllocator, so the upstream pin must bring one.
class DownstreamTestPin : public CBaseInputPin {
 public:
  DownstreamTestPin(CBaseFilter* filter, CCritSec* lock, HRESULT* result);

  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT GetMediaType(int position, CMediaType* type) override;
  STDMETHODIMP GetAllocator(IMemAllocator** allocator) override;
  STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) override;
  STDMETHODIMP Receive(IMediaSample* sample) override;
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;
  STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

  const CMediaType& ConnectionType() const { return m_mt; }
  IMemAllocator* Allocator() { return m_pAllocator; }

  std::vector<CMediaType> offered;
  std::function<bool(const CMediaType&)> accepts;
  bool ownAllocator = true;
  ALLOCATOR_PROPERTIES requirements{};  // answered when cbBuffer is set
  HRESULT receiveResult = S_OK;         // answered after recording a sample
  std::vector<ReceivedSample> received;
  PinCalls calls;
};

// A filter with one pin of the given kind; it lives as long as COM references say.
class UpstreamTestFilter : public CBaseFilter {
  CCritSec m_lock;  // first: the pin is built with it

 public:
  // The new filter holds one reference, the caller's.
  static UpstreamTestFilter* Create();
  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int index) override { return index == 0 ? &pin : nullptr; }
  UpstreamTestPin pin;

 private:
  explicit UpstreamTestFilter(HRESULT* result);
};

class DownstreamTestFilter : public CBaseFilter {
  CCritSec m_lock;  // first: the pin is built with it

 public:
  static DownstreamTestFilter* Create();
  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int index) override { return index == 0 ? &pin : nullptr; }
  DownstreamTestPin pin;

 private:
  explicit DownstreamTestFilter(HRESULT* result);
};

// Wraps a filter with one input and one output pin between the two test pins.
class FilterHarness {
 public:
  // Takes a reference on `filter`; finds its first input and first output pin.
  explicit FilterHarness(IBaseFilter* filter);
  // Stops everything and breaks both connections.
  ~FilterHarness();

  FilterHarness(const FilterHarness&) = delete;
  FilterHarness& operator=(const FilterHarness&) = delete;

  // Connects upstream → filter, optionally with a proposed (possibly partial) type.
  HRESULT ConnectUpstream(const AM_MEDIA_TYPE* proposed = nullptr);
  // Connects filter → downstream.
  HRESULT ConnectDownstream(const AM_MEDIA_TYPE* proposed = nullptr);
  // Both, upstream first.
  HRESULT Connect(const AM_MEDIA_TYPE* proposed = nullptr);

  // State changes run downstream first, as a graph does.
  HRESULT Pause();
  HRESULT Run();
  HRESULT Stop();

  HRESULT Push(const std::vector<BYTE>& bytes, REFERENCE_TIME start = -1, REFERENCE_TIME end = -1,
               bool syncPoint = true) {
    return upstream().Push(bytes, start, end, syncPoint);
  }
  const std::vector<ReceivedSample>& received() { return downstream().received; }

  UpstreamTestPin& upstream() { return m_upstream->pin; }
  DownstreamTestPin& downstream() { return m_downstream->pin; }
  IPin* filterInput() { return m_input; }
  IPin* filterOutput() { return m_output; }

 private:
  HRESULT ForEachFilter(const std::function<HRESULT(IBaseFilter*)>& step);

  IBaseFilter* m_filter;
  IPin* m_input = nullptr;
  IPin* m_output = nullptr;
  UpstreamTestFilter* m_upstream;
  DownstreamTestFilter* m_downstream;
};

// A media type of major type `major` and subtype `subtype` with a format block of
// `formatBytes` bytes (each byte its index), format type `format`.
CMediaType MakeMediaType(const GUID& major, const GUID& subtype, const GUID& format = GUID_NULL,
                         ULONG formatBytes = 0);

}  // namespace kcm_test
