// CDragSourceHelper: the shell's drag image for a drag this host starts.
#include "KestroDragDrop.h"

CDragSourceHelper::CDragSourceHelper() {
  if (FAILED(CoCreateInstance(CLSID_DragDropHelper, nullptr, CLSCTX_INPROC_SERVER, IID_IDragSourceHelper,
                              reinterpret_cast<void**>(&pDragSourceHelper)))) {
    pDragSourceHelper = nullptr;
  }
}

CDragSourceHelper::~CDragSourceHelper() {
  if (pDragSourceHelper != nullptr) pDragSourceHelper->Release();
}

HRESULT CDragSourceHelper::InitializeFromBitmap(HBITMAP bitmap, POINT& cursor, RECT& item, IDataObject* data,
                                                COLORREF colorKey) {
  if (pDragSourceHelper == nullptr) return E_FAIL;
  BITMAP info{};
  GetObject(bitmap, sizeof(info), &info);
  SHDRAGIMAGE image{};
  image.sizeDragImage = SIZE{info.bmWidth, info.bmHeight};
  image.ptOffset = POINT{cursor.x - item.left, cursor.y - item.top};
  image.hbmpDragImage = bitmap;
  image.crColorKey = colorKey;
  return pDragSourceHelper->InitializeFromBitmap(&image, data);
}

HRESULT CDragSourceHelper::InitializeFromWindow(HWND window, POINT& cursor, IDataObject* data) {
  if (pDragSourceHelper == nullptr) return E_FAIL;
  return pDragSourceHelper->InitializeFromWindow(window, &cursor, data);
}
