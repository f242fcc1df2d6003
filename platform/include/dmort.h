// Helpers for DMO_MEDIA_TYPE records: the format block is CoTaskMemAlloc'ed and pUnk
// holds a reference, as for AM_MEDIA_TYPE.
#pragma once

#include "mediaobj.h"

KCM_EXTERN_C_BEGIN
// Zeroes the record and allocates a format block of `formatSize` bytes (none for 0).
KCM_PLATFORM_API HRESULT WINAPI MoInitMediaType(DMO_MEDIA_TYPE* type, DWORD formatSize);
// Frees the format block and releases pUnk; the record itself stays.
KCM_PLATFORM_API HRESULT WINAPI MoFreeMediaType(DMO_MEDIA_TYPE* type);
// `destination` (uninitialised) becomes a deep copy of `source`.
KCM_PLATFORM_API HRESULT WINAPI MoCopyMediaType(DMO_MEDIA_TYPE* destination, const DMO_MEDIA_TYPE* source);
// A new CoTaskMemAlloc'ed record with a format block of `formatSize` bytes.
KCM_PLATFORM_API HRESULT WINAPI MoCreateMediaType(DMO_MEDIA_TYPE** type, DWORD formatSize);
// MoFreeMediaType, then frees the record.
KCM_PLATFORM_API HRESULT WINAPI MoDeleteMediaType(DMO_MEDIA_TYPE* type);
KCM_PLATFORM_API HRESULT WINAPI MoDuplicateMediaType(DMO_MEDIA_TYPE** destination, const DMO_MEDIA_TYPE* source);
KCM_EXTERN_C_END
