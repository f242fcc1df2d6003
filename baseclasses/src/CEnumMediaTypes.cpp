#include "CEnumMediaTypes.h"

#include <string.h>

#include <new>

#include "interlockedapi.h"

CEnumMediaTypes::CEnumMediaTypes(CBasePin* pin, CEnumMediaTypes* copyOf)
    : m_Position(copyOf != nullptr ? copyOf->m_Position : 0),
      m_pPin(pin),
      m_Version(copyOf != nullptr ? copyOf->m_Version : pin->GetMediaTypeVersion()),
      m_cRef(1) {
  m_pPin->AddRef();
}

CEnumMediaTypes::~CEnumMediaTypes() { m_pPin->Release(); }

CEnumMediaTypes* CEnumMediaTypes::Create(CBasePin* pin, CEnumMediaTypes* copyOf) {
  return new (std::nothrow) CEnumMediaTypes(pin, copyOf);
}

STDMETHODIMP CEnumMediaTypes::QueryInterface(REFIID iid, void** object) {
  CheckPointer(object, E_POINTER);
  if (iid == IID_IEnumMediaTypes || iid == IID_IUnknown) {
    *object = static_cast<IEnumMediaTypes*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CEnumMediaTypes::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_cRef)); }

STDMETHODIMP_(ULONG) CEnumMediaTypes::Release() {
  const LONG count = InterlockedDecrement(&m_cRef);
  if (count == 0) delete this;
  return static_cast<ULONG>(count);
}

STDMETHODIMP CEnumMediaTypes::Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) {
  CheckPointer(types, E_POINTER);
  if (fetched != nullptr) {
    *fetched = 0;
  } else if (count > 1) {
    return E_INVALIDARG;
  }
  if (AreWeOutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
  ULONG done = 0;
  while (done < count) {
    CMediaType type;
    if (m_pPin->GetMediaType(m_Position, &type) != S_OK) break;
    auto* record = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (record == nullptr) break;
    ++m_Position;
    // The record takes over the format block and pUnk; `type` is left empty.
    *record = type;
    type.cbFormat = 0;
    type.pbFormat = nullptr;
    type.pUnk = nullptr;
    types[done++] = record;
  }
  if (fetched != nullptr) *fetched = done;
  return done == count ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumMediaTypes::Skip(ULONG count) {
  if (count == 0) return S_OK;
  if (AreWeOutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
  m_Position += static_cast<int>(count);
  CMediaType last;
  return m_pPin->GetMediaType(m_Position - 1, &last) == S_OK ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumMediaTypes::Reset() {
  m_Position = 0;
  m_Version = m_pPin->GetMediaTypeVersion();
  return S_OK;
}

STDMETHODIMP CEnumMediaTypes::Clone(IEnumMediaTypes** enumerator) {
  CheckPointer(enumerator, E_POINTER);
  *enumerator = nullptr;
  if (AreWeOutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
  *enumerator = Create(m_pPin, this);
  return *enumerator != nullptr ? S_OK : E_OUTOFMEMORY;
}
