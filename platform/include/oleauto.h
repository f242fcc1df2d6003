// BSTR allocation. Strings come from one allocator shared by every module, so any module
// may free a BSTR another one allocated.
#pragma once

#include "oaidl.h"

KCM_EXTERN_C_BEGIN
// A copy of the zero-terminated `text`; null text → null.
KCM_PLATFORM_API BSTR WINAPI SysAllocString(const OLECHAR* text);
// `length` characters copied from `text`, or zeroed when `text` is null, plus the
// terminator. Null when out of memory.
KCM_PLATFORM_API BSTR WINAPI SysAllocStringLen(const OLECHAR* text, UINT length);
// Null does nothing.
KCM_PLATFORM_API void WINAPI SysFreeString(BSTR text);
// Characters (SysStringLen) or bytes (SysStringByteLen) before the terminator; 0 for null.
KCM_PLATFORM_API UINT WINAPI SysStringLen(BSTR text);
KCM_PLATFORM_API UINT WINAPI SysStringByteLen(BSTR text);
KCM_EXTERN_C_END

// VARIANT handling. VariantClear frees what the VARIANT holds and leaves VT_EMPTY;
// VariantCopy clears `target` and makes a deep copy of `source` (BSTR and SAFEARRAY
// copied, interfaces given one more reference; VT_BYREF copied as the pointer).
// Unknown tags answer DISP_E_BADVARTYPE and leave the VARIANT as it was.
#define VARIANT_NOVALUEPROP 0x01
#define VARIANT_ALPHABOOL 0x02  // VT_BOOL becomes "True"/"False" rather than "-1"/"0"

KCM_EXTERN_C_BEGIN
KCM_PLATFORM_API void WINAPI VariantInit(VARIANTARG* value);
KCM_PLATFORM_API HRESULT WINAPI VariantClear(VARIANTARG* value);
KCM_PLATFORM_API HRESULT WINAPI VariantCopy(VARIANTARG* target, const VARIANTARG* source);
// Converts between VT_EMPTY, VT_I1..VT_UI8, VT_INT, VT_UINT, VT_R4, VT_R8, VT_CY, VT_DATE,
// VT_BOOL, VT_DECIMAL and VT_BSTR (a VT_BYREF source is read through its pointer).
// Numbers are rounded half to even; out of range → DISP_E_OVERFLOW; VT_NULL and text
// that is no number → DISP_E_TYPEMISMATCH; other tags → DISP_E_BADVARTYPE. On failure
// `target` is left untouched. `target` may be `source`. Texts use the C locale: a point
// as decimal separator, dates as "YYYY-MM-DD HH:MM:SS" (the date or the time alone when
// the other part is zero); numbers become text with up to 15 significant digits.
KCM_PLATFORM_API HRESULT WINAPI VariantChangeType(VARIANTARG* target, const VARIANTARG* source, USHORT flags,
                                                  VARTYPE type);
KCM_PLATFORM_API HRESULT WINAPI VariantChangeTypeEx(VARIANTARG* target, const VARIANTARG* source, LCID locale,
                                                    USHORT flags, VARTYPE type);

// One-dimensional arrays of plain values (VT_I1..VT_UI8, VT_INT, VT_UINT, VT_R4, VT_R8,
// VT_CY, VT_DATE, VT_BOOL, VT_DECIMAL); other element types answer null / E_INVALIDARG.
KCM_PLATFORM_API SAFEARRAY* WINAPI SafeArrayCreateVector(VARTYPE type, LONG lowerBound, ULONG elements);
KCM_PLATFORM_API SAFEARRAY* WINAPI SafeArrayCreate(VARTYPE type, UINT dimensions, SAFEARRAYBOUND* bounds);
// A locked array (SafeArrayAccessData not yet matched) is not destroyed: E_UNEXPECTED.
KCM_PLATFORM_API HRESULT WINAPI SafeArrayDestroy(SAFEARRAY* array);
KCM_PLATFORM_API HRESULT WINAPI SafeArrayCopy(SAFEARRAY* source, SAFEARRAY** copy);
KCM_PLATFORM_API HRESULT WINAPI SafeArrayAccessData(SAFEARRAY* array, void** data);
KCM_PLATFORM_API HRESULT WINAPI SafeArrayUnaccessData(SAFEARRAY* array);
KCM_PLATFORM_API HRESULT WINAPI SafeArrayGetLBound(SAFEARRAY* array, UINT dimension, LONG* bound);
KCM_PLATFORM_API HRESULT WINAPI SafeArrayGetUBound(SAFEARRAY* array, UINT dimension, LONG* bound);
KCM_PLATFORM_API UINT WINAPI SafeArrayGetDim(SAFEARRAY* array);
KCM_PLATFORM_API UINT WINAPI SafeArrayGetElemsize(SAFEARRAY* array);

// The error information of the calling thread. SetErrorInfo replaces it (null clears
// it); GetErrorInfo hands it over and clears it: S_OK, or S_FALSE and null when none is
// set. `reserved` must be 0.
KCM_PLATFORM_API HRESULT WINAPI SetErrorInfo(ULONG reserved, IErrorInfo* info);
KCM_PLATFORM_API HRESULT WINAPI GetErrorInfo(ULONG reserved, IErrorInfo** info);
// A new error-information object, empty; it also answers IErrorInfo through
// KcmErrorInfoOf, since interface identifiers of these interfaces are not available.
KCM_PLATFORM_API HRESULT WINAPI CreateErrorInfo(ICreateErrorInfo** info);
KCM_EXTERN_C_END

#ifdef __cplusplus
// The IErrorInfo side of an object made by CreateErrorInfo, with one more reference;
// null for other objects.
KCM_PLATFORM_API IErrorInfo* KcmErrorInfoOf(ICreateErrorInfo* info);
#endif
