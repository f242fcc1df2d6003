// OLE drag and drop: the drop source and drop target interfaces with their effects,
// key-state bits and result codes.
//
// There is no system drag loop here (no DoDragDrop, no RegisterDragDrop): a host's own
// toolkit runs the drag and calls a drop target's methods itself (see
// KestroDragDropBridge.h for a Qt host).
#pragma once

#include "KestroDataTransfer.h"
#include "windef.h"

DEFINE_GUID(IID_IDropSource, 0x00000121, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
DEFINE_GUID(IID_IDropTarget, 0x00000122, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);

#define DROPEFFECT_NONE 0
#define DROPEFFECT_COPY 1
#define DROPEFFECT_MOVE 2
#define DROPEFFECT_LINK 4
#define DROPEFFECT_SCROLL 0x80000000

// Key-state bits (grfKeyState). MK_ALT is drag and drop's own and shares its bit with
// MK_XBUTTON1.
#define MK_LBUTTON 0x0001
#define MK_RBUTTON 0x0002
#define MK_SHIFT 0x0004
#define MK_CONTROL 0x0008
#define MK_MBUTTON 0x0010
#define MK_XBUTTON1 0x0020
#define MK_XBUTTON2 0x0040
#define MK_ALT 0x0020

#define DRAGDROP_S_DROP ((HRESULT)0x00040100)
#define DRAGDROP_S_CANCEL ((HRESULT)0x00040101)
#define DRAGDROP_S_USEDEFAULTCURSORS ((HRESULT)0x00040102)
#define DRAGDROP_E_NOTREGISTERED ((HRESULT)0x80040100)
#define DRAGDROP_E_ALREADYREGISTERED ((HRESULT)0x80040101)
#define DRAGDROP_E_INVALIDHWND ((HRESULT)0x80040102)

// Screen coordinates of a drag.
typedef struct _POINTL {
  LONG x;
  LONG y;
} POINTL, *PPOINTL;

struct IDropSource : public IUnknown {
  // S_OK to go on, DRAGDROP_S_DROP to drop, DRAGDROP_S_CANCEL to cancel.
  STDMETHOD(QueryContinueDrag)(BOOL escapePressed, DWORD keyState) PURE;
  STDMETHOD(GiveFeedback)(DWORD effect) PURE;
};
typedef IDropSource* LPDROPSOURCE;

// `effect` carries in the effects the source allows and out the one the target chose.
struct IDropTarget : public IUnknown {
  STDMETHOD(DragEnter)(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) PURE;
  STDMETHOD(DragOver)(DWORD keyState, POINTL point, DWORD* effect) PURE;
  STDMETHOD(DragLeave)() PURE;
  STDMETHOD(Drop)(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) PURE;
};
typedef IDropTarget* LPDROPTARGET;

static_assert(sizeof(POINTL) == 8, "POINTL is two LONGs");
