#include <wchar.h>

#include "oleauto.h"
#include "propsys.h"

HRESULT WINAPI PropVariantClear(PROPVARIANT* value) {
  if (value == nullptr) return E_POINTER;
  switch (value->vt) {
    case VT_EMPTY: case VT_NULL: case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4:
    case VT_INT: case VT_UINT: case VT_I8: case VT_UI8: case VT_R4: case VT_R8: case VT_BOOL: case VT_ERROR:
      break;
    case VT_LPWSTR:
      CoTaskMemFree(value->pwszVal);
      break;
    case VT_BSTR:
      SysFreeString(value->bstrVal);
      break;
    case VT_BLOB:
      CoTaskMemFree(value->blob.pBlobData);
      break;
    case VT_UNKNOWN: case VT_DISPATCH:
      if (value->punkVal != nullptr) value->punkVal->Release();
      break;
    default:
      return DISP_E_BADVARTYPE;
  }
  PropVariantInit(value);
  return S_OK;
}

HRESULT WINAPI PropVariantCopy(PROPVARIANT* destination, const PROPVARIANT* source) {
  if (destination == nullptr || source == nullptr) return E_POINTER;
  if (source->vt == VT_BSTR || source->vt == VT_BLOB) return DISP_E_BADVARTYPE;
  *destination = *source;
  if (source->vt == VT_LPWSTR && source->pwszVal != nullptr) {
    const size_t bytes = (wcslen(source->pwszVal) + 1) * sizeof(wchar_t);
    destination->pwszVal = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (destination->pwszVal == nullptr) {
      PropVariantInit(destination);
      return E_OUTOFMEMORY;
    }
    memcpy(destination->pwszVal, source->pwszVal, bytes);
  } else if (source->vt == VT_UNKNOWN && source->punkVal != nullptr) {
    source->punkVal->AddRef();
  }
  return S_OK;
}
