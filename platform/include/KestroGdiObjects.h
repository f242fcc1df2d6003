// GDI objects as data transfer carries them: bitmaps, metafiles and enhanced metafiles.
//
// There is no display here. A bitmap is its size, depth and bits held in memory; a
// metafile or enhanced metafile is the bytes of its records, kept as given and never
// played. That is enough to hand such objects through a data object, duplicate them and
// free them. Handles are tokens that are never reused, so a handle deleted twice is
// refused instead of deleting a newer object.
#pragma once

#include "minwindef.h"
#include "windef.h"

typedef void* HGDIOBJ;
DECLARE_HANDLE(HBITMAP);
DECLARE_HANDLE(HENHMETAFILE);
DECLARE_HANDLE(HMETAFILE);
typedef HANDLE HMETAFILEPICT;  // an HGLOBAL holding a METAFILEPICT
typedef DWORD COLORREF;

#define RGB(r, g, b) ((COLORREF)(((BYTE)(r) | ((WORD)((BYTE)(g)) << 8)) | (((DWORD)(BYTE)(b)) << 16)))

typedef struct tagBITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  LPVOID bmBits;
} BITMAP, *PBITMAP, *LPBITMAP;

// The block behind a CF_METAFILEPICT handle.
typedef struct tagMETAFILEPICT {
  LONG mm;
  LONG xExt;
  LONG yExt;
  HMETAFILE hMF;
} METAFILEPICT, *LPMETAFILEPICT;

KCM_EXTERN_C_BEGIN
// A bitmap of width × height pixels with `bitCount` bits per pixel and `planes` planes
// (each row padded to 16 bits, as device-dependent bitmaps are), filled from `bits` when
// it is not null, else zero. Null for a size of 0 or less or a depth outside 1..32.
KCM_PLATFORM_API HBITMAP WINAPI CreateBitmap(int width, int height, UINT planes, UINT bitCount, const void* bits);
// Bitmaps only: with a null `buffer` the size of BITMAP; else fills the BITMAP (bmBits
// null, as for device-dependent bitmaps) when `size` holds it and answers the bytes
// written. 0 for any other handle or a too-small buffer.
KCM_PLATFORM_API int WINAPI GetObjectW(HGDIOBJ object, int size, LPVOID buffer);
KCM_PLATFORM_API int WINAPI GetObjectA(HGDIOBJ object, int size, LPVOID buffer);
// Copies up to `size` bytes of the bitmap's bits; the count copied, 0 for another handle.
KCM_PLATFORM_API LONG WINAPI GetBitmapBits(HBITMAP bitmap, LONG size, LPVOID bits);
// Deletes a bitmap; FALSE for any other handle.
KCM_PLATFORM_API BOOL WINAPI DeleteObject(HGDIOBJ object);

// An enhanced metafile holding a copy of `size` bytes; null for 0 bytes or null data.
KCM_PLATFORM_API HENHMETAFILE WINAPI SetEnhMetaFileBits(UINT size, const BYTE* data);
// With null `data` the size; else copies up to `size` bytes and answers the count copied.
KCM_PLATFORM_API UINT WINAPI GetEnhMetaFileBits(HENHMETAFILE metafile, UINT size, LPBYTE data);
// A copy in memory. Copies to a file are not offered: a non-null `file` gives null.
KCM_PLATFORM_API HENHMETAFILE WINAPI CopyEnhMetaFileW(HENHMETAFILE metafile, LPCWSTR file);
KCM_PLATFORM_API BOOL WINAPI DeleteEnhMetaFile(HENHMETAFILE metafile);

// The same for Windows metafiles.
KCM_PLATFORM_API HMETAFILE WINAPI SetMetaFileBitsEx(UINT size, const BYTE* data);
KCM_PLATFORM_API UINT WINAPI GetMetaFileBitsEx(HMETAFILE metafile, UINT size, LPVOID data);
KCM_PLATFORM_API HMETAFILE WINAPI CopyMetaFileW(HMETAFILE metafile, LPCWSTR file);
KCM_PLATFORM_API BOOL WINAPI DeleteMetaFile(HMETAFILE metafile);
KCM_EXTERN_C_END

#ifdef __cplusplus
// The generic names, as UNICODE builds on Windows see them (functions, not macros, so that
// members named GetObject elsewhere stay untouched).
inline int GetObject(HGDIOBJ object, int size, LPVOID buffer) { return GetObjectW(object, size, buffer); }
inline HENHMETAFILE CopyEnhMetaFile(HENHMETAFILE metafile, LPCWSTR file) { return CopyEnhMetaFileW(metafile, file); }
inline HMETAFILE CopyMetaFile(HMETAFILE metafile, LPCWSTR file) { return CopyMetaFileW(metafile, file); }

static_assert(sizeof(COLORREF) == 4, "COLORREF is 32-bit");
static_assert(sizeof(BITMAP) == 32 && offsetof(BITMAP, bmPlanes) == 16 && offsetof(BITMAP, bmBitsPixel) == 18 &&
                  offsetof(BITMAP, bmBits) == 24,
              "BITMAP as on 64-bit Windows");
#endif

#ifdef __cplusplus
// How many GDI objects exist, for tests that check every object handed out was deleted.
KCM_PLATFORM_API size_t KcmGdiObjectCount();
#endif
