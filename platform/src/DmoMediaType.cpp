#include <string.h>

#include "dmort.h"

HRESULT WINAPI MoInitMediaType(DMO_MEDIA_TYPE* type, DWORD formatSize) {
  if (type == nullptr) return E_POINTER;
  memset(type, 0, sizeof(*type));
  if (formatSize == 0) return S_OK;
  type->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(formatSize));
  if (type->pbFormat == nullptr) return E_OUTOFMEMORY;
  type->cbFormat = formatSize;
  return S_OK;
}

HRESULT WINAPI MoFreeMediaType(DMO_MEDIA_TYPE* type) {
  if (type == nullptr) return E_POINTER;
  CoTaskMemFree(type->pbFormat);
  type->pbFormat = nullptr;
  type->cbFormat = 0;
  if (type->pUnk != nullptr) type->pUnk->Release();
  type->pUnk = nullptr;
  return S_OK;
}

HRESULT WINAPI MoCopyMediaType(DMO_MEDIA_TYPE* destination, const DMO_MEDIA_TYPE* source) {
  if (destination == nullptr || source == nullptr) return E_POINTER;
  *destination = *source;
  destination->pbFormat = nullptr;
  destination->cbFormat = 0;
  if (source->cbFormat != 0 && source->pbFormat != nullptr) {
    destination->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(source->cbFormat));
    if (destination->pbFormat == nullptr) {
      destination->pUnk = nullptr;
      return E_OUTOFMEMORY;
    }
    memcpy(destination->pbFormat, source->pbFormat, source->cbFormat);
    destination->cbFormat = source->cbFormat;
  }
  if (destination->pUnk != nullptr) destination->pUnk->AddRef();
  return S_OK;
}

HRESULT WINAPI MoCreateMediaType(DMO_MEDIA_TYPE** type, DWORD formatSize) {
  if (type == nullptr) return E_POINTER;
  *type = static_cast<DMO_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(DMO_MEDIA_TYPE)));
  if (*type == nullptr) return E_OUTOFMEMORY;
  const HRESULT hr = MoInitMediaType(*type, formatSize);
  if (FAILED(hr)) {
    CoTaskMemFree(*type);
    *type = nullptr;
  }
  return hr;
}

HRESULT WINAPI MoDeleteMediaType(DMO_MEDIA_TYPE* type) {
  if (type == nullptr) return E_POINTER;
  MoFreeMediaType(type);
  CoTaskMemFree(type);
  return S_OK;
}

HRESULT WINAPI MoDuplicateMediaType(DMO_MEDIA_TYPE** destination, const DMO_MEDIA_TYPE* source) {
  if (destination == nullptr || source == nullptr) return E_POINTER;
  *destination = static_cast<DMO_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(DMO_MEDIA_TYPE)));
  if (*destination == nullptr) return E_OUTOFMEMORY;
  const HRESULT hr = MoCopyMediaType(*destination, source);
  if (FAILED(hr)) {
    CoTaskMemFree(*destination);
    *destination = nullptr;
  }
  return hr;
}
