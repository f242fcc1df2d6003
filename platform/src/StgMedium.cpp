// Releasing and duplicating the data of storage media.
#include <unistd.h>

#include <cstring>

#include "KestroDataTransfer.h"
#include "WideString.h"

namespace {

void releaseMetaFilePict(HMETAFILEPICT picture) {
  if (auto* block = static_cast<METAFILEPICT*>(GlobalLock(picture))) {
    DeleteMetaFile(block->hMF);
    GlobalUnlock(picture);
  }
  GlobalFree(picture);
}

// The data itself, for a medium whose receiver owns it (no pUnkForRelease).
void releaseOwnedData(STGMEDIUM* medium) {
  switch (medium->tymed) {
    case TYMED_HGLOBAL:
      GlobalFree(medium->hGlobal);
      break;
    case TYMED_FILE:
      // As on Windows: a file handed over with nobody to release it is a temporary file.
      if (medium->lpszFileName != nullptr) unlink(kcm_platform::WideToUtf8(medium->lpszFileName).c_str());
      break;
    case TYMED_GDI:
      DeleteObject(medium->hBitmap);
      break;
    case TYMED_MFPICT:
      releaseMetaFilePict(medium->hMetaFilePict);
      break;
    case TYMED_ENHMF:
      DeleteEnhMetaFile(medium->hEnhMetaFile);
      break;
    default:
      break;
  }
}

HANDLE duplicateBitmap(HBITMAP source) {
  BITMAP info;
  if (GetObjectW(source, sizeof(info), &info) != sizeof(info)) return nullptr;
  const LONG size = info.bmWidthBytes * info.bmHeight;
  void* bits = GlobalAlloc(GMEM_FIXED, SIZE_T(size));  // a fixed block is its own address
  if (bits == nullptr) return nullptr;
  GetBitmapBits(source, size, bits);
  HBITMAP copy = CreateBitmap(info.bmWidth, info.bmHeight, info.bmPlanes, info.bmBitsPixel, bits);
  GlobalFree(bits);
  return copy;
}

HANDLE duplicateMetaFilePict(HMETAFILEPICT source) {
  const void* data = GlobalLock(source);
  if (data == nullptr) return nullptr;
  METAFILEPICT copy{};
  const bool complete = GlobalSize(source) >= sizeof(METAFILEPICT);
  if (complete) std::memcpy(&copy, data, sizeof(copy));
  GlobalUnlock(source);
  if (!complete) return nullptr;
  copy.hMF = CopyMetaFileW(copy.hMF, nullptr);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, sizeof(METAFILEPICT));
  if (copy.hMF == nullptr || block == nullptr) {
    DeleteMetaFile(copy.hMF);
    GlobalFree(block);
    return nullptr;
  }
  std::memcpy(GlobalLock(block), &copy, sizeof(copy));
  GlobalUnlock(block);
  return block;
}

HANDLE duplicateGlobal(HGLOBAL source, UINT flags) {
  const void* data = GlobalLock(source);
  if (data == nullptr) return nullptr;
  const SIZE_T size = GlobalSize(source);
  HGLOBAL copy = GlobalAlloc(flags == 0 ? GMEM_MOVEABLE : flags, size);
  if (copy != nullptr) {
    std::memcpy(GlobalLock(copy), data, size);
    GlobalUnlock(copy);
  }
  GlobalUnlock(source);
  return copy;
}

}  // namespace

void WINAPI ReleaseStgMedium(LPSTGMEDIUM medium) {
  if (medium == nullptr) return;
  if (medium->pUnkForRelease == nullptr) releaseOwnedData(medium);
  if (medium->tymed == TYMED_FILE) CoTaskMemFree(medium->lpszFileName);
  if (medium->tymed == TYMED_ISTREAM && medium->pstm != nullptr) medium->pstm->Release();
  if (medium->tymed == TYMED_ISTORAGE && medium->pstg != nullptr) medium->pstg->Release();
  if (medium->pUnkForRelease != nullptr) medium->pUnkForRelease->Release();
  *medium = STGMEDIUM{};
}

HANDLE WINAPI OleDuplicateData(HANDLE source, CLIPFORMAT format, UINT flags) {
  if (source == nullptr) return nullptr;
  switch (format) {
    case CF_BITMAP:
      return duplicateBitmap(static_cast<HBITMAP>(source));
    case CF_METAFILEPICT:
      return duplicateMetaFilePict(source);
    case CF_ENHMETAFILE:
      return CopyEnhMetaFileW(static_cast<HENHMETAFILE>(source), nullptr);
    case CF_PALETTE:
      return nullptr;
    default:
      return duplicateGlobal(source, flags);
  }
}
