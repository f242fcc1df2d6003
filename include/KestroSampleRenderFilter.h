// The sample render filter: the graph's exit towards the host. Its one input pin hands
// every sample that arrives, together with the stream's description, to a sink
// (ISampleRenderSink) on the upstream filter's streaming thread.
//
// The filter learns the stream's format from the connection (it fills its
// tagKestroStreamType from the negotiated media type), or is told it in advance with
// put_KestroStreamType, in which case it accepts only connections that match it.
#pragma once

#include <atomic>

#include "KestroExport.h"
#include "KestroMediaStreamType.h"
#include "KestroUnknownEx.h"
#include "streams.h"

// {B77BB107-D507-4D34-80B0-E971E93492DA}
DEFINE_GUID(CLSID_SampleRenderFilter, 0xB77BB107, 0xD507, 0x4D34, 0x80, 0xB0, 0xE9, 0x71, 0xE9, 0x34, 0x92, 0xDA);
// {D1F294F2-F758-4684-9396-9059A53CDC76}
DEFINE_GUID(IID_ISampleRender, 0xD1F294F2, 0xF758, 0x4684, 0x93, 0x96, 0x90, 0x59, 0xA5, 0x3C, 0xDC, 0x76);

struct ISampleRender;

// Implemented by the host (the transform graphs implement it for theirs). Identifier
// IID_ISampleRenderSink.
class ISampleRenderSink : public IUnknownEx {
 public:
  // One sample of the stream `streamType` describes; `mediaKind` is the record's
  // streamKind. The sample is lent for the duration of the call: a sink that keeps it
  // adds a reference of its own. Called on the upstream filter's streaming thread.
  virtual HRESULT OnDoRenderSample(ISampleRender* render, int mediaKind, IMediaSample* sample,
                                   tagKestroStreamType* streamType, int sourceIndex) = 0;

 protected:
  ~ISampleRenderSink() = default;
};

struct ISampleRender : public IUnknown {
  // Stores the sink without taking a reference: it must outlive the filter's running.
  STDMETHOD(put_SampleRenderSink)(ISampleRenderSink* sink) PURE;
  // Copy the whole record out of or into the filter. Change it only while stopped.
  STDMETHOD(get_KestroStreamType)(tagKestroStreamType& streamType) PURE;
  STDMETHOD(put_KestroStreamType)(tagKestroStreamType& streamType) PURE;
  // The index passed to the sink with every sample.
  STDMETHOD(put_SourceIndex)(int sourceIndex) PURE;
};

class CSampleRenderFilter;

// The input pin "Input". Its type checks are the filter's; Receive hands the sample
// straight to the filter's DoRenderSample, without the base pin's checks of state,
// flushing and sample properties.
class KCM_API CSampleInputPin : public CBaseInputPin {
 public:
  CSampleInputPin(CSampleRenderFilter* filter, HRESULT* phr);

  HRESULT CheckMediaType(const CMediaType* mediaType) override;
  HRESULT SetMediaType(const CMediaType* mediaType) override;
  STDMETHODIMP Receive(IMediaSample* sample) override;

 private:
  CSampleRenderFilter* _filter;
};

// The filter "ORB Sample Render": one input pin, no output. Registered with the COM class
// registry under CLSID_SampleRenderFilter while the library is loaded, so
// CoCreateInstance makes one too (see CSampleSourceFilter).
//
// Threads: DoRenderSample runs on the upstream streaming thread without the filter lock;
// the sink may be set or changed at any time; the record is changed by the host only
// while the graph is stopped.
class KCM_API CSampleRenderFilter : public CCritSec, public CBaseFilter, public ISampleRender {
 public:
  // A new filter with no reference yet. Out of memory → null and *phr = E_OUTOFMEMORY.
  static CUnknown* CreateInstance(IUnknown* outer, HRESULT* phr);
  ~CSampleRenderFilter() override;

  DECLARE_IUNKNOWN
  // ISampleRender, then the base filter's interfaces.
  STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override;

  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int index) override;

  // Stored for the host; nothing in the library reads it.
  HRESULT put_StreamIndex(long streamIndex);

  // ISampleRender
  STDMETHODIMP put_SampleRenderSink(ISampleRenderSink* sink) override;
  STDMETHODIMP get_KestroStreamType(tagKestroStreamType& streamType) override;
  STDMETHODIMP put_KestroStreamType(tagKestroStreamType& streamType) override;
  STDMETHODIMP put_SourceIndex(int sourceIndex) override;

  // Without a record (valid 0) any type; with a video record a video type whose picture
  // has the record's width and height; with an audio record fixed-size PCM of the
  // record's channels, bits and rate. E_INVALIDARG otherwise, logged at debug level when
  // only the numbers differ.
  virtual HRESULT CheckMediaType(const CMediaType* mediaType);
  // Fills the record from the connection's type: kind, canonical FourCC, valid 1, the
  // frame time and bitmap header of video or the wave format of audio, and extra data of
  // 1 to 383 bytes. A type neither video nor audio → E_FAIL.
  virtual HRESULT SetMediaType(const CMediaType* mediaType);
  // The sink's answer, or S_OK (the sample dropped) without a sink.
  virtual HRESULT DoRenderSample(IMediaSample* sample);

 private:
  explicit CSampleRenderFilter(IUnknown* outer);
  HRESULT CheckVideoMediaType(const CMediaType& mediaType);
  HRESULT CheckAudioMediaType(const CMediaType& mediaType);

  int32_t _streamIndex;
  std::atomic<ISampleRenderSink*> _sink;  // not reference-counted
  CSampleInputPin* _inputPin;             // owned
  tagKestroStreamType _streamType;
  int32_t _sourceIndex;
};
