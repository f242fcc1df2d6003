// CIDropTarget: which format a drag offers that the host takes, and with which effect.
#include "KestroDragDrop.h"
#include "SingleInterfaceUnknown.h"

namespace {

POINT toPoint(POINTL point) { return POINT{point.x, point.y}; }

// The effect the held keys ask for, or DROPEFFECT_NONE when they ask for none.
DWORD effectChosenByKeys(DWORD keyState) {
  const bool control = (keyState & MK_CONTROL) != 0;
  const bool shift = (keyState & MK_SHIFT) != 0;
  if (control && shift) return DROPEFFECT_LINK;
  if (control) return DROPEFFECT_COPY;
  if (shift) return DROPEFFECT_MOVE;
  return DROPEFFECT_NONE;
}

DWORD firstAllowedEffect(DWORD allowed) {
  for (DWORD effect : {DWORD(DROPEFFECT_COPY), DWORD(DROPEFFECT_MOVE), DWORD(DROPEFFECT_LINK)}) {
    if (allowed & effect) return effect;
  }
  return DROPEFFECT_NONE;
}

}  // namespace

CIDropTarget::CIDropTarget(HWND targetWindow) : m_hTargetWnd(targetWindow) {
  if (FAILED(CoCreateInstance(CLSID_DragDropHelper, nullptr, CLSCTX_INPROC_SERVER, IID_IDropTargetHelper,
                              reinterpret_cast<void**>(&m_pDropTargetHelper)))) {
    m_pDropTargetHelper = nullptr;
  }
}

CIDropTarget::~CIDropTarget() {
  if (m_pDropTargetHelper != nullptr) m_pDropTargetHelper->Release();
}

STDMETHODIMP CIDropTarget::QueryInterface(REFIID iid, void** object) {
  return QuerySingleInterface(static_cast<IDropTarget*>(this), IID_IDropTarget, iid, object);
}

STDMETHODIMP_(ULONG) CIDropTarget::AddRef() { return ++m_cRefCount; }

STDMETHODIMP_(ULONG) CIDropTarget::Release() { return ReleaseReference(this, m_cRefCount); }

void CIDropTarget::AddSuportedFormat(FORMATETC& format) {
  // The matched format is an element of the list: keep pointing at it if the list moves.
  const ptrdiff_t matched = m_pSupportedFrmt ? m_pSupportedFrmt - m_formatetc.data() : -1;
  m_formatetc.push_back(format);
  if (matched >= 0) m_pSupportedFrmt = &m_formatetc[size_t(matched)];
}

bool CIDropTarget::QueryDrop(DWORD keyState, LPDWORD effect) {
  if (effect == nullptr) return false;
  if (!m_bAllowDrop) {
    *effect = DROPEFFECT_NONE;
    return false;
  }
  const DWORD allowed = *effect;
  const DWORD byKeys = effectChosenByKeys(keyState);
  if (byKeys != DROPEFFECT_NONE) {
    *effect = (allowed & byKeys) ? byKeys : DWORD(DROPEFFECT_NONE);
  } else {
    *effect = firstAllowedEffect(allowed);
  }
  return *effect != DROPEFFECT_NONE;
}

STDMETHODIMP CIDropTarget::DragEnter(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) {
  if (data == nullptr || effect == nullptr) return E_INVALIDARG;
  if (m_pDropTargetHelper != nullptr) {
    POINT at = toPoint(point);
    m_pDropTargetHelper->DragEnter(m_hTargetWnd, data, &at, *effect);
  }
  m_pSupportedFrmt = nullptr;
  for (FORMATETC& supported : m_formatetc) {
    if (data->QueryGetData(&supported) == S_OK) {
      m_pSupportedFrmt = &supported;
      break;
    }
  }
  m_bAllowDrop = m_pSupportedFrmt != nullptr;
  QueryDrop(keyState, effect);
  return S_OK;
}

STDMETHODIMP CIDropTarget::DragOver(DWORD keyState, POINTL point, DWORD* effect) {
  if (effect == nullptr) return E_INVALIDARG;
  if (m_pDropTargetHelper != nullptr) {
    POINT at = toPoint(point);
    m_pDropTargetHelper->DragOver(&at, *effect);
  }
  QueryDrop(keyState, effect);
  return S_OK;
}

STDMETHODIMP CIDropTarget::DragLeave() {
  if (m_pDropTargetHelper != nullptr) m_pDropTargetHelper->DragLeave();
  m_bAllowDrop = false;
  m_pSupportedFrmt = nullptr;
  return S_OK;
}

STDMETHODIMP CIDropTarget::Drop(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) {
  if (data == nullptr || effect == nullptr) return E_INVALIDARG;
  if (m_pDropTargetHelper != nullptr) {
    POINT at = toPoint(point);
    m_pDropTargetHelper->Drop(data, &at, *effect);
  }
  if (QueryDrop(keyState, effect) && m_pSupportedFrmt != nullptr) {
    STGMEDIUM medium{};
    if (SUCCEEDED(data->GetData(m_pSupportedFrmt, &medium))) {
      bool release = true;
      try {
        release = OnDrop(m_pSupportedFrmt, medium, effect);
      } catch (...) {
        // The host's handler failed half way: the medium is still ours to free.
      }
      if (release) ReleaseStgMedium(&medium);
    }
  }
  // The source never sees a move completed: it must not delete what it dragged.
  m_bAllowDrop = false;
  m_pSupportedFrmt = nullptr;
  *effect = DROPEFFECT_NONE;
  return S_OK;
}
