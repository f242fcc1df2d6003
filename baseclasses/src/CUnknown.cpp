#include "CUnknown.h"

#include "interlockedapi.h"

CUnknown::CUnknown(LPCTSTR /*name*/, LPUNKNOWN outer)
    : m_cRef(0), m_nonDelegating(*this), m_pUnknown(outer != nullptr ? outer : &m_nonDelegating) {}

CUnknown::CUnknown(LPCTSTR name, LPUNKNOWN outer, HRESULT* /*result*/) : CUnknown(name, outer) {}

CUnknown::~CUnknown() = default;

STDMETHODIMP CUnknown::NonDelegatingQueryInterface(REFIID iid, void** object) {
  CheckPointer(object, E_POINTER);
  if (iid == IID_IUnknown) return GetInterface(&m_nonDelegating, object);
  *object = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CUnknown::NonDelegatingAddRef() {
  const LONG count = InterlockedIncrement(&m_cRef);
  return count > 1 ? static_cast<ULONG>(count) : 1;
}

STDMETHODIMP_(ULONG) CUnknown::NonDelegatingRelease() {
  const LONG count = InterlockedDecrement(&m_cRef);
  if (count == 0) {
    // A destructor that takes and gives back a reference (an aggregator releasing an
    // interface it holds on its inner object) must not reach zero a second time.
    m_cRef = 1;
    delete this;
    return 0;
  }
  // The object may already be gone on another thread: only the local count is used.
  return count > 1 ? static_cast<ULONG>(count) : 1;
}

extern "C" HRESULT WINAPI GetInterface(LPUNKNOWN unknown, void** object) {
  CheckPointer(object, E_POINTER);
  *object = unknown;
  unknown->AddRef();
  return S_OK;
}
