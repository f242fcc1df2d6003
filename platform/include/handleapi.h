// Kernel-object handles.
//
// A handle is an entry of a process-wide table, not a pointer to the object: a handle
// that was closed, or never existed, is refused with ERROR_INVALID_HANDLE instead of
// being dereferenced. An object lives as long as any handle to it, or any wait on it,
// is open (a thread also keeps its own object alive until it ends).
#pragma once

#include "minwindef.h"

#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)

#define DUPLICATE_CLOSE_SOURCE 0x00000001
#define DUPLICATE_SAME_ACCESS 0x00000002
#define SYNCHRONIZE 0x00100000L

KCM_EXTERN_C_BEGIN
// Closes events, semaphores, threads and completion ports alike. Closing a pseudo handle
// (GetCurrentThread(), GetCurrentProcess()) succeeds and does nothing, as on Windows.
KCM_PLATFORM_API BOOL WINAPI CloseHandle(HANDLE object);
// Only the current process exists here: both process handles must be GetCurrentProcess().
// Duplicating GetCurrentThread() gives a real handle to the calling thread; the process
// itself is no kernel object here and cannot be duplicated or waited on.
KCM_PLATFORM_API BOOL WINAPI DuplicateHandle(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess,
                                             LPHANDLE target, DWORD desiredAccess, BOOL inheritHandle,
                                             DWORD options);
KCM_EXTERN_C_END
