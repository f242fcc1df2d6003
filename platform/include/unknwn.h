// IUnknown, IClassFactory and IPersist, and the declaration macros of COM interfaces.
//
// Interfaces are abstract C++ classes whose virtual functions sit in the SDK's slot
// order; that order is the binary contract between modules. Reference counts follow the
// COM rules: every interface pointer handed out carries one reference, which its
// receiver gives back with Release.
#pragma once

#include "guiddef.h"
#include "winerror.h"

#ifndef __cplusplus
#error "The COM interface headers of this platform layer are C++ only."
#endif

#define STDMETHODVCALLTYPE
#define STDAPICALLTYPE
#define STDMETHOD(method) virtual HRESULT STDMETHODCALLTYPE method
#define STDMETHOD_(type, method) virtual type STDMETHODCALLTYPE method
#define STDMETHODIMP HRESULT STDMETHODCALLTYPE
#define STDMETHODIMP_(type) type STDMETHODCALLTYPE
#define STDAPI extern "C" HRESULT STDAPICALLTYPE
#define STDAPI_(type) extern "C" type STDAPICALLTYPE
#define PURE = 0
#define THIS_
#define THIS void
#define DECLARE_INTERFACE(iface) struct iface
#define DECLARE_INTERFACE_(iface, base) struct iface : public base
// The SDK attaches the interface identifier to the type; here the IID_ constants carry it.
#define MIDL_INTERFACE(uuid) struct

DEFINE_GUID(IID_IUnknown, 0x00000000, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
DEFINE_GUID(IID_IClassFactory, 0x00000001, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
DEFINE_GUID(IID_IPersist, 0x0000010C, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);

struct IUnknown {
  // On success *object holds a new reference; on failure it is null (E_NOINTERFACE).
  STDMETHOD(QueryInterface)(REFIID iid, void** object) PURE;
  STDMETHOD_(ULONG, AddRef)() PURE;
  STDMETHOD_(ULONG, Release)() PURE;
};
typedef IUnknown* LPUNKNOWN;

struct IClassFactory : public IUnknown {
  // A non-null `outer` asks for an aggregated object; then `iid` must be IID_IUnknown,
  // and a class that cannot be aggregated answers CLASS_E_NOAGGREGATION.
  STDMETHOD(CreateInstance)(IUnknown* outer, REFIID iid, void** object) PURE;
  STDMETHOD(LockServer)(BOOL lock) PURE;
};
typedef IClassFactory* LPCLASSFACTORY;

struct IPersist : public IUnknown {
  STDMETHOD(GetClassID)(CLSID* classId) PURE;
};
