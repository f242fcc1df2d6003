// Threads, thread ids, exit codes, termination and thread-local storage.
//
// TerminateThread cancels the thread (pthread_cancel, deferred): it ends at its next
// cancellation point (a wait, a sleep, blocking I/O), not in the middle of arbitrary
// code, and the C++ stack is unwound on the way out. Code that catches everything with
// `catch (...)` on such a thread must rethrow abi::__forced_unwind (see
// KCM_RETHROW_THREAD_CANCEL below), or the process aborts.
//
// An exception that leaves a thread's start routine ends that thread only (Windows
// would end the process): it is reported on stderr and the exit code is E_FAIL.
#pragma once

#include "minwindef.h"

#define STILL_ACTIVE 259
#define CREATE_SUSPENDED 0x00000004
#define TLS_OUT_OF_INDEXES ((DWORD)0xFFFFFFFF)

typedef DWORD(WINAPI* PTHREAD_START_ROUTINE)(LPVOID parameter);
typedef PTHREAD_START_ROUTINE LPTHREAD_START_ROUTINE;

KCM_EXTERN_C_BEGIN
KCM_PLATFORM_API HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES attributes, SIZE_T stackSize,
                                            LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD creationFlags,
                                            LPDWORD threadId);
// Pseudo handles: they stand for the caller and need no CloseHandle.
KCM_PLATFORM_API HANDLE WINAPI GetCurrentThread(void);
KCM_PLATFORM_API HANDLE WINAPI GetCurrentProcess(void);
KCM_PLATFORM_API DWORD WINAPI GetCurrentThreadId(void);
KCM_PLATFORM_API DWORD WINAPI GetCurrentProcessId(void);
KCM_PLATFORM_API DWORD WINAPI GetThreadId(HANDLE thread);
KCM_PLATFORM_API BOOL WINAPI GetExitCodeThread(HANDLE thread, LPDWORD exitCode);
KCM_PLATFORM_API BOOL WINAPI TerminateThread(HANDLE thread, DWORD exitCode);
KCM_PLATFORM_API void WINAPI ExitThread(DWORD exitCode) __attribute__((noreturn));
KCM_PLATFORM_API DWORD WINAPI ResumeThread(HANDLE thread);

KCM_PLATFORM_API DWORD WINAPI TlsAlloc(void);
KCM_PLATFORM_API BOOL WINAPI TlsFree(DWORD index);
KCM_PLATFORM_API LPVOID WINAPI TlsGetValue(DWORD index);
KCM_PLATFORM_API BOOL WINAPI TlsSetValue(DWORD index, LPVOID value);
KCM_EXTERN_C_END

#ifdef __cplusplus
#include <cxxabi.h>
// Put first among the handlers of a catch-all on a thread that may be terminated. The
// unwind carries no C++ object, so UBSan's null check flags the binding; functions built
// with it mark themselves __attribute__((no_sanitize("null"))).
#define KCM_RETHROW_THREAD_CANCEL   \
  catch (abi::__forced_unwind&) { \
    throw;                          \
  }
#endif
