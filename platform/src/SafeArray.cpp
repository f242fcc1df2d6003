// One-dimensional SAFEARRAYs of plain values: one block holding the descriptor and the data.
#include <stdlib.h>
#include <string.h>

#include "oleauto.h"

namespace {

constexpr USHORT kFeatureStatic = 0x0002;  // the data lives in the descriptor's block

ULONG ElementSize(VARTYPE type) {
  switch (type) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_R4: case VT_ERROR: return 4;
    case VT_I8: case VT_UI8: case VT_R8: case VT_CY: case VT_DATE: return 8;
    case VT_DECIMAL: return sizeof(DECIMAL);
    default: return 0;
  }
}

SAFEARRAY* Allocate(ULONG elementSize, SAFEARRAYBOUND bound) {
  const size_t header = (sizeof(SAFEARRAY) + 15) & ~size_t(15);
  const size_t bytes = static_cast<size_t>(bound.cElements) * elementSize;
  SAFEARRAY* array = static_cast<SAFEARRAY*>(calloc(1, header + bytes));
  if (array == nullptr) return nullptr;
  array->cDims = 1;
  array->fFeatures = kFeatureStatic;
  array->cbElements = elementSize;
  array->pvData = reinterpret_cast<BYTE*>(array) + header;
  array->rgsabound[0] = bound;
  return array;
}

HRESULT CheckDimension(SAFEARRAY* array, UINT dimension, const void* out) {
  if (array == nullptr || out == nullptr) return E_INVALIDARG;
  return dimension == 1 ? S_OK : E_INVALIDARG;
}

}  // namespace

SAFEARRAY* WINAPI SafeArrayCreate(VARTYPE type, UINT dimensions, SAFEARRAYBOUND* bounds) {
  const ULONG size = ElementSize(type);
  if (size == 0 || dimensions != 1 || bounds == nullptr) return nullptr;
  return Allocate(size, bounds[0]);
}

SAFEARRAY* WINAPI SafeArrayCreateVector(VARTYPE type, LONG lowerBound, ULONG elements) {
  SAFEARRAYBOUND bound = {elements, lowerBound};
  return SafeArrayCreate(type, 1, &bound);
}

HRESULT WINAPI SafeArrayDestroy(SAFEARRAY* array) {
  if (array == nullptr) return S_OK;
  if (array->cLocks != 0) return E_UNEXPECTED;
  free(array);
  return S_OK;
}

HRESULT WINAPI SafeArrayCopy(SAFEARRAY* source, SAFEARRAY** copy) {
  if (copy == nullptr) return E_INVALIDARG;
  *copy = nullptr;
  if (source == nullptr) return S_OK;
  SAFEARRAY* target = Allocate(source->cbElements, source->rgsabound[0]);
  if (target == nullptr) return E_OUTOFMEMORY;
  memcpy(target->pvData, source->pvData, static_cast<size_t>(source->rgsabound[0].cElements) * source->cbElements);
  *copy = target;
  return S_OK;
}

HRESULT WINAPI SafeArrayAccessData(SAFEARRAY* array, void** data) {
  if (array == nullptr || data == nullptr) return E_INVALIDARG;
  ++array->cLocks;
  *data = array->pvData;
  return S_OK;
}

HRESULT WINAPI SafeArrayUnaccessData(SAFEARRAY* array) {
  if (array == nullptr) return E_INVALIDARG;
  if (array->cLocks == 0) return E_UNEXPECTED;
  --array->cLocks;
  return S_OK;
}

HRESULT WINAPI SafeArrayGetLBound(SAFEARRAY* array, UINT dimension, LONG* bound) {
  const HRESULT checked = CheckDimension(array, dimension, bound);
  if (SUCCEEDED(checked)) *bound = array->rgsabound[0].lLbound;
  return checked;
}

HRESULT WINAPI SafeArrayGetUBound(SAFEARRAY* array, UINT dimension, LONG* bound) {
  const HRESULT checked = CheckDimension(array, dimension, bound);
  if (SUCCEEDED(checked)) *bound = array->rgsabound[0].lLbound + static_cast<LONG>(array->rgsabound[0].cElements) - 1;
  return checked;
}

UINT WINAPI SafeArrayGetDim(SAFEARRAY* array) { return array == nullptr ? 0 : array->cDims; }

UINT WINAPI SafeArrayGetElemsize(SAFEARRAY* array) { return array == nullptr ? 0 : array->cbElements; }
