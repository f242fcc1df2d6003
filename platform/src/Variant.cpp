// VARIANT life cycle: init, clear, deep copy.
#include "oleauto.h"

namespace {

bool IsPlainTag(VARTYPE type) {
  switch (type) {
    case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY: case VT_DATE:
    case VT_ERROR: case VT_BOOL: case VT_DECIMAL: case VT_I1: case VT_UI1: case VT_UI2: case VT_UI4: case VT_I8:
    case VT_UI8: case VT_INT: case VT_UINT:
      return true;
    default:
      return false;
  }
}

bool IsKnownTag(VARTYPE type) {
  if ((type & VT_BYREF) != 0) return true;
  if ((type & VT_ARRAY) != 0) return IsPlainTag(type & VT_TYPEMASK);
  return IsPlainTag(type) || type == VT_BSTR || type == VT_UNKNOWN || type == VT_DISPATCH;
}

}  // namespace

void WINAPI VariantInit(VARIANTARG* value) {
  if (value == nullptr) return;
  value->vt = VT_EMPTY;
  value->wReserved1 = value->wReserved2 = value->wReserved3 = 0;
}

HRESULT WINAPI VariantClear(VARIANTARG* value) {
  if (value == nullptr) return E_INVALIDARG;
  if (!IsKnownTag(value->vt)) return DISP_E_BADVARTYPE;
  if ((value->vt & VT_BYREF) == 0) {
    if ((value->vt & VT_ARRAY) != 0) {
      const HRESULT result = SafeArrayDestroy(value->parray);
      if (FAILED(result)) return result;
    } else if (value->vt == VT_BSTR) {
      SysFreeString(value->bstrVal);
    } else if ((value->vt == VT_UNKNOWN || value->vt == VT_DISPATCH) && value->punkVal != nullptr) {
      value->punkVal->Release();
    }
  }
  VariantInit(value);
  return S_OK;
}

HRESULT WINAPI VariantCopy(VARIANTARG* target, const VARIANTARG* source) {
  if (target == nullptr || source == nullptr) return E_INVALIDARG;
  if (!IsKnownTag(source->vt)) return DISP_E_BADVARTYPE;
  if (target == source) return S_OK;
  VARIANT copy = *source;
  if ((source->vt & VT_BYREF) == 0) {
    if ((source->vt & VT_ARRAY) != 0) {
      const HRESULT result = SafeArrayCopy(source->parray, &copy.parray);
      if (FAILED(result)) return result;
    } else if (source->vt == VT_BSTR && source->bstrVal != nullptr) {
      copy.bstrVal = SysAllocStringLen(source->bstrVal, SysStringLen(source->bstrVal));
      if (copy.bstrVal == nullptr) return E_OUTOFMEMORY;
    } else if ((source->vt == VT_UNKNOWN || source->vt == VT_DISPATCH) && source->punkVal != nullptr) {
      source->punkVal->AddRef();
    }
  }
  const HRESULT cleared = VariantClear(target);
  if (FAILED(cleared)) {
    VariantClear(&copy);
    return cleared;
  }
  *target = copy;
  return S_OK;
}
