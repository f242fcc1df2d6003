// The calling thread's last-error value.
#pragma once

#include "minwindef.h"

KCM_EXTERN_C_BEGIN
KCM_PLATFORM_API DWORD WINAPI GetLastError(void);
KCM_PLATFORM_API void WINAPI SetLastError(DWORD error);
KCM_EXTERN_C_END
