// The running object table, monikers and moniker enumerators: enough for a process to
// publish objects under a name (a filter graph for a graph viewer, for instance) and for
// the system device enumerator to hand out devices that bind to filters.
//
// IMoniker keeps the SDK's slot order (IPersist, IPersistStream, then IMoniker's own);
// the platform's monikers implement the display name, equality and binding, and answer
// E_NOTIMPL for persistence and composition.
#pragma once

#include "combaseapi.h"
#include "unknwn.h"
#include "winnt.h"
#include "KestroDataTransfer.h"  // streams, data objects

struct IBindCtx;
struct IEnumMoniker;
struct IStream;

DEFINE_GUID(IID_IMoniker, 0x0000000F, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
DEFINE_GUID(IID_IRunningObjectTable, 0x00000010, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
DEFINE_GUID(IID_IEnumMoniker, 0x00000102, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
DEFINE_GUID(IID_IBindCtx, 0x0000000E, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);

#define ROTFLAGS_REGISTRATIONKEEPSALIVE 0x1
#define ROTFLAGS_ALLOWANYCLIENT 0x2

struct IPersistStream : public IPersist {
  STDMETHOD(IsDirty)() PURE;
  STDMETHOD(Load)(IStream* stream) PURE;
  STDMETHOD(Save)(IStream* stream, BOOL clearDirty) PURE;
  STDMETHOD(GetSizeMax)(ULARGE_INTEGER* size) PURE;
};

struct IMoniker : public IPersistStream {
  // The object the moniker names, as `iid` (one reference). Device monikers create
  // their filter here; the context and left moniker may be null.
  STDMETHOD(BindToObject)(IBindCtx* context, IMoniker* left, REFIID iid, void** object) PURE;
  // The object's storage, as `iid`: a device moniker's IPropertyBag.
  STDMETHOD(BindToStorage)(IBindCtx* context, IMoniker* left, REFIID iid, void** object) PURE;
  STDMETHOD(Reduce)(IBindCtx* context, DWORD howFar, IMoniker** toLeft, IMoniker** reduced) PURE;
  STDMETHOD(ComposeWith)(IMoniker* right, BOOL onlyIfNotGeneric, IMoniker** composite) PURE;
  STDMETHOD(Enum)(BOOL forward, IEnumMoniker** enumerator) PURE;
  // S_OK when `other` has the same display name, else S_FALSE.
  STDMETHOD(IsEqual)(IMoniker* other) PURE;
  STDMETHOD(Hash)(DWORD* hash) PURE;
  STDMETHOD(IsRunning)(IBindCtx* context, IMoniker* left, IMoniker* newlyRunning) PURE;
  STDMETHOD(GetTimeOfLastChange)(IBindCtx* context, IMoniker* left, FILETIME* time) PURE;
  STDMETHOD(Inverse)(IMoniker** inverse) PURE;
  STDMETHOD(CommonPrefixWith)(IMoniker* other, IMoniker** prefix) PURE;
  STDMETHOD(RelativePathTo)(IMoniker* other, IMoniker** path) PURE;
  // A copy of the name in task memory (CoTaskMemFree it); context and left may be null.
  STDMETHOD(GetDisplayName)(IBindCtx* context, IMoniker* left, LPOLESTR* name) PURE;
  STDMETHOD(ParseDisplayName)(IBindCtx* context, IMoniker* left, LPOLESTR name, ULONG* eaten,
                              IMoniker** out) PURE;
  STDMETHOD(IsSystemMoniker)(DWORD* kind) PURE;
};

// Each moniker handed out carries one reference the caller releases.
struct IEnumMoniker : public IUnknown {
  STDMETHOD(Next)(ULONG count, IMoniker** monikers, ULONG* fetched) PURE;
  STDMETHOD(Skip)(ULONG count) PURE;
  STDMETHOD(Reset)() PURE;
  STDMETHOD(Clone)(IEnumMoniker** enumerator) PURE;
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
