#include "CEnumPins.h"

#include <new>

#include "CBasePin.h"
#include "interlockedapi.h"

CEnumPins::CEnumPins(CBaseFilter* filter, CEnumPins* copyOf)
    : m_Position(copyOf != nullptr ? copyOf->m_Position : 0),
      m_PinCount(copyOf != nullptr ? copyOf->m_PinCount : filter->GetPinCount()),
      m_pFilter(filter),
      m_Version(copyOf != nullptr ? copyOf->m_Version : filter->GetPinVersion()),
      m_cRef(1) {
  m_pFilter->AddRef();
}

CEnumPins::~CEnumPins() { m_pFilter->Release(); }

CEnumPins* CEnumPins::Create(CBaseFilter* filter, CEnumPins* copyOf) {
  return new (std::nothrow) CEnumPins(filter, copyOf);
}

STDMETHODIMP CEnumPins::QueryInterface(REFIID iid, void** object) {
  CheckPointer(object, E_POINTER);
  if (iid == IID_IEnumPins || iid == IID_IUnknown) {
    *object = static_cast<IEnumPins*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CEnumPins::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_cRef)); }

STDMETHODIMP_(ULONG) CEnumPins::Release() {
  const LONG count = InterlockedDecrement(&m_cRef);
  if (count == 0) delete this;
  return static_cast<ULONG>(count);
}

STDMETHODIMP CEnumPins::Next(ULONG count, IPin** pins, ULONG* fetched) {
  CheckPointer(pins, E_POINTER);
  if (fetched != nullptr) {
    *fetched = 0;
  } else if (count > 1) {
    return E_INVALIDARG;
  }
  if (AreWeOutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
  ULONG done = 0;
  while (done < count && m_Position < m_PinCount) {
    CBasePin* pin = m_pFilter->GetPin(m_Position++);
    if (pin == nullptr) break;  // fewer pins than the filter claimed
    pin->AddRef();
    pins[done++] = pin;
  }
  if (fetched != nullptr) *fetched = done;
  return done == count ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumPins::Skip(ULONG count) {
  if (AreWeOutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
  const ULONG left = static_cast<ULONG>(m_PinCount - m_Position);
  if (count > left) return S_FALSE;
  m_Position += static_cast<int>(count);
  return S_OK;
}

STDMETHODIMP CEnumPins::Reset() {
  m_Version = m_pFilter->GetPinVersion();
  m_PinCount = m_pFilter->GetPinCount();
  m_Position = 0;
  return S_OK;
}

STDMETHODIMP CEnumPins::Clone(IEnumPins** enumerator) {
  CheckPointer(enumerator, E_POINTER);
  *enumerator = nullptr;
  if (AreWeOutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
  *enumerator = Create(m_pFilter, this);
  return *enumerator != nullptr ? S_OK : E_OUTOFMEMORY;
}
