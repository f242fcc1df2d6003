#include "CBasePin.h"

#include <string.h>

#include "CEnumMediaTypes.h"
#include "WideNames.h"
#include "interlockedapi.h"

using kcm::baseclasses::copyName;
using kcm::baseclasses::taskMemString;

namespace {

// S_FALSE, E_FAIL and E_INVALIDARG from CheckMediaType say no more than "not accepted".
HRESULT typeRefusal(HRESULT checkResult) {
  if (SUCCEEDED(checkResult) || checkResult == E_FAIL || checkResult == E_INVALIDARG) return VFW_E_TYPE_NOT_ACCEPTED;
  return checkResult;
}

// Whether a failure says more than "this type was not accepted".
bool isSpecificFailure(HRESULT hr) {
  return FAILED(hr) && hr != E_FAIL && hr != E_INVALIDARG && hr != VFW_E_TYPE_NOT_ACCEPTED;
}

}  // namespace

CBasePin::CBasePin(LPCTSTR objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* /*result*/, LPCWSTR pinName,
                   PIN_DIRECTION direction)
    : CUnknown(objectName, nullptr),
      m_name(pinName != nullptr ? pinName : L""),
      m_Connected(nullptr),
      m_dir(direction),
      m_pLock(lock),
      m_bRunTimeError(false),
      m_bCanReconnectWhenActive(false),
      m_bTryMyTypesFirst(false),
      m_pFilter(filter),
      m_pQSink(nullptr),
      m_TypeVersion(1),
      m_tStart(0),
      m_tStop(INT64_MAX),
      m_dRate(1.0) {}

CBasePin::~CBasePin() {
  // Pins die with their filter, whose count is 0, so nobody can still be connected
  // through us; a leftover reference would be the connected pin's, given back here.
  DropConnectedPin();
}

STDMETHODIMP CBasePin::NonDelegatingQueryInterface(REFIID iid, void** object) {
  CheckPointer(object, E_POINTER);
  if (iid == IID_IPin) return GetInterface(static_cast<IPin*>(this), object);
  if (iid == IID_IQualityControl) return GetInterface(static_cast<IQualityControl*>(this), object);
  return CUnknown::NonDelegatingQueryInterface(iid, object);
}

STDMETHODIMP_(ULONG) CBasePin::NonDelegatingAddRef() { return m_pFilter->AddRef(); }

STDMETHODIMP_(ULONG) CBasePin::NonDelegatingRelease() { return m_pFilter->Release(); }

void CBasePin::DropConnectedPin() {
  if (m_Connected == nullptr) return;
  m_Connected->Release();
  m_Connected = nullptr;
}

STDMETHODIMP CBasePin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* mediaType) {
  CheckPointer(receivePin, E_POINTER);
  CAutoLock lock(m_pLock);
  if (m_Connected != nullptr) return VFW_E_ALREADY_CONNECTED;
  if (!MayChangeConnection()) return VFW_E_NOT_STOPPED;
  HRESULT hr = S_OK;
  if (mediaType == nullptr) {
    hr = AgreeMediaType(receivePin, nullptr);
  } else {
    const CMediaType partial(*mediaType, &hr);
    if (SUCCEEDED(hr)) hr = AgreeMediaType(receivePin, &partial);
  }
  if (FAILED(hr)) BreakConnect();
  return hr;
}

HRESULT CBasePin::AgreeMediaType(IPin* receivePin, const CMediaType* partial) {
  // A fully specified type is the only one we may connect with.
  if (partial != nullptr && !partial->IsPartiallySpecified()) return AttemptConnection(receivePin, partial);

  HRESULT failure = VFW_E_NO_ACCEPTABLE_TYPES;
  for (int round = 0; round < 2; ++round) {
    const bool theirs = round == static_cast<int>(m_bTryMyTypesFirst);
    IEnumMediaTypes* enumerator = nullptr;
    const HRESULT enumerated = theirs ? receivePin->EnumMediaTypes(&enumerator) : EnumMediaTypes(&enumerator);
    if (FAILED(enumerated) || enumerator == nullptr) continue;
    const HRESULT hr = TryMediaTypes(receivePin, partial, enumerator);
    enumerator->Release();
    if (SUCCEEDED(hr)) return S_OK;
    if (isSpecificFailure(hr)) failure = hr;
  }
  return failure;
}

HRESULT CBasePin::TryMediaTypes(IPin* receivePin, const CMediaType* partial, IEnumMediaTypes* enumerator) {
  HRESULT hr = enumerator->Reset();
  if (FAILED(hr)) return hr;
  HRESULT failure = S_OK;  // the first specific failure, if any
  for (;;) {
    AM_MEDIA_TYPE* offered = nullptr;
    ULONG fetched = 0;
    if (enumerator->Next(1, &offered, &fetched) != S_OK || offered == nullptr) {
      DeleteMediaType(offered);
      return failure == S_OK ? VFW_E_NO_ACCEPTABLE_TYPES : failure;
    }
    HRESULT copied = S_OK;
    const CMediaType candidate(*offered, &copied);
    DeleteMediaType(offered);
    if (FAILED(copied)) return copied;
    if (partial != nullptr && !candidate.MatchesPartial(partial)) continue;
    hr = AttemptConnection(receivePin, &candidate);
    if (hr == S_OK) return S_OK;
    if (failure == S_OK && isSpecificFailure(hr)) failure = hr;
  }
}

HRESULT CBasePin::AttemptConnection(IPin* receivePin, const CMediaType* mediaType) {
  HRESULT hr = CheckConnect(receivePin);
  if (FAILED(hr)) {
    BreakConnect();
    return hr;
  }
  hr = CheckMediaType(mediaType);
  if (hr != S_OK) {
    hr = typeRefusal(hr);
  } else {
    // Look connected already: the other pin may call back while it receives us.
    m_Connected = receivePin;
    m_Connected->AddRef();
    hr = SetMediaType(mediaType);
    if (SUCCEEDED(hr)) hr = receivePin->ReceiveConnection(static_cast<IPin*>(this), mediaType);
    if (SUCCEEDED(hr)) {
      hr = CompleteConnect(receivePin);
      if (SUCCEEDED(hr)) return hr;
      receivePin->Disconnect();
    }
  }
  BreakConnect();
  DropConnectedPin();
  return hr;
}

STDMETHODIMP CBasePin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mediaType) {
  CheckPointer(connector, E_POINTER);
  CheckPointer(mediaType, E_POINTER);
  CAutoLock lock(m_pLock);
  if (m_Connected != nullptr) return VFW_E_ALREADY_CONNECTED;
  if (!MayChangeConnection()) return VFW_E_NOT_STOPPED;
  HRESULT hr = CheckConnect(connector);
  if (FAILED(hr)) {
    BreakConnect();
    return hr;
  }
  const CMediaType type(*mediaType, &hr);
  if (FAILED(hr)) {
    BreakConnect();
    return hr;
  }
  hr = CheckMediaType(&type);
  if (hr != S_OK) {
    BreakConnect();
    return typeRefusal(hr);
  }
  m_Connected = connector;
  m_Connected->AddRef();
  hr = SetMediaType(&type);
  if (SUCCEEDED(hr)) hr = CompleteConnect(connector);
  if (SUCCEEDED(hr)) return S_OK;
  DropConnectedPin();
  BreakConnect();
  return hr;
}

STDMETHODIMP CBasePin::Disconnect() {
  CAutoLock lock(m_pLock);
  if (!IsStopped()) return VFW_E_NOT_STOPPED;
  return DisconnectInternal();
}

HRESULT CBasePin::DisconnectInternal() {
  if (m_Connected == nullptr) return S_FALSE;
  const HRESULT hr = BreakConnect();
  if (FAILED(hr)) return hr;
  DropConnectedPin();
  return S_OK;
}

STDMETHODIMP CBasePin::ConnectedTo(IPin** pin) {
  CheckPointer(pin, E_POINTER);
  CAutoLock lock(m_pLock);
  *pin = m_Connected;
  if (m_Connected == nullptr) return VFW_E_NOT_CONNECTED;
  m_Connected->AddRef();
  return S_OK;
}

STDMETHODIMP CBasePin::ConnectionMediaType(AM_MEDIA_TYPE* mediaType) {
  CheckPointer(mediaType, E_POINTER);
  CAutoLock lock(m_pLock);
  if (IsConnected()) return CopyMediaType(mediaType, &m_mt);
  memset(mediaType, 0, sizeof(*mediaType));
  mediaType->bFixedSizeSamples = TRUE;
  mediaType->lSampleSize = 1;
  return VFW_E_NOT_CONNECTED;
}

STDMETHODIMP CBasePin::QueryPinInfo(PIN_INFO* info) {
  CheckPointer(info, E_POINTER);
  info->pFilter = m_pFilter;
  if (m_pFilter != nullptr) m_pFilter->AddRef();
  copyName(info->achName, MAX_PIN_NAME, m_name);
  info->dir = m_dir;
  return S_OK;
}

STDMETHODIMP CBasePin::QueryDirection(PIN_DIRECTION* direction) {
  CheckPointer(direction, E_POINTER);
  *direction = m_dir;
  return S_OK;
}

STDMETHODIMP CBasePin::QueryId(LPWSTR* id) { return taskMemString(m_name, id); }

STDMETHODIMP CBasePin::QueryAccept(const AM_MEDIA_TYPE* mediaType) {
  CheckPointer(mediaType, E_POINTER);
  HRESULT hr = S_OK;
  const CMediaType type(*mediaType, &hr);
  if (FAILED(hr)) return S_FALSE;
  hr = CheckMediaType(&type);
  return FAILED(hr) ? S_FALSE : hr;
}

STDMETHODIMP CBasePin::EnumMediaTypes(IEnumMediaTypes** enumerator) {
  CheckPointer(enumerator, E_POINTER);
  *enumerator = CEnumMediaTypes::Create(this, nullptr);
  return *enumerator != nullptr ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CBasePin::QueryInternalConnections(IPin** /*pins*/, ULONG* /*count*/) { return E_NOTIMPL; }

STDMETHODIMP CBasePin::EndOfStream() { return S_OK; }

STDMETHODIMP CBasePin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  m_tStart = start;
  m_tStop = stop;
  m_dRate = rate;
  return S_OK;
}

STDMETHODIMP CBasePin::Notify(IBaseFilter* /*sender*/, Quality /*quality*/) { return E_NOTIMPL; }

STDMETHODIMP CBasePin::SetSink(IQualityControl* sink) {
  CAutoLock lock(m_pLock);
  m_pQSink = sink;
  return S_OK;
}

LONG CBasePin::GetMediaTypeVersion() { return m_TypeVersion; }

void CBasePin::IncrementTypeVersion() { InterlockedIncrement(&m_TypeVersion); }

HRESULT CBasePin::Active() { return S_OK; }

HRESULT CBasePin::Inactive() { return S_OK; }

HRESULT CBasePin::Run(REFERENCE_TIME /*start*/) { return S_OK; }

HRESULT CBasePin::SetMediaType(const CMediaType* mediaType) { return m_mt.Set(*mediaType); }

HRESULT CBasePin::CheckConnect(IPin* pin) {
  PIN_DIRECTION direction;
  const HRESULT hr = pin->QueryDirection(&direction);
  if (FAILED(hr)) return hr;
  return direction == m_dir ? VFW_E_INVALID_DIRECTION : S_OK;
}

HRESULT CBasePin::BreakConnect() { return S_OK; }

HRESULT CBasePin::CompleteConnect(IPin* /*receivePin*/) { return S_OK; }

HRESULT CBasePin::GetMediaType(int /*position*/, CMediaType* /*mediaType*/) { return E_UNEXPECTED; }
