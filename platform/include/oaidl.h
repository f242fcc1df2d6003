// Automation types: BSTR, VARIANT, SAFEARRAY, IDispatch and the error-information
// interfaces, as far as the DirectShow control interfaces and the ADO stand-in use them.
#pragma once

#include "combaseapi.h"
#include "unknwn.h"
#include "wtypes.h"

// A length-prefixed string: the 32-bit byte count of the characters (without the
// terminator) sits just before the first character, and a zero character follows the
// last. OLECHAR is wchar_t here, so the byte count is four times the character count.
typedef OLECHAR* BSTR;
typedef BSTR* LPBSTR;

typedef LONG DISPID;
typedef DWORD LCID;

struct ITypeInfo;
struct IDispatch;

typedef struct tagSAFEARRAYBOUND {
  ULONG cElements;
  LONG lLbound;
} SAFEARRAYBOUND;

// Only one-dimensional arrays of plain values (numbers, bytes) are made here.
typedef struct tagSAFEARRAY {
  USHORT cDims;
  USHORT fFeatures;
  ULONG cbElements;
  ULONG cLocks;  // SafeArrayAccessData calls not yet matched; a locked array is not destroyed
  PVOID pvData;
  SAFEARRAYBOUND rgsabound[1];
} SAFEARRAY;
typedef SAFEARRAY* LPSAFEARRAY;

// A tagged value. The owner of a VARIANT frees what it holds with VariantClear (BSTR,
// SAFEARRAY, one reference of an interface); VT_BYREF values are not owned.
typedef struct tagVARIANT {
  union {
    struct {
      VARTYPE vt;
      WORD wReserved1;
      WORD wReserved2;
      WORD wReserved3;
      union {
        LONGLONG llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        FLOAT fltVal;
        double dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        CY cyVal;
        DATE date;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        SAFEARRAY* parray;
        BYTE* pbVal;
        struct tagVARIANT* pvarVal;
        DECIMAL* pdecVal;
        PVOID byref;
        CHAR cVal;
        USHORT uiVal;
        ULONG ulVal;
        ULONGLONG ullVal;
        INT intVal;
        UINT uintVal;
        struct {
          PVOID pvRecord;
          PVOID pRecInfo;
        } brecVal;
      };
    };
    DECIMAL decVal;  // overlays the whole VARIANT; vt sits in its wReserved
  };
} VARIANT;
typedef VARIANT VARIANTARG;
typedef VARIANT* LPVARIANT;

static_assert(sizeof(VARIANT) == 8 + 2 * sizeof(void*), "VARIANT is 16 bytes on 32-bit, 24 on 64-bit");
static_assert(offsetof(VARIANT, llVal) == 8, "the value union starts at offset 8");

typedef struct tagDISPPARAMS {
  VARIANTARG* rgvarg;
  DISPID* rgdispidNamedArgs;
  UINT cArgs;
  UINT cNamedArgs;
} DISPPARAMS;

typedef struct tagEXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  PVOID pvReserved;
  HRESULT(STDMETHODCALLTYPE* pfnDeferredFillIn)(struct tagEXCEPINFO*);
  SCODE scode;
} EXCEPINFO;

DEFINE_GUID(IID_IDispatch, 0x00020400, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);

struct IDispatch : public IUnknown {
  STDMETHOD(GetTypeInfoCount)(UINT* count) PURE;
  STDMETHOD(GetTypeInfo)(UINT index, LCID locale, ITypeInfo** typeInfo) PURE;
  STDMETHOD(GetIDsOfNames)(REFIID iid, LPOLESTR* names, UINT nameCount, LCID locale, DISPID* ids) PURE;
  STDMETHOD(Invoke)(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                    EXCEPINFO* exception, UINT* argumentError) PURE;
};
typedef IDispatch* LPDISPATCH;

// Error information of the last failed call on a thread (SetErrorInfo/GetErrorInfo).
// The interface identifiers of these two interfaces are not part of this layer: the
// objects are handed over as the interfaces themselves and answer only IID_IUnknown.
struct IErrorInfo : public IUnknown {
  STDMETHOD(GetGUID)(GUID* guid) PURE;
  STDMETHOD(GetSource)(BSTR* source) PURE;
  STDMETHOD(GetDescription)(BSTR* description) PURE;
  STDMETHOD(GetHelpFile)(BSTR* helpFile) PURE;
  STDMETHOD(GetHelpContext)(DWORD* helpContext) PURE;
};

struct ICreateErrorInfo : public IUnknown {
  STDMETHOD(SetGUID)(REFGUID guid) PURE;
  STDMETHOD(SetSource)(LPOLESTR source) PURE;
  STDMETHOD(SetDescription)(LPOLESTR description) PURE;
  STDMETHOD(SetHelpFile)(LPOLESTR helpFile) PURE;
  STDMETHOD(SetHelpContext)(DWORD helpContext) PURE;
};
