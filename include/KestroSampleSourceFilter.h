// The sample source filter: a push source through which the host hands buffers of
// compressed or raw media to a DirectShow graph. Its one output pin copies each buffer
// into a media sample and delivers it downstream, on the host's own thread.
//
// The pin's format comes from a tagKestroStreamType set before it connects: it offers
// exactly that format and accepts a downstream proposal only when it matches the
// record's essentials (picture size, and image size for raw video; channels, bits and
// rate for audio). When the downstream pin brings no allocator, the pin's allocator is
// a media memory pool ("KestroMemPool").
//
// Two ways to deliver:
//   - streamOutData copies one buffer into a sample and delivers it at once; it waits
//     while every buffer is out (a Stop of the graph ends the wait).
//   - fillMediaSample copies a buffer into a sample that stays pending in the pin, and
//     notifyMediaSample later delivers or drops it. fillMediaSample never waits.
#pragma once

#include <list>
#include <vector>

#include "KestroExport.h"
#include "KestroMediaStreamType.h"
#include "streams.h"

// {FD501041-8EBE-11CE-8183-00AA00577D11}
DEFINE_GUID(CLSID_SampleSourceFilter, 0xFD501041, 0x8EBE, 0x11CE, 0x81, 0x83, 0x00, 0xAA, 0x00, 0x57, 0x7D, 0x11);
// {D1F294F2-F758-4684-9396-9059A53CDC71}
DEFINE_GUID(IID_ISampleSource, 0xD1F294F2, 0xF758, 0x4684, 0x93, 0x96, 0x90, 0x59, 0xA5, 0x3C, 0xDC, 0x71);

// The host's side of the source filter. Each operation forwards to the filter's pin.
// `at` is the caller's stream index and is not used.
struct ISampleSource : public IUnknown {
  // Copies the whole record into the pin. Set it before the pin connects.
  STDMETHOD(set_KestroStreamType)(tagKestroStreamType& streamType) PURE;
  // Keeps a copy of `size` bytes for the host; the library never reads it back.
  STDMETHOD(set_userParam)(void* data, int size) PURE;
  // One-shot delivery; see CSampleSourceStream::streamOutData.
  STDMETHOD(streamOutData)(int at, REFERENCE_TIME start, REFERENCE_TIME end, void* data, DWORD size) PURE;
  // The output pin's GetDeliveryBuffer.
  STDMETHOD(getDeliveryMediaSample)(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* end,
                                    DWORD flags) PURE;
  // Keeps one more reference to `sample` in the pending list.
  STDMETHOD(pushMediaSample)(IMediaSample* sample) PURE;
  // Completes a pending sample: delivers it unless `drop` is nonzero.
  STDMETHOD(notifyMediaSample)(IMediaSample* sample, int drop) PURE;
  // Prepares a pending sample; see CSampleSourceStream::fillMediaSample.
  STDMETHOD(fillMediaSample)(int at, REFERENCE_TIME start, REFERENCE_TIME end, void* data, DWORD size,
                             IMediaSample** sample) PURE;
};

class CSampleSourceFilter;

// The output pin "SampleSourceStream".
//
// Threads: the host calls streamOutData, fillMediaSample and notifyMediaSample; the
// graph's state changes come from the graph's thread. The pending list is guarded by the
// pin's own lock; Inactive takes the filter lock and then the pin's lock, and
// notifyMediaSample delivers and releases outside the pin's lock.
class KCM_API CSampleSourceStream : public CBaseOutputPin {
 public:
  // The pin of `filter`, under the filter's lock. The stream record starts all zero.
  CSampleSourceStream(HRESULT* phr, CSampleSourceFilter* filter, LPCWSTR pinName);
  ~CSampleSourceStream() override;

  // Offers the record's format at positions 0 and 1 (the same type twice); below 0 →
  // E_INVALIDARG, above 1 → VFW_S_NO_MORE_ITEMS; a record neither video nor audio → E_FAIL.
  HRESULT GetMediaType(int position, CMediaType* mediaType) override;
  // S_OK for a proposal that matches the record, E_INVALIDARG otherwise (a mismatch of
  // the record's numbers is logged at debug level); null → E_POINTER.
  HRESULT CheckMediaType(const CMediaType* mediaType) override;
  HRESULT SetMediaType(const CMediaType* mediaType) override;
  // Video: 4 buffers of biSizeImage bytes (width × height × 16 when that is 0, 66,977,856
  // when that is 0 too). Audio: 20 buffers of nAvgBytesPerSec bytes (20,480 when 0).
  // Any other record → E_FAIL; a granted size below the asked one → E_FAIL.
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  // A new media memory pool as IMemAllocator, with one reference. Out of memory is not an
  // error here: S_OK with a null allocator, which the connection then refuses.
  HRESULT InitAllocator(IMemAllocator** allocator) override;
  // A null sample → E_POINTER; otherwise the connected pin's Receive.
  HRESULT Deliver(IMediaSample* sample) override;

  // Commits the allocator when connected; S_OK.
  HRESULT Active() override;
  // Releases every pending sample, then decommits the allocator.
  HRESULT Inactive() override;

  // Nothing is passed downstream: S_OK.
  HRESULT DeliverEndOfStream() override;
  HRESULT DeliverBeginFlush() override;
  HRESULT DeliverEndFlush() override;
  HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;
  STDMETHODIMP Notify(IBaseFilter* sender, Quality quality) override;

  virtual HRESULT set_KestroStreamType(tagKestroStreamType& streamType);
  // A null `data` or a size below 1 keeps an empty copy.
  virtual HRESULT set_userParam(void* data, int size);
  virtual HRESULT getDeliveryMediaSample(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* end,
                                         DWORD flags);
  // Takes a buffer (waiting while all are out), copies `size` bytes into it and delivers
  // it: with the times (start, end) unless start is −1, always as a sync point. A buffer
  // smaller than `size` is not delivered. E_FAIL when no buffer can be had (not
  // connected, not running); E_POINTER for null data with a nonzero size; S_OK otherwise,
  // whatever the delivery answered.
  virtual HRESULT streamOutData(int at, REFERENCE_TIME start, REFERENCE_TIME end, void* data, DWORD size);
  // Takes a buffer without waiting (a failure, VFW_E_TIMEOUT when all are out, is
  // returned as it is), copies `size` bytes into it and keeps it pending. With a start
  // time other than −1 the sample is timed and a sync point. *sample receives the
  // pointer; its reference belongs to the pending list until notifyMediaSample. A buffer
  // smaller than `size` → E_FAIL.
  virtual HRESULT fillMediaSample(int at, REFERENCE_TIME start, REFERENCE_TIME end, void* data, DWORD size,
                                  IMediaSample** sample);
  // Adds a reference and appends the sample to the pending list; null → E_POINTER.
  virtual HRESULT pushMediaSample(IMediaSample* sample);
  // Removes a pending sample, then delivers it unless `drop` is nonzero and releases the
  // pending reference. A sample that is not pending → E_FAIL, nothing delivered.
  virtual HRESULT notifyMediaSample(IMediaSample* sample, int drop);

  const tagKestroStreamType& streamType() const { return _streamType; }

 protected:
  tagKestroStreamType _streamType;
  std::vector<BYTE> _userParam;  // owned copy; its length is the parameter's
  CCritSec _lock;                // guards _pending
  std::list<IMediaSample*> _pending;  // one reference each

 private:
  HRESULT GetVideoMediaType(CMediaType* mediaType);
  HRESULT GetAudioMediaType(CMediaType* mediaType);
  HRESULT CheckVideoMediaType(const CMediaType& mediaType);
  HRESULT CheckAudioMediaType(const CMediaType& mediaType);
  // Copies the bytes into the sample and sets its length, times and sync point.
  void FillSample(IMediaSample* sample, REFERENCE_TIME start, REFERENCE_TIME end, const void* data, DWORD size);
  void AppendPending(IMediaSample* sample);
  void ReleasePending();
};

// Makes the pin of a new source filter in place of a plain CSampleSourceStream; called
// as (phr, filter, L"SampleSourceStream"). Null when out of memory.
typedef CSampleSourceStream* (*SampleSourceStreamFactory)(HRESULT* phr, CSampleSourceFilter* filter,
                                                          LPCWSTR pinName);

// The filter: one output pin, no input. Registered with the COM class registry under
// CLSID_SampleSourceFilter while the library is loaded, so CoCreateInstance makes one too.
// (A host that calls nothing else of the library must make sure it is loaded: a linker
// using --as-needed drops a library whose symbols go unused.)
class KCM_API CSampleSourceFilter : public CCritSec, public CBaseFilter, public ISampleSource {
 public:
  // A new filter with no reference yet (the caller takes the first, e.g. through
  // kcm_createInstance). No filter → null and *phr = E_OUTOFMEMORY; no pin → the filter
  // still, and *phr = E_OUTOFMEMORY.
  static CUnknown* CreateInstance(IUnknown* outer, HRESULT* phr, SampleSourceStreamFactory streamFactory = nullptr);
  ~CSampleSourceFilter() override;

  DECLARE_IUNKNOWN
  // ISampleSource, then the base filter's interfaces.
  STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override;

  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int index) override;

  // ISampleSource. Without a pin (its creation failed) each answers E_UNEXPECTED.
  STDMETHODIMP set_KestroStreamType(tagKestroStreamType& streamType) override;
  STDMETHODIMP set_userParam(void* data, int size) override;
  STDMETHODIMP streamOutData(int at, REFERENCE_TIME start, REFERENCE_TIME end, void* data, DWORD size) override;
  STDMETHODIMP getDeliveryMediaSample(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* end,
                                      DWORD flags) override;
  STDMETHODIMP pushMediaSample(IMediaSample* sample) override;
  STDMETHODIMP notifyMediaSample(IMediaSample* sample, int drop) override;
  STDMETHODIMP fillMediaSample(int at, REFERENCE_TIME start, REFERENCE_TIME end, void* data, DWORD size,
                               IMediaSample** sample) override;

 private:
  explicit CSampleSourceFilter(IUnknown* outer);

  CSampleSourceStream* _stream;  // owned
};

// Turns a freshly created object into an interface with exactly one reference: clears
// *ppv, then the object's non-delegating AddRef, QueryInterface(riid, ppv) and Release,
// answering the query's result. Null ppv or null object → E_POINTER. A refused query
// leaves no reference behind, so a fresh object is destroyed by it.
KCM_API HRESULT kcm_createInstance(CUnknown* object, REFIID riid, void** ppv);
