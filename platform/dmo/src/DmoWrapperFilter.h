// The DMO wrapper filter (CLSID_DMOWrapperFilter, dmodshow.h): hosts one registered DMO
// with one input and one output stream (the platform's DMOs have no more) behind an
// input pin "in0" and an output pin "out0". The pins accept what the DMO's
// SetInputType/SetOutputType accept and offer its GetInputType/GetOutputType; every
// sample received goes through ProcessInput, then ProcessOutput is called into samples
// of the output allocator for as long as the DMO has output. End of stream is a
// Discontinuity followed by the remaining output.
//
// The DMO is aggregated: interfaces the filter lacks are the DMO's (IMediaObject,
// IPropertyStore, ...). Locks: the filter lock guards state and connections, the
// streaming lock the calls that carry data into the DMO; the DMO serialises itself.
#pragma once

#include <memory>

#include "dmodshow.h"
#include "streams.h"

namespace kcm::dmo {

class DmoWrapperFilter;

class DmoInputPin : public CBaseInputPin {
 public:
  DmoInputPin(DmoWrapperFilter* filter, CCritSec* lock, HRESULT* result);
  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT SetMediaType(const CMediaType* type) override;
  HRESULT GetMediaType(int position, CMediaType* type) override;
  STDMETHODIMP Receive(IMediaSample* sample) override;
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;
  STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

 private:
  DmoWrapperFilter* const m_wrapper;
};

class DmoOutputPin : public CBaseOutputPin {
 public:
  DmoOutputPin(DmoWrapperFilter* filter, CCritSec* lock, HRESULT* result);
  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT SetMediaType(const CMediaType* type) override;
  HRESULT GetMediaType(int position, CMediaType* type) override;
  // At least one buffer of the DMO's output size.
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

 private:
  DmoWrapperFilter* const m_wrapper;
};

class DmoWrapperFilter : public CBaseFilter, public IDMOWrapperFilter {
  CCritSec m_filterLock;  // first: the base and the pins are built with it

 public:
  static HRESULT Create(IUnknown* outer, REFIID iid, void** object);
  ~DmoWrapperFilter() override;

  DECLARE_IUNKNOWN
  // Our interfaces first, then the hosted DMO's.
  STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override;

  // IDMOWrapperFilter. REGDB_E_CLASSNOTREG for a DMO not registered in `category`;
  // E_NOTIMPL for DMOs with other than one input and one output stream; E_UNEXPECTED
  // the second time.
  STDMETHODIMP Init(REFCLSID clsidDMO, REFCLSID category) override;

  // No pins before Init.
  int GetPinCount() override { return m_input ? 2 : 0; }
  CBasePin* GetPin(int index) override;
  // Pausing from stopped allocates the DMO's streaming resources; stopping flushes and
  // frees them.
  STDMETHODIMP Pause() override;
  STDMETHODIMP Stop() override;

  IMediaObject* mediaObject() const { return m_mediaObject; }
  DmoOutputPin* outputPin() const { return m_output.get(); }
  // Streaming thread, from the input pin.
  HRESULT processSample(IMediaSample* sample);
  HRESULT endOfStream();
  void flushDmo();

 private:
  DmoWrapperFilter(IUnknown* outer);
  HRESULT deliverOutput();
  void releaseDmo();

  CCritSec m_streamLock;
  IUnknown* m_innerUnknown = nullptr;   // the DMO's own IUnknown (one reference)
  IMediaObject* m_mediaObject = nullptr;  // from the DMO, its reference on us given back
  std::unique_ptr<DmoInputPin> m_input;
  std::unique_ptr<DmoOutputPin> m_output;
};

}  // namespace kcm::dmo
