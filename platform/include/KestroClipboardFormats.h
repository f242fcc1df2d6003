// Clipboard format numbers: the standard CF_ values and formats registered by name.
//
// Registered formats take the values 0xC000 to 0xFFFF, one per name for the life of the
// process; names compare without regard to ASCII case, as on Windows. The registry is
// process-wide (there is no other process to agree with here).
#pragma once

#include "minwindef.h"

typedef WORD CLIPFORMAT;

#define CF_TEXT 1
#define CF_BITMAP 2
#define CF_METAFILEPICT 3
#define CF_SYLK 4
#define CF_DIF 5
#define CF_TIFF 6
#define CF_OEMTEXT 7
#define CF_DIB 8
#define CF_PALETTE 9
#define CF_PENDATA 10
#define CF_RIFF 11
#define CF_WAVE 12
#define CF_UNICODETEXT 13
#define CF_ENHMETAFILE 14
#define CF_HDROP 15
#define CF_LOCALE 16
#define CF_DIBV5 17

KCM_EXTERN_C_BEGIN
// The format registered under `name` (registering it the first time); 0 for a null or
// empty name or when all 0x4000 values are taken (ERROR_INVALID_PARAMETER,
// ERROR_NOT_ENOUGH_MEMORY).
KCM_PLATFORM_API UINT WINAPI RegisterClipboardFormatW(LPCWSTR name);
// The same for a UTF-8 name.
KCM_PLATFORM_API UINT WINAPI RegisterClipboardFormatA(LPCSTR name);
// Copies the registered format's name, cut to `max` - 1 characters and terminated, and
// answers its length; 0 for a standard or unregistered format or a bad buffer.
KCM_PLATFORM_API int WINAPI GetClipboardFormatNameW(UINT format, LPWSTR name, int max);
KCM_PLATFORM_API int WINAPI GetClipboardFormatNameA(UINT format, LPSTR name, int max);
KCM_EXTERN_C_END

#ifdef __cplusplus
inline UINT RegisterClipboardFormat(LPCWSTR name) { return RegisterClipboardFormatW(name); }
inline int GetClipboardFormatName(UINT format, LPWSTR name, int max) { return GetClipboardFormatNameW(format, name, max); }
#endif
