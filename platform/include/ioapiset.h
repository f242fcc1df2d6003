// The I/O completion port, used as a work queue: a port not tied to a file, packets
// posted by PostQueuedCompletionStatus and taken in FIFO order.
#pragma once

#include "minwindef.h"

typedef struct _OVERLAPPED {
  ULONG_PTR Internal;
  ULONG_PTR InternalHigh;
  union {
    struct {
      DWORD Offset;
      DWORD OffsetHigh;
    };
    PVOID Pointer;
  };
  HANDLE hEvent;
} OVERLAPPED, *LPOVERLAPPED;

KCM_EXTERN_C_BEGIN
// Only a new port can be made: `file` must be INVALID_HANDLE_VALUE and `existingPort` null.
KCM_PLATFORM_API HANDLE WINAPI CreateIoCompletionPort(HANDLE file, HANDLE existingPort, ULONG_PTR completionKey,
                                                      DWORD numberOfConcurrentThreads);
KCM_PLATFORM_API BOOL WINAPI PostQueuedCompletionStatus(HANDLE port, DWORD bytesTransferred,
                                                        ULONG_PTR completionKey, LPOVERLAPPED overlapped);
// FALSE with GetLastError() == WAIT_TIMEOUT and *overlapped == NULL when no packet came
// in time; FALSE with ERROR_INVALID_HANDLE when the port is closed while waiting.
// A call takes the waiting packets (up to 64) at once and the calling thread's next calls
// hand them out in order: producer and consumer then share the port's lock once per
// batch. Other threads waiting on the port get the later packets.
KCM_PLATFORM_API BOOL WINAPI GetQueuedCompletionStatus(HANDLE port, LPDWORD bytesTransferred,
                                                       PULONG_PTR completionKey, LPOVERLAPPED* overlapped,
                                                       DWORD milliseconds);
KCM_EXTERN_C_END
