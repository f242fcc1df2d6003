#include "CBaseInputPin.h"

#include <string.h>

#include "CMemAllocator.h"
#include "evcode.h"

CBaseInputPin::CBaseInputPin(LPCTSTR objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* result,
                             LPCWSTR pinName)
    : CBasePin(objectName, filter, lock, result, pinName, PINDIR_INPUT),
      m_pAllocator(nullptr),
      m_bReadOnly(FALSE),
      m_bFlushing(FALSE),
      m_pPlainSampleType(nullptr) {
  memset(&m_SampleProps, 0, sizeof(m_SampleProps));
}

CBaseInputPin::~CBaseInputPin() {
  if (m_pAllocator != nullptr) m_pAllocator->Release();
  DeleteMediaType(m_pPlainSampleType);
}

STDMETHODIMP CBaseInputPin::NonDelegatingQueryInterface(REFIID iid, void** object) {
  CheckPointer(object, E_POINTER);
  if (iid == IID_IMemInputPin) return GetInterface(static_cast<IMemInputPin*>(this), object);
  return CBasePin::NonDelegatingQueryInterface(iid, object);
}

STDMETHODIMP CBaseInputPin::GetAllocator(IMemAllocator** allocator) {
  CheckPointer(allocator, E_POINTER);
  *allocator = nullptr;
  CAutoLock lock(m_pLock);
  if (m_pAllocator == nullptr) {
    HRESULT hr = S_OK;
    CUnknown* object = CMemAllocator::CreateInstance(nullptr, &hr);
    if (object == nullptr) return FAILED(hr) ? hr : E_OUTOFMEMORY;
    object->NonDelegatingAddRef();
    hr = object->NonDelegatingQueryInterface(IID_IMemAllocator, reinterpret_cast<void**>(&m_pAllocator));
    object->NonDelegatingRelease();
    if (FAILED(hr)) return hr;
  }
  *allocator = m_pAllocator;
  m_pAllocator->AddRef();
  return S_OK;
}

STDMETHODIMP CBaseInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) {
  CheckPointer(allocator, E_POINTER);
  CAutoLock lock(m_pLock);
  allocator->AddRef();
  if (m_pAllocator != nullptr) m_pAllocator->Release();
  m_pAllocator = allocator;
  m_bReadOnly = static_cast<BYTE>(readOnly != FALSE);
  return S_OK;
}

STDMETHODIMP CBaseInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* /*properties*/) { return E_NOTIMPL; }

HRESULT CBaseInputPin::BreakConnect() {
  if (m_pAllocator != nullptr) {
    // Upstream may not decommit the connection's allocator: we always do.
    const HRESULT hr = m_pAllocator->Decommit();
    if (FAILED(hr)) return hr;
    m_pAllocator->Release();
    m_pAllocator = nullptr;
  }
  return S_OK;
}

HRESULT CBaseInputPin::CheckStreaming() {
  if (IsStopped()) return VFW_E_WRONG_STATE;
  if (m_bFlushing) return S_FALSE;
  if (m_bRunTimeError) return VFW_E_RUNTIME_ERROR;
  return S_OK;
}

void CBaseInputPin::ReadPlainSampleProperties(IMediaSample* sample) {
  DeleteMediaType(m_pPlainSampleType);
  m_pPlainSampleType = nullptr;
  memset(&m_SampleProps, 0, sizeof(m_SampleProps));
  m_SampleProps.cbData = sizeof(m_SampleProps);
  m_SampleProps.dwStreamId = AM_STREAM_MEDIA;
  if (sample->IsDiscontinuity() == S_OK) m_SampleProps.dwSampleFlags |= AM_SAMPLE_DATADISCONTINUITY;
  if (sample->IsPreroll() == S_OK) m_SampleProps.dwSampleFlags |= AM_SAMPLE_PREROLL;
  if (sample->IsSyncPoint() == S_OK) m_SampleProps.dwSampleFlags |= AM_SAMPLE_SPLICEPOINT;
  if (SUCCEEDED(sample->GetTime(&m_SampleProps.tStart, &m_SampleProps.tStop))) {
    m_SampleProps.dwSampleFlags |= AM_SAMPLE_TIMEVALID | AM_SAMPLE_STOPVALID;
  }
  if (sample->GetMediaType(&m_pPlainSampleType) == S_OK) {
    m_SampleProps.pMediaType = m_pPlainSampleType;
    m_SampleProps.dwSampleFlags |= AM_SAMPLE_TYPECHANGED;
  }
  sample->GetPointer(&m_SampleProps.pbBuffer);
  m_SampleProps.lActual = static_cast<LONG>(sample->GetActualDataLength());
  m_SampleProps.cbBuffer = static_cast<LONG>(sample->GetSize());
}

STDMETHODIMP CBaseInputPin::Receive(IMediaSample* sample) {
  CheckPointer(sample, E_POINTER);
  HRESULT hr = CheckStreaming();
  if (hr != S_OK) return hr;

  IMediaSample2* sample2 = nullptr;
  if (SUCCEEDED(sample->QueryInterface(IID_IMediaSample2, reinterpret_cast<void**>(&sample2)))) {
    hr = sample2->GetProperties(sizeof(m_SampleProps), reinterpret_cast<BYTE*>(&m_SampleProps));
    sample2->Release();
    if (FAILED(hr)) return hr;
  } else {
    ReadPlainSampleProperties(sample);
  }
  if ((m_SampleProps.dwSampleFlags & AM_SAMPLE_TYPECHANGED) == 0 || m_SampleProps.pMediaType == nullptr) return S_OK;

  // The upstream pin should have asked QueryAccept first; a refusal now is a run-time error.
  const CMediaType type(*m_SampleProps.pMediaType, &hr);
  if (SUCCEEDED(hr) && CheckMediaType(&type) == S_OK) return S_OK;
  m_bRunTimeError = true;
  EndOfStream();
  m_pFilter->NotifyEvent(EC_ERRORABORT, VFW_E_TYPE_NOT_ACCEPTED, 0);
  return VFW_E_INVALIDMEDIATYPE;
}

STDMETHODIMP CBaseInputPin::ReceiveMultiple(IMediaSample** samples, long count, long* processed) {
  CheckPointer(samples, E_POINTER);
  CheckPointer(processed, E_POINTER);
  HRESULT hr = S_OK;
  *processed = 0;
  while (*processed < count) {
    hr = Receive(samples[*processed]);
    if (hr != S_OK) break;  // S_FALSE: send no more
    ++*processed;
  }
  return hr;
}

STDMETHODIMP CBaseInputPin::ReceiveCanBlock() {
  int outputPins = 0;
  const int count = m_pFilter->GetPinCount();
  for (int index = 0; index < count; ++index) {
    CBasePin* pin = m_pFilter->GetPin(index);
    if (pin == nullptr) break;
    PIN_DIRECTION direction;
    HRESULT hr = pin->QueryDirection(&direction);
    if (FAILED(hr)) return hr;
    if (direction != PINDIR_OUTPUT) continue;
    IPin* connected = nullptr;
    if (FAILED(pin->ConnectedTo(&connected))) continue;
    ++outputPins;
    IMemInputPin* downstream = nullptr;
    hr = connected->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&downstream));
    connected->Release();
    if (FAILED(hr)) return S_OK;  // a transport we don't know may block
    hr = downstream->ReceiveCanBlock();
    downstream->Release();
    if (hr != S_FALSE) return S_OK;
  }
  return outputPins == 0 ? S_OK : S_FALSE;
}

STDMETHODIMP CBaseInputPin::BeginFlush() {
  CAutoLock lock(m_pLock);
  m_bFlushing = TRUE;
  return S_OK;
}

STDMETHODIMP CBaseInputPin::EndFlush() {
  CAutoLock lock(m_pLock);
  m_bFlushing = FALSE;
  m_bRunTimeError = false;
  return S_OK;
}

HRESULT CBaseInputPin::Inactive() {
  m_bRunTimeError = false;
  if (m_pAllocator == nullptr) return VFW_E_NO_ALLOCATOR;
  m_bFlushing = FALSE;
  return m_pAllocator->Decommit();
}

HRESULT CBaseInputPin::PassNotify(Quality& quality) {
  if (m_pQSink != nullptr) return m_pQSink->Notify(m_pFilter, quality);
  HRESULT hr = VFW_E_NOT_FOUND;
  if (m_Connected == nullptr) return hr;
  IQualityControl* upstream = nullptr;
  if (SUCCEEDED(m_Connected->QueryInterface(IID_IQualityControl, reinterpret_cast<void**>(&upstream)))) {
    hr = upstream->Notify(m_pFilter, quality);
    upstream->Release();
  }
  return hr;
}

STDMETHODIMP CBaseInputPin::Notify(IBaseFilter* /*sender*/, Quality /*quality*/) { return S_OK; }
