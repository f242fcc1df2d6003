// Property bags (the named values of a device moniker) and the property pages an
// object offers.
#pragma once

#include "oaidl.h"
#include "objidl.h"

DEFINE_GUID(IID_IPropertyBag, 0x55272A00, 0x42CB, 0x11CE, 0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51);
DEFINE_GUID(IID_IErrorLog, 0x3127CA40, 0x446E, 0x11CE, 0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51);
DEFINE_GUID(IID_ISpecifyPropertyPages, 0xB196B28B, 0xBAB4, 0x101A, 0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07);

struct IErrorLog : public IUnknown {
  STDMETHOD(AddError)(LPCOLESTR propertyName, EXCEPINFO* exception) PURE;
};

// Read fills `value` (the caller clears it with VariantClear); a name the bag does not
// hold answers E_INVALIDARG. When value->vt is not VT_EMPTY the bag converts to that type.
struct IPropertyBag : public IUnknown {
  STDMETHOD(Read)(LPCOLESTR propertyName, VARIANT* value, IErrorLog* errorLog) PURE;
  STDMETHOD(Write)(LPCOLESTR propertyName, VARIANT* value) PURE;
};

// A counted array of GUIDs; pElems is CoTaskMemAlloc'ed and the receiver frees it.
typedef struct tagCAUUID {
  ULONG cElems;
  GUID* pElems;
} CAUUID;
static_assert(sizeof(CAUUID) == 16 && offsetof(CAUUID, pElems) == 8, "CAUUID as on 64-bit Windows");

// The class ids of the property pages an object offers.
struct ISpecifyPropertyPages : public IUnknown {
  STDMETHOD(GetPages)(CAUUID* pages) PURE;
};
