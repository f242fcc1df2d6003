// Property stores: IPropertyStore with its PROPERTYKEY names and PROPVARIANT values.
// PROPVARIANT here carries the scalar types (VT_EMPTY, VT_I4, VT_UI4, VT_I8, VT_UI8,
// VT_R8, VT_BOOL ...), VT_LPWSTR and VT_BLOB (CoTaskMemAlloc'ed), VT_BSTR, VT_UNKNOWN and
// VT_DISPATCH; PropVariantClear frees what those hold. PropVariantCopy deep-copies
// strings only: a copied BSTR or BLOB would be freed twice, so it is refused.
#pragma once

#include <stddef.h>
#include <string.h>

#include "objbase.h"
#include "unknwn.h"
#include "winnt.h"
#include "wtypes.h"

typedef struct _tagpropertykey {
  GUID fmtid;
  DWORD pid;
} PROPERTYKEY;
typedef const PROPERTYKEY& REFPROPERTYKEY;
static_assert(sizeof(PROPERTYKEY) == 20, "PROPERTYKEY is a GUID and a 32-bit id");

inline bool operator==(const PROPERTYKEY& left, const PROPERTYKEY& right) {
  return left.fmtid == right.fmtid && left.pid == right.pid;
}

#define DEFINE_PROPERTYKEY(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8, pid) \
  inline constexpr PROPERTYKEY name = {{l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}, pid}

typedef struct tagBLOB {
  ULONG cbSize;
  BYTE* pBlobData;
} BLOB;

typedef struct tagPROPVARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    CHAR cVal;
    UCHAR bVal;
    SHORT iVal;
    USHORT uiVal;
    LONG lVal;
    ULONG ulVal;
    INT intVal;
    UINT uintVal;
    LARGE_INTEGER hVal;
    ULARGE_INTEGER uhVal;
    double dblVal;
    VARIANT_BOOL boolVal;
    SCODE scode;
    LPWSTR pwszVal;
  OLECHAR* bstrVal;  // BSTR
    IUnknown* punkVal;
    BLOB blob;
  };
} PROPVARIANT;
typedef const PROPVARIANT& REFPROPVARIANT;
static_assert(sizeof(PROPVARIANT) == 8 + 2 * sizeof(void*), "PROPVARIANT is 16 bytes on 32-bit, 24 on 64-bit");
static_assert(offsetof(PROPVARIANT, uhVal) == 8, "the value union starts at offset 8");

inline void PropVariantInit(PROPVARIANT* value) { memset(value, 0, sizeof(PROPVARIANT)); }

KCM_EXTERN_C_BEGIN
// Frees what the value holds and leaves it VT_EMPTY. Types it does not know are left
// alone: DISP_E_BADVARTYPE.
KCM_PLATFORM_API HRESULT WINAPI PropVariantClear(PROPVARIANT* value);
// `destination` (uninitialised) becomes a copy of `source`: strings duplicated, objects
// with one more reference.
KCM_PLATFORM_API HRESULT WINAPI PropVariantCopy(PROPVARIANT* destination, const PROPVARIANT* source);
KCM_EXTERN_C_END

DEFINE_GUID(IID_IPropertyStore, 0x886D8EEB, 0x8CF2, 0x4446, 0x8D, 0x02, 0xCD, 0xBA, 0x1D, 0xBD, 0xCF, 0x99);

struct IPropertyStore : public IUnknown {
  STDMETHOD(GetCount)(DWORD* count) PURE;
  STDMETHOD(GetAt)(DWORD index, PROPERTYKEY* key) PURE;
  // A copy the caller clears (PropVariantClear); VT_EMPTY for a key the store lacks.
  STDMETHOD(GetValue)(REFPROPERTYKEY key, PROPVARIANT* value) PURE;
  STDMETHOD(SetValue)(REFPROPERTYKEY key, REFPROPVARIANT value) PURE;
  STDMETHOD(Commit)() PURE;
};
