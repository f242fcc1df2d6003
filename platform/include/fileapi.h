// Files, as far as serial ports need them: CreateFile on "\\.\COMn" names, ReadFile,
// WriteFile (synchronous and overlapped) and GetOverlappedResult.
//
// CreateFile opens serial ports only (see KestroSerialPorts.h for how a COM name maps to
// a device); any other name fails with ERROR_FILE_NOT_FOUND, a disposition other than
// OPEN_EXISTING with ERROR_INVALID_PARAMETER. Sharing is enforced with an advisory lock
// on the device (flock), so it holds across processes that use this layer:
//   - share mode 0 (exclusive) fails with ERROR_ACCESS_DENIED while any other handle to
//     the device is open, and keeps every later open out;
//   - a handle that shares anything coexists with other sharing handles.
// A missing device answers INVALID_HANDLE_VALUE with ERROR_FILE_NOT_FOUND, as on Windows.
//
// Reads and writes follow the port's COMMTIMEOUTS (winbase.h). A write that times out
// succeeds with fewer bytes written, as the serial driver's STATUS_TIMEOUT does. When the
// device goes away (a USB adapter pulled, the far end of a pseudo-terminal closed) I/O
// fails with ERROR_OPERATION_ABORTED and ClearCommError reports CE_IOE.
//
// Overlapped I/O (FILE_FLAG_OVERLAPPED, an OVERLAPPED with an event): the call resets the
// event, and completes at once when it can (TRUE, event set) or answers FALSE with
// ERROR_IO_PENDING and finishes on the port's own I/O thread, one per direction, in call
// order; the event is then set and OVERLAPPED.Internal/InternalHigh hold the status and
// the byte count. Closing the last handle or PurgeComm's abort flags end pending
// operations with ERROR_OPERATION_ABORTED.
#pragma once

#include "ioapiset.h"
#include "minwindef.h"

#define GENERIC_READ 0x80000000
#define GENERIC_WRITE 0x40000000
#define GENERIC_EXECUTE 0x20000000
#define GENERIC_ALL 0x10000000

#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004

#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5

#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_FLAG_OVERLAPPED 0x40000000
#define FILE_FLAG_WRITE_THROUGH 0x80000000
#define FILE_FLAG_NO_BUFFERING 0x20000000

// OVERLAPPED.Internal while the operation runs (the value STILL_ACTIVE also has).
#ifndef STATUS_PENDING
#define STATUS_PENDING ((DWORD)0x00000103L)
#endif
// Internal is written by the port's I/O thread: it is read and written atomically.
#define HasOverlappedIoCompleted(overlapped) \
  ((DWORD)__atomic_load_n(&(overlapped)->Internal, __ATOMIC_ACQUIRE) != STATUS_PENDING)

KCM_EXTERN_C_BEGIN
KCM_PLATFORM_API HANDLE WINAPI CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                                           LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                                           DWORD flagsAndAttributes, HANDLE templateFile);
KCM_PLATFORM_API HANDLE WINAPI CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                                           LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                                           DWORD flagsAndAttributes, HANDLE templateFile);
// On a handle opened without FILE_FLAG_OVERLAPPED `overlapped` must be null, and on an
// overlapped handle it must not be (ERROR_INVALID_PARAMETER otherwise).
KCM_PLATFORM_API BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
                                       LPOVERLAPPED overlapped);
KCM_PLATFORM_API BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
                                      LPOVERLAPPED overlapped);
// The outcome of an overlapped operation; with `wait` it blocks on the OVERLAPPED's event
// until the operation has finished. FALSE with ERROR_IO_INCOMPLETE while it still runs.
KCM_PLATFORM_API BOOL WINAPI GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD bytesTransferred,
                                                 BOOL wait);
KCM_EXTERN_C_END
