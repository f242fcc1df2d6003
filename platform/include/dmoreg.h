// The DMO registry: which DMO classes exist in which category. Here it is in process:
// a DMO's module registers its classes (DMORegister) when it loads; the DMO wrapper
// filter hosts only registered DMOs.
#pragma once

#include "KestroPlatformExport.h"
#include "guiddef.h"
#include "winerror.h"

DEFINE_GUID(DMOCATEGORY_VIDEO_EFFECT, 0xD990EE14, 0x776C, 0x4723, 0xBE, 0x46, 0x3D, 0xA2, 0xF5, 0x6F, 0x10, 0xB9);
DEFINE_GUID(DMOCATEGORY_AUDIO_EFFECT, 0xF3602B3F, 0x0592, 0x48DF, 0xA4, 0xCD, 0x67, 0x47, 0x21, 0xE7, 0xEB, 0xEB);

typedef struct _DMO_PARTIAL_MEDIATYPE {
  GUID type;
  GUID subtype;
} DMO_PARTIAL_MEDIATYPE, *PDMO_PARTIAL_MEDIATYPE;

KCM_EXTERN_C_BEGIN
// Registers `clsidDMO` (creatable through CoCreateInstance) under `category`, or updates
// its entry there. The type lists are accepted and not kept. Thread-safe.
KCM_PLATFORM_API HRESULT WINAPI DMORegister(LPCWSTR name, REFCLSID clsidDMO, REFGUID category, DWORD flags,
                                            DWORD inputTypeCount, const DMO_PARTIAL_MEDIATYPE* inputTypes,
                                            DWORD outputTypeCount, const DMO_PARTIAL_MEDIATYPE* outputTypes);
// S_FALSE when it was not registered there.
KCM_PLATFORM_API HRESULT WINAPI DMOUnregister(REFCLSID clsidDMO, REFGUID category);
// The registered name (at most 80 characters with the terminator); S_FALSE and an empty
// name when the class is registered without one, E_FAIL when not registered at all.
KCM_PLATFORM_API HRESULT WINAPI DMOGetName(REFCLSID clsidDMO, WCHAR name[80]);
// S_OK when `clsidDMO` is registered under `category`, else S_FALSE.
KCM_PLATFORM_API HRESULT WINAPI KcmDMOIsRegistered(REFCLSID clsidDMO, REFGUID category);
KCM_EXTERN_C_END
