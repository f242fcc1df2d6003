// COM base services: apartment initialisation per thread, and GUID text forms
// ("{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hex, 38 characters).
#pragma once

#include "guiddef.h"
#include "winerror.h"

typedef WCHAR OLECHAR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;

#define COINIT_MULTITHREADED 0x0
#define COINIT_APARTMENTTHREADED 0x2
#define COINIT_DISABLE_OLE1DDE 0x4
#define COINIT_SPEED_OVER_MEMORY 0x8

KCM_EXTERN_C_BEGIN
// The calling thread enters an apartment: S_OK the first time, S_FALSE when it already
// is in one of the same model (each success must be matched by CoUninitialize), and
// RPC_E_CHANGED_MODE when asked for the other model. CoInitialize selects the
// apartment-threaded model. The reserved argument must be null (E_INVALIDARG otherwise).
KCM_PLATFORM_API HRESULT WINAPI CoInitialize(LPVOID reserved);
KCM_PLATFORM_API HRESULT WINAPI CoInitializeEx(LPVOID reserved, DWORD coInit);
// Leaves the apartment once; the thread is out of COM after the last matching call.
// Unmatched calls do nothing.
KCM_PLATFORM_API void WINAPI CoUninitialize(void);

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
