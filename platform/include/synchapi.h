// Critical sections, events, semaphores and the waits on kernel objects.
//
// Waits take one process-wide dispatcher lock, so WaitForMultipleObjects with waitAll
// acquires all of its objects in one atomic step, as on Windows. Waits are not
// alertable (no APCs exist here): the `alertable` arguments are accepted and ignored,
// and WAIT_IO_COMPLETION is never answered. Object names are shared within the
// process only.
#pragma once

#include <pthread.h>

#include "minwindef.h"

#define INFINITE 0xFFFFFFFF
#define WAIT_OBJECT_0 0x00000000L
#define WAIT_ABANDONED 0x00000080L
#define WAIT_ABANDONED_0 0x00000080L
#define WAIT_IO_COMPLETION 0x000000C0L
#define WAIT_TIMEOUT 0x00000102L
#define WAIT_FAILED ((DWORD)0xFFFFFFFF)
#define MAXIMUM_WAIT_OBJECTS 64

// A recursive lock; the owner may enter again and must leave as often as it entered.
// LeaveCriticalSection by a thread that does not own it is refused (last error
// ERROR_INVALID_PARAMETER) instead of corrupting the lock.
typedef struct _RTL_CRITICAL_SECTION {
  pthread_mutex_t Mutex;
  LONG RecursionCount;  // entries of the owning thread not yet left
  DWORD OwningThread;   // thread id of the owner, 0 when free
  ULONG_PTR SpinCount;
} CRITICAL_SECTION, *LPCRITICAL_SECTION, *PCRITICAL_SECTION;

KCM_EXTERN_C_BEGIN
KCM_PLATFORM_API void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION section);
KCM_PLATFORM_API BOOL WINAPI InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION section, DWORD spinCount);
KCM_PLATFORM_API void WINAPI EnterCriticalSection(LPCRITICAL_SECTION section);
KCM_PLATFORM_API BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION section);
KCM_PLATFORM_API void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION section);
KCM_PLATFORM_API void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION section);

KCM_PLATFORM_API HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState,
                                            LPCWSTR name);
KCM_PLATFORM_API HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState,
                                            LPCSTR name);
KCM_PLATFORM_API BOOL WINAPI SetEvent(HANDLE event);
KCM_PLATFORM_API BOOL WINAPI ResetEvent(HANDLE event);

KCM_PLATFORM_API HANDLE WINAPI CreateSemaphoreW(LPSECURITY_ATTRIBUTES attributes, LONG initialCount, LONG maximumCount,
                                                LPCWSTR name);
KCM_PLATFORM_API HANDLE WINAPI CreateSemaphoreA(LPSECURITY_ATTRIBUTES attributes, LONG initialCount, LONG maximumCount,
                                                LPCSTR name);
// A release past the maximum changes nothing and fails with ERROR_INVALID_PARAMETER
// (Windows: ERROR_TOO_MANY_POSTS, which our error table does not carry).
KCM_PLATFORM_API BOOL WINAPI ReleaseSemaphore(HANDLE semaphore, LONG releaseCount, LPLONG previousCount);

KCM_PLATFORM_API DWORD WINAPI WaitForSingleObject(HANDLE object, DWORD milliseconds);
KCM_PLATFORM_API DWORD WINAPI WaitForSingleObjectEx(HANDLE object, DWORD milliseconds, BOOL alertable);
KCM_PLATFORM_API DWORD WINAPI WaitForMultipleObjects(DWORD count, const HANDLE* objects, BOOL waitAll,
                                                     DWORD milliseconds);
KCM_PLATFORM_API DWORD WINAPI WaitForMultipleObjectsEx(DWORD count, const HANDLE* objects, BOOL waitAll,
                                                       DWORD milliseconds, BOOL alertable);

KCM_PLATFORM_API void WINAPI Sleep(DWORD milliseconds);
// Answers 0; the sleep is never cut short, since no APC can be queued here.
KCM_PLATFORM_API DWORD WINAPI SleepEx(DWORD milliseconds, BOOL alertable);
KCM_EXTERN_C_END
