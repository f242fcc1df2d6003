// The modal property frame. There are no windows here: the frame stand-in writes each
// page and each object's properties to the platform's diagnostic channel
// (KestroPlatformDiagnostic.h) and returns at once, as if the user pressed OK.
#pragma once

#include "ocidl.h"
#include "windef.h"

// Objects that can describe their settings in text implement this; the frame prints
// what it returns. Lines are separated by '\n'; the text is CoTaskMemAlloc'ed.
DEFINE_GUID(IID_IKcmPropertyText, 0x6B1F0C52, 0x8D3A, 0x4E61, 0x9A, 0x27, 0x51, 0xC4, 0x0E, 0x93, 0x7D, 0x18);
struct IKcmPropertyText : public IUnknown {
  STDMETHOD(GetPropertyText)(LPOLESTR* text) PURE;
};

KCM_EXTERN_C_BEGIN
// Shows `pageCount` pages for `objectCount` objects. Null objects or pages with a
// nonzero count → E_POINTER; S_OK otherwise. Owner, position and locale are ignored.
KCM_PLATFORM_API HRESULT WINAPI OleCreatePropertyFrame(HWND owner, UINT x, UINT y, LPCOLESTR caption, ULONG objectCount,
                                                       IUnknown** objects, ULONG pageCount, const CLSID* pages,
                                                       LCID locale, DWORD reserved, void* reservedPointer);
KCM_EXTERN_C_END
