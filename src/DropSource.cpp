// CIDropSource: when a drag ends and how it looks.
#include "KestroDragDrop.h"
#include "SingleInterfaceUnknown.h"

CIDropSource::CIDropSource() = default;

CIDropSource::~CIDropSource() = default;

STDMETHODIMP CIDropSource::QueryInterface(REFIID iid, void** object) {
  return QuerySingleInterface(static_cast<IDropSource*>(this), IID_IDropSource, iid, object);
}

STDMETHODIMP_(ULONG) CIDropSource::AddRef() { return ++m_cRefCount; }

STDMETHODIMP_(ULONG) CIDropSource::Release() { return ReleaseReference(this, m_cRefCount); }

STDMETHODIMP CIDropSource::QueryContinueDrag(BOOL escapePressed, DWORD keyState) {
  if (escapePressed) return DRAGDROP_S_CANCEL;
  if (keyState & (MK_LBUTTON | MK_RBUTTON)) return S_OK;
  m_bDropped = true;
  return DRAGDROP_S_DROP;
}

STDMETHODIMP CIDropSource::GiveFeedback(DWORD) { return DRAGDROP_S_USEDEFAULTCURSORS; }
