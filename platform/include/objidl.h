// The running object table and item monikers: enough for a process to publish objects
// under a name (a filter graph for a graph viewer, for instance) and withdraw them.
//
// IMoniker here carries only what the table needs - its display name and equality - not
// the binding and persistence slots of the Windows interface.
#pragma once

#include "combaseapi.h"
#include "unknwn.h"

DEFINE_GUID(IID_IMoniker, 0x0000000F, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
DEFINE_GUID(IID_IRunningObjectTable, 0x00000010, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);

#define ROTFLAGS_REGISTRATIONKEEPSALIVE 0x1
#define ROTFLAGS_ALLOWANYCLIENT 0x2

struct IMoniker : public IUnknown {
  // A copy of the name in task memory (CoTaskMemFree it).
  STDMETHOD(GetDisplayName)(LPOLESTR* name) PURE;
  // S_OK when `other` has the same display name, else S_FALSE.
  STDMETHOD(IsEqual)(IMoniker* other) PURE;
};

struct IRunningObjectTable : public IUnknown {
  // Holds a reference to `object` until Revoke; *cookie is never 0.
  STDMETHOD(Register)(DWORD flags, IUnknown* object, IMoniker* name, DWORD* cookie) PURE;
  // Unknown cookie → E_INVALIDARG.
  STDMETHOD(Revoke)(DWORD cookie) PURE;
  // S_OK when an object is registered under the name, else S_FALSE.
  STDMETHOD(IsRunning)(IMoniker* name) PURE;
  // The object registered under the name (one reference), or MK_E_UNAVAILABLE.
  STDMETHOD(GetObject)(IMoniker* name, IUnknown** object) PURE;
};

KCM_EXTERN_C_BEGIN
// The process's table (one reference); `reserved` must be 0.
KCM_PLATFORM_API HRESULT WINAPI GetRunningObjectTable(DWORD reserved, IRunningObjectTable** table);
// A moniker named `delimiter` + `item`.
KCM_PLATFORM_API HRESULT WINAPI CreateItemMoniker(LPCOLESTR delimiter, LPCOLESTR item, IMoniker** moniker);
KCM_EXTERN_C_END
