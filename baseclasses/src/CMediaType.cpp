#include "CMediaType.h"

#include <string.h>

#include <algorithm>

namespace {

bool sameFormatBlock(const AM_MEDIA_TYPE& a, const AM_MEDIA_TYPE& b) {
  if (a.cbFormat != b.cbFormat) return false;
  if (a.cbFormat == 0) return true;
  return a.pbFormat != nullptr && b.pbFormat != nullptr && memcmp(a.pbFormat, b.pbFormat, a.cbFormat) == 0;
}

}  // namespace

CMediaType::CMediaType() { InitMediaType(); }

CMediaType::CMediaType(const GUID* majorType) {
  InitMediaType();
  majortype = *majorType;
}

CMediaType::CMediaType(const AM_MEDIA_TYPE& type, HRESULT* result) {
  const HRESULT hr = CopyMediaType(this, &type);
  if (FAILED(hr) && result != nullptr) *result = hr;
}

CMediaType::CMediaType(const CMediaType& type, HRESULT* result)
    : CMediaType(static_cast<const AM_MEDIA_TYPE&>(type), result) {}

CMediaType::~CMediaType() { FreeMediaType(*this); }

CMediaType& CMediaType::operator=(const CMediaType& type) {
  Set(type);
  return *this;
}

CMediaType& CMediaType::operator=(const AM_MEDIA_TYPE& type) {
  Set(type);
  return *this;
}

bool CMediaType::operator==(const CMediaType& type) const {
  return majortype == type.majortype && subtype == type.subtype && formattype == type.formattype &&
         sameFormatBlock(*this, type);
}

HRESULT CMediaType::Set(const CMediaType& type) { return Set(static_cast<const AM_MEDIA_TYPE&>(type)); }

HRESULT CMediaType::Set(const AM_MEDIA_TYPE& type) {
  if (&type == this) return S_OK;
  FreeMediaType(*this);
  return CopyMediaType(this, &type);
}

BOOL CMediaType::IsValid() const { return majortype != GUID_NULL; }

ULONG CMediaType::GetSampleSize() const { return IsFixedSize() ? lSampleSize : 0; }

void CMediaType::SetSampleSize(ULONG size) {
  if (size == 0) {
    SetVariableSize();
    return;
  }
  bFixedSizeSamples = TRUE;
  lSampleSize = size;
}

BOOL CMediaType::SetFormat(const BYTE* format, ULONG length) {
  if (length == 0) {
    ResetFormatBuffer();
    return TRUE;
  }
  if (format == nullptr || AllocFormatBuffer(length) == nullptr) return FALSE;
  memcpy(pbFormat, format, length);
  return TRUE;
}

void CMediaType::ResetFormatBuffer() {
  if (cbFormat != 0) CoTaskMemFree(pbFormat);
  cbFormat = 0;
  pbFormat = nullptr;
}

BYTE* CMediaType::AllocFormatBuffer(ULONG length) { return ResizeFormatBuffer(length, false); }

BYTE* CMediaType::ReallocFormatBuffer(ULONG length) { return ResizeFormatBuffer(length, true); }

BYTE* CMediaType::ResizeFormatBuffer(ULONG length, bool keepContents) {
  if (length == 0) {
    ResetFormatBuffer();
    return nullptr;
  }
  if (cbFormat == length) return pbFormat;
  auto* format = static_cast<BYTE*>(CoTaskMemAlloc(length));
  if (format == nullptr) return length <= cbFormat ? pbFormat : nullptr;  // a larger old block still serves
  if (keepContents && cbFormat != 0) memcpy(format, pbFormat, std::min(length, cbFormat));
  ResetFormatBuffer();
  cbFormat = length;
  pbFormat = format;
  return pbFormat;
}

void CMediaType::InitMediaType() {
  memset(static_cast<AM_MEDIA_TYPE*>(this), 0, sizeof(AM_MEDIA_TYPE));
  lSampleSize = 1;
  bFixedSizeSamples = TRUE;
}

BOOL CMediaType::MatchesPartial(const CMediaType* partial) const {
  return MatchesPartial(static_cast<const AM_MEDIA_TYPE*>(partial));
}

BOOL CMediaType::MatchesPartial(const AM_MEDIA_TYPE* partial) const {
  if (partial->majortype != GUID_NULL && majortype != partial->majortype) return FALSE;
  if (partial->subtype != GUID_NULL && subtype != partial->subtype) return FALSE;
  if (partial->formattype == GUID_NULL) return TRUE;
  return formattype == partial->formattype && sameFormatBlock(*this, *partial);
}

BOOL CMediaType::IsPartiallySpecified() const { return majortype == GUID_NULL || formattype == GUID_NULL; }

extern "C" void WINAPI FreeMediaType(AM_MEDIA_TYPE& type) {
  if (type.cbFormat != 0) CoTaskMemFree(type.pbFormat);
  type.cbFormat = 0;
  type.pbFormat = nullptr;
  if (type.pUnk != nullptr) {
    type.pUnk->Release();
    type.pUnk = nullptr;
  }
}

extern "C" void WINAPI DeleteMediaType(AM_MEDIA_TYPE* type) {
  if (type == nullptr) return;
  FreeMediaType(*type);
  CoTaskMemFree(type);
}

extern "C" AM_MEDIA_TYPE* WINAPI CreateMediaType(const AM_MEDIA_TYPE* source) {
  if (source == nullptr) return nullptr;
  auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
  if (type == nullptr) return nullptr;
  if (FAILED(CopyMediaType(type, source))) {
    FreeMediaType(*type);
    CoTaskMemFree(type);
    return nullptr;
  }
  return type;
}

extern "C" HRESULT WINAPI CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source) {
  CheckPointer(target, E_POINTER);
  CheckPointer(source, E_POINTER);
  *target = *source;
  HRESULT hr = S_OK;
  if (source->cbFormat != 0) {
    target->pbFormat = source->pbFormat != nullptr ? static_cast<BYTE*>(CoTaskMemAlloc(source->cbFormat)) : nullptr;
    if (target->pbFormat != nullptr) {
      memcpy(target->pbFormat, source->pbFormat, source->cbFormat);
    } else {
      target->cbFormat = 0;
      hr = source->pbFormat == nullptr ? E_POINTER : E_OUTOFMEMORY;
    }
  }
  if (target->pUnk != nullptr) target->pUnk->AddRef();
  return hr;
}
