// The C run-time's thread start and end, as hosts call them.
#pragma once

#include "minwindef.h"

KCM_EXTERN_C_BEGIN
// Answers the thread handle as an integer, 0 on failure (errno is set).
KCM_PLATFORM_API uintptr_t __cdecl _beginthreadex(void* security, unsigned stackSize,
                                                  unsigned(__stdcall* start)(void*), void* argList,
                                                  unsigned initFlag, unsigned* threadId);
KCM_PLATFORM_API void __cdecl _endthreadex(unsigned exitCode) __attribute__((noreturn));
KCM_EXTERN_C_END
