// Arithmetic helpers of the Windows base API.
#pragma once

#include "minwindef.h"

KCM_EXTERN_C_BEGIN
// number · numerator / denominator over the full 64-bit product, rounded half away from
// zero. Answers -1 when the denominator is 0 or the quotient does not fit 32 bits; a
// true result of -1 looks the same, as on Windows.
KCM_PLATFORM_API int WINAPI MulDiv(int number, int numerator, int denominator);
KCM_EXTERN_C_END
