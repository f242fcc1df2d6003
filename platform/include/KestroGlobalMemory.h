// Global memory handles (HGLOBAL): the blocks OLE data transfer hands between modules.
//
// GMEM_FIXED blocks are their own handle, as on Windows: the pointer GlobalAlloc answers
// is the memory. Every other block is reached through GlobalLock; its handle is a token
// that is never reused, so a handle freed twice by a careless caller is refused
// (ERROR_INVALID_HANDLE) instead of freeing a newer block. Movable blocks never move
// while they exist, except through GlobalReAlloc. Lock counts are kept for GlobalFlags-
// style bookkeeping only: freeing a locked block is allowed, as on Windows.
#pragma once

#include "minwindef.h"

typedef HANDLE HGLOBAL;

#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)

KCM_EXTERN_C_BEGIN
// A block of `bytes` (0 is allowed), zero-filled with GMEM_ZEROINIT; null with
// ERROR_NOT_ENOUGH_MEMORY when it cannot be had. Unknown flag bits are ignored.
KCM_PLATFORM_API HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes);
// Resizes the block, keeping its contents (new bytes are zero with GMEM_ZEROINIT). A fixed
// block may move: the answer is then its new handle. Null on failure, the block unchanged.
KCM_PLATFORM_API HGLOBAL WINAPI GlobalReAlloc(HGLOBAL memory, SIZE_T bytes, UINT flags);
// The block's first byte, counting one lock; null with ERROR_INVALID_HANDLE for a handle
// that is not (or no longer) a block.
KCM_PLATFORM_API LPVOID WINAPI GlobalLock(HGLOBAL memory);
// Counts one lock off: TRUE while locks remain, FALSE (last error NO_ERROR) when none
// remain, FALSE with ERROR_INVALID_HANDLE for an unknown handle.
KCM_PLATFORM_API BOOL WINAPI GlobalUnlock(HGLOBAL memory);
// The block's size in bytes; 0 with ERROR_INVALID_HANDLE for an unknown handle.
KCM_PLATFORM_API SIZE_T WINAPI GlobalSize(HGLOBAL memory);
// Null on success (and for a null handle); the handle itself, with ERROR_INVALID_HANDLE,
// when it is not a block.
KCM_PLATFORM_API HGLOBAL WINAPI GlobalFree(HGLOBAL memory);
KCM_EXTERN_C_END

#ifdef __cplusplus
// How many global blocks exist: lets tests see that every block handed out was freed
// (blocks stay reachable from the handle table, so a leak checker cannot).
KCM_PLATFORM_API size_t KcmGlobalMemoryBlockCount();
#endif
