#include "DmoWrapperFilter.h"

#include <algorithm>
#include <new>

#include "SampleMediaBuffer.h"

namespace kcm::dmo {

namespace {

HRESULT toPinAnswer(HRESULT dmoAnswer) { return dmoAnswer == S_OK ? S_OK : S_FALSE; }

// The DMO's preferred type at `position` as a pin's media type.
template <class Getter>
HRESULT offeredType(int position, CMediaType* type, Getter get) {
  if (position < 0) return E_INVALIDARG;
  AM_MEDIA_TYPE offered = {};
  const HRESULT hr = get(static_cast<DWORD>(position), &offered);
  if (hr == DMO_E_NO_MORE_ITEMS) return VFW_S_NO_MORE_ITEMS;
  if (FAILED(hr)) return hr;
  *type = offered;
  MoFreeMediaType(&offered);
  return S_OK;
}

DWORD inputFlags(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* stop) {
  DWORD flags = sample->IsSyncPoint() == S_OK ? DMO_INPUT_DATA_BUFFERF_SYNCPOINT : 0;
  const HRESULT timed = sample->GetTime(start, stop);
  if (timed == S_OK) flags |= DMO_INPUT_DATA_BUFFERF_TIME | DMO_INPUT_DATA_BUFFERF_TIMELENGTH;
  if (timed == VFW_S_NO_STOP_TIME) flags |= DMO_INPUT_DATA_BUFFERF_TIME;
  return flags;
}

void stampOutput(IMediaSample* sample, const DMO_OUTPUT_DATA_BUFFER& output) {
  REFERENCE_TIME start = output.rtTimestamp;
  REFERENCE_TIME stop = output.rtTimestamp + output.rtTimelength;
  if (output.dwStatus & DMO_OUTPUT_DATA_BUFFERF_TIME) {
    sample->SetTime(&start, (output.dwStatus & DMO_OUTPUT_DATA_BUFFERF_TIMELENGTH) ? &stop : nullptr);
  }
  sample->SetSyncPoint((output.dwStatus & DMO_OUTPUT_DATA_BUFFERF_SYNCPOINT) != 0);
}

}  // namespace

DmoInputPin::DmoInputPin(DmoWrapperFilter* filter, CCritSec* lock, HRESULT* result)
    : CBaseInputPin(NAME("DmoInputPin"), filter, lock, result, L"in0"), m_wrapper(filter) {}

HRESULT DmoInputPin::CheckMediaType(const CMediaType* type) {
  return toPinAnswer(m_wrapper->mediaObject()->SetInputType(0, type, DMO_SET_TYPEF_TEST_ONLY));
}

HRESULT DmoInputPin::SetMediaType(const CMediaType* type) {
  const HRESULT hr = m_wrapper->mediaObject()->SetInputType(0, type, 0);
  if (FAILED(hr)) return VFW_E_TYPE_NOT_ACCEPTED;
  return CBaseInputPin::SetMediaType(type);
}

HRESULT DmoInputPin::GetMediaType(int position, CMediaType* type) {
  IMediaObject* dmo = m_wrapper->mediaObject();
  return offeredType(position, type, [dmo](DWORD index, AM_MEDIA_TYPE* offered) {
    return dmo->GetInputType(0, index, offered);
  });
}

STDMETHODIMP DmoInputPin::Receive(IMediaSample* sample) {
  const HRESULT hr = CBaseInputPin::Receive(sample);
  if (hr != S_OK) return hr;
  return m_wrapper->processSample(sample);
}

STDMETHODIMP DmoInputPin::EndOfStream() {
  const HRESULT hr = CheckStreaming();
  return hr == S_OK ? m_wrapper->endOfStream() : hr;
}

STDMETHODIMP DmoInputPin::BeginFlush() {
  CBaseInputPin::BeginFlush();
  return m_wrapper->outputPin()->DeliverBeginFlush();
}

STDMETHODIMP DmoInputPin::EndFlush() {
  m_wrapper->flushDmo();
  CBaseInputPin::EndFlush();
  return m_wrapper->outputPin()->DeliverEndFlush();
}

STDMETHODIMP DmoInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  CBasePin::NewSegment(start, stop, rate);
  return m_wrapper->outputPin()->DeliverNewSegment(start, stop, rate);
}

DmoOutputPin::DmoOutputPin(DmoWrapperFilter* filter, CCritSec* lock, HRESULT* result)
    : CBaseOutputPin(NAME("DmoOutputPin"), filter, lock, result, L"out0"), m_wrapper(filter) {}

HRESULT DmoOutputPin::CheckMediaType(const CMediaType* type) {
  return toPinAnswer(m_wrapper->mediaObject()->SetOutputType(0, type, DMO_SET_TYPEF_TEST_ONLY));
}

HRESULT DmoOutputPin::SetMediaType(const CMediaType* type) {
  const HRESULT hr = m_wrapper->mediaObject()->SetOutputType(0, type, 0);
  if (FAILED(hr)) return VFW_E_TYPE_NOT_ACCEPTED;
  return CBaseOutputPin::SetMediaType(type);
}

HRESULT DmoOutputPin::GetMediaType(int position, CMediaType* type) {
  IMediaObject* dmo = m_wrapper->mediaObject();
  return offeredType(position, type, [dmo](DWORD index, AM_MEDIA_TYPE* offered) {
    return dmo->GetOutputType(0, index, offered);
  });
}

HRESULT DmoOutputPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  DWORD size = 0;
  DWORD alignment = 1;
  HRESULT hr = m_wrapper->mediaObject()->GetOutputSizeInfo(0, &size, &alignment);
  if (FAILED(hr)) return hr;
  ALLOCATOR_PROPERTIES asked = *request;
  asked.cBuffers = std::max<LONG>(asked.cBuffers, 1);
  asked.cbBuffer = std::max<LONG>(asked.cbBuffer, static_cast<LONG>(size));
  asked.cbAlign = std::max<LONG>(asked.cbAlign, static_cast<LONG>(alignment));
  ALLOCATOR_PROPERTIES granted{};
  hr = allocator->SetProperties(&asked, &granted);
  if (FAILED(hr)) return hr;
  return granted.cbBuffer < asked.cbBuffer ? E_FAIL : S_OK;
}

DmoWrapperFilter::DmoWrapperFilter(IUnknown* outer)
    : CBaseFilter(NAME("DmoWrapperFilter"), outer, &m_filterLock, CLSID_DMOWrapperFilter) {}

DmoWrapperFilter::~DmoWrapperFilter() {
  m_input.reset();
  m_output.reset();
  releaseDmo();
}

HRESULT DmoWrapperFilter::Create(IUnknown* outer, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (outer != nullptr && iid != IID_IUnknown) return E_NOINTERFACE;
  auto* filter = new (std::nothrow) DmoWrapperFilter(outer);
  if (filter == nullptr) return E_OUTOFMEMORY;
  filter->NonDelegatingAddRef();
  const HRESULT hr = filter->NonDelegatingQueryInterface(iid, object);
  filter->NonDelegatingRelease();
  return hr;
}

STDMETHODIMP DmoWrapperFilter::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (iid == IID_IDMOWrapperFilter) return GetInterface(static_cast<IDMOWrapperFilter*>(this), object);
  const HRESULT hr = CBaseFilter::NonDelegatingQueryInterface(iid, object);
  if (hr != E_NOINTERFACE || m_innerUnknown == nullptr || iid == IID_IUnknown) return hr;
  return m_innerUnknown->QueryInterface(iid, object);
}

// The cached IMediaObject's reference went to us (the DMO is aggregated); it is given
// back on creation and taken again here before the interface is released.
void DmoWrapperFilter::releaseDmo() {
  if (m_mediaObject != nullptr) {
    GetOwner()->AddRef();
    m_mediaObject->Release();
    m_mediaObject = nullptr;
  }
  if (m_innerUnknown != nullptr) m_innerUnknown->Release();
  m_innerUnknown = nullptr;
}

STDMETHODIMP DmoWrapperFilter::Init(REFCLSID clsidDMO, REFCLSID category) {
  CAutoLock lock(&m_filterLock);
  if (m_innerUnknown != nullptr) return E_UNEXPECTED;
  if (KcmDMOIsRegistered(clsidDMO, category) != S_OK) return REGDB_E_CLASSNOTREG;
  HRESULT hr = CoCreateInstance(clsidDMO, GetOwner(), CLSCTX_INPROC_SERVER, IID_IUnknown,
                                reinterpret_cast<void**>(&m_innerUnknown));
  if (FAILED(hr)) return hr;
  hr = m_innerUnknown->QueryInterface(IID_IMediaObject, reinterpret_cast<void**>(&m_mediaObject));
  if (FAILED(hr)) {
    m_mediaObject = nullptr;
    releaseDmo();
    return hr;
  }
  GetOwner()->Release();
  DWORD inputs = 0;
  DWORD outputs = 0;
  hr = m_mediaObject->GetStreamCount(&inputs, &outputs);
  if (SUCCEEDED(hr) && (inputs != 1 || outputs != 1)) hr = E_NOTIMPL;
  if (FAILED(hr)) {
    releaseDmo();
    return hr;
  }
  HRESULT pinResult = S_OK;
  m_input = std::make_unique<DmoInputPin>(this, &m_filterLock, &pinResult);
  m_output = std::make_unique<DmoOutputPin>(this, &m_filterLock, &pinResult);
  IncrementPinVersion();
  return pinResult;
}

CBasePin* DmoWrapperFilter::GetPin(int index) {
  if (index == 0) return m_input.get();
  if (index == 1) return m_output.get();
  return nullptr;
}

STDMETHODIMP DmoWrapperFilter::Pause() {
  CAutoLock lock(&m_filterLock);
  if (m_State == State_Stopped && m_mediaObject != nullptr) {
    const HRESULT hr = m_mediaObject->AllocateStreamingResources();
    if (FAILED(hr)) return hr;
  }
  return CBaseFilter::Pause();
}

STDMETHODIMP DmoWrapperFilter::Stop() {
  CAutoLock lock(&m_filterLock);
  const HRESULT hr = CBaseFilter::Stop();
  // The allocators are decommitted now: a streaming thread waiting for a buffer has let go.
  CAutoLock streaming(&m_streamLock);
  if (m_mediaObject != nullptr) {
    m_mediaObject->Flush();
    m_mediaObject->FreeStreamingResources();
  }
  return hr;
}

HRESULT DmoWrapperFilter::processSample(IMediaSample* sample) {
  CAutoLock streaming(&m_streamLock);
  SampleMediaBuffer* buffer = SampleMediaBuffer::Create(sample);
  if (buffer == nullptr) return E_OUTOFMEMORY;
  REFERENCE_TIME start = 0;
  REFERENCE_TIME stop = 0;
  const DWORD flags = inputFlags(sample, &start, &stop);
  HRESULT hr = m_mediaObject->ProcessInput(0, buffer, flags, start, stop - start);
  if (hr == DMO_E_NOTACCEPTING) {
    hr = deliverOutput();
    if (SUCCEEDED(hr)) hr = m_mediaObject->ProcessInput(0, buffer, flags, start, stop - start);
  }
  buffer->Release();
  if (FAILED(hr)) return hr;
  return deliverOutput();
}

// Takes output from the DMO for as long as it has some.
HRESULT DmoWrapperFilter::deliverOutput() {
  for (;;) {
    IMediaSample* sample = nullptr;
    HRESULT hr = m_output->GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
    if (FAILED(hr)) return hr;
    sample->SetActualDataLength(0);
    DMO_OUTPUT_DATA_BUFFER output = {};
    output.pBuffer = SampleMediaBuffer::Create(sample);
    if (output.pBuffer == nullptr) {
      sample->Release();
      return E_OUTOFMEMORY;
    }
    DWORD status = 0;
    hr = m_mediaObject->ProcessOutput(0, 1, &output, &status);
    output.pBuffer->Release();
    const bool produced = hr == S_OK && sample->GetActualDataLength() > 0;
    if (produced) {
      stampOutput(sample, output);
      hr = m_output->Deliver(sample);
    }
    sample->Release();
    if (!produced) return FAILED(hr) ? hr : S_OK;
    if (FAILED(hr) || !(output.dwStatus & DMO_OUTPUT_DATA_BUFFERF_INCOMPLETE)) return hr;
  }
}

HRESULT DmoWrapperFilter::endOfStream() {
  {
    CAutoLock streaming(&m_streamLock);
    if (SUCCEEDED(m_mediaObject->Discontinuity(0))) deliverOutput();
  }
  return m_output->DeliverEndOfStream();
}

void DmoWrapperFilter::flushDmo() {
  CAutoLock streaming(&m_streamLock);
  m_mediaObject->Flush();
}

}  // namespace kcm::dmo
