// The shell's drag-image helpers.
//
// No shell runs here: CLSID_DragDropHelper is not registered, so CoCreateInstance of it
// answers REGDB_E_CLASSNOTREG, and code written for Windows goes on without drag images.
// A host that draws its own drag images may register a class under this identifier.
#pragma once

#include "KestroDataTransfer.h"
#include "oleidl.h"
#include "uuids.h"  // CLSID_DragDropHelper
#include "windef.h"

DEFINE_GUID(IID_IDropTargetHelper, 0x4657278B, 0x411B, 0x11D2, 0x83, 0x9A, 0x00, 0xC0, 0x4F, 0xD9, 0x18, 0xD0);
DEFINE_GUID(IID_IDragSourceHelper, 0xDE5BF786, 0x477A, 0x11D2, 0x83, 0x9D, 0x00, 0xC0, 0x4F, 0xD9, 0x18, 0xD0);

typedef struct SHDRAGIMAGE {
  SIZE sizeDragImage;
  POINT ptOffset;  // the cursor's position within the image
  HBITMAP hbmpDragImage;
  COLORREF crColorKey;
} SHDRAGIMAGE, *LPSHDRAGIMAGE;

struct IDragSourceHelper : public IUnknown {
  STDMETHOD(InitializeFromBitmap)(LPSHDRAGIMAGE image, IDataObject* data) PURE;
  STDMETHOD(InitializeFromWindow)(HWND window, POINT* point, IDataObject* data) PURE;
};

struct IDropTargetHelper : public IUnknown {
  STDMETHOD(DragEnter)(HWND target, IDataObject* data, POINT* point, DWORD effect) PURE;
  STDMETHOD(DragLeave)() PURE;
  STDMETHOD(DragOver)(POINT* point, DWORD effect) PURE;
  STDMETHOD(Drop)(IDataObject* data, POINT* point, DWORD effect) PURE;
  STDMETHOD(Show)(BOOL show) PURE;
};

static_assert(sizeof(SHDRAGIMAGE) == 32 && offsetof(SHDRAGIMAGE, hbmpDragImage) == 16 &&
                  offsetof(SHDRAGIMAGE, crColorKey) == 24,
              "SHDRAGIMAGE as on 64-bit Windows");
