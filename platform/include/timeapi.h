// Millisecond clocks. Both count from an arbitrary point (the monotonic clock's origin,
// usually boot) and wrap around after 2^32 ms, about 49.7 days: compare them by
// unsigned difference, never by order.
#pragma once

#include "minwindef.h"

KCM_EXTERN_C_BEGIN
KCM_PLATFORM_API DWORD WINAPI timeGetTime(void);
KCM_PLATFORM_API DWORD WINAPI GetTickCount(void);
KCM_PLATFORM_API ULONGLONG WINAPI GetTickCount64(void);
KCM_EXTERN_C_END
