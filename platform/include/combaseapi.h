// GUID text forms: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hex, 38 characters.
#pragma once

#include "guiddef.h"
#include "winerror.h"

typedef WCHAR OLECHAR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;

KCM_EXTERN_C_BEGIN
// Writes the text and its terminator; answers the characters written including the
// terminator (39), or 0 when `max` is smaller than that.
KCM_PLATFORM_API int WINAPI StringFromGUID2(REFGUID guid, LPOLESTR text, int max);
// Accepts the braced form only (hex digits of either case); E_INVALIDARG otherwise.
KCM_PLATFORM_API HRESULT WINAPI IIDFromString(LPCOLESTR text, LPIID iid);
KCM_PLATFORM_API HRESULT WINAPI CLSIDFromString(LPCOLESTR text, LPCLSID clsid);
KCM_EXTERN_C_END

#ifdef __cplusplus
#include <string>
// Narrow forms for our own code and tests.
KCM_PLATFORM_API std::string KcmGuidToString(REFGUID guid);
KCM_PLATFORM_API bool KcmGuidFromString(const std::string& text, GUID* guid);
#endif
