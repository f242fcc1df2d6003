#include "CMediaSample.h"

#include <string.h>

#include <algorithm>

#include "CBaseAllocator.h"
#include "CMediaType.h"
#include "interlockedapi.h"

namespace {

// Whether the leading `size` bytes of AM_SAMPLE2_PROPERTIES hold the field that ends at
// `fieldEnd`.
constexpr bool holds(DWORD size, size_t fieldEnd) { return fieldEnd <= size; }

#define KCM_FIELD_END(field) (offsetof(AM_SAMPLE2_PROPERTIES, field) + sizeof(AM_SAMPLE2_PROPERTIES::field))

}  // namespace

CMediaSample::CMediaSample(LPCTSTR /*name*/, CBaseAllocator* allocator, HRESULT* result, LPBYTE buffer,
                           LONG length)
    : m_dwFlags(0),
      m_dwTypeSpecificFlags(0),
      m_pBuffer(buffer),
      m_lActual(length),
      m_cbBuffer(length),
      m_pAllocator(allocator),
      m_pNext(nullptr),
      m_Start(0),
      m_End(0),
      m_MediaStart(0),
      m_MediaEnd(0),
      m_pMediaType(nullptr),
      m_dwStreamId(AM_STREAM_MEDIA),
      m_cRef(0) {
  if (length < 0 && result != nullptr) *result = VFW_E_BUFFER_OVERFLOW;
}

CMediaSample::~CMediaSample() { DeleteMediaType(m_pMediaType); }

STDMETHODIMP CMediaSample::QueryInterface(REFIID iid, void** object) {
  CheckPointer(object, E_POINTER);
  if (iid == IID_IMediaSample || iid == IID_IMediaSample2 || iid == IID_IUnknown) {
    *object = static_cast<IMediaSample2*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CMediaSample::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_cRef)); }

STDMETHODIMP_(ULONG) CMediaSample::Release() {
  LONG count;
  if (__atomic_load_n(&m_cRef, __ATOMIC_ACQUIRE) == 1) {
    // The only holder: nobody else can race us, so skip the locked instruction.
    __atomic_store_n(&m_cRef, 0, __ATOMIC_RELEASE);
    count = 0;
  } else {
    count = InterlockedDecrement(&m_cRef);
  }
  if (count == 0) {
    if ((m_dwFlags & Sample_TypeChanged) != 0) SetMediaType(nullptr);
    m_dwFlags = 0;
    m_dwTypeSpecificFlags = 0;
    m_dwStreamId = AM_STREAM_MEDIA;
    m_pAllocator->ReleaseBuffer(this);  // may delete the allocator and this sample
  }
  return static_cast<ULONG>(count);
}

HRESULT CMediaSample::SetPointer(BYTE* buffer, LONG length) {
  if (length < 0) return VFW_E_BUFFER_OVERFLOW;
  m_pBuffer = buffer;
  m_cbBuffer = length;
  m_lActual = length;
  return S_OK;
}

STDMETHODIMP CMediaSample::GetPointer(BYTE** buffer) {
  CheckPointer(buffer, E_POINTER);
  *buffer = m_pBuffer;
  return S_OK;
}

STDMETHODIMP_(long) CMediaSample::GetSize() { return m_cbBuffer; }

STDMETHODIMP CMediaSample::GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) {
  CheckPointer(start, E_POINTER);
  CheckPointer(end, E_POINTER);
  if ((m_dwFlags & Sample_TimeValid) == 0) return VFW_E_SAMPLE_TIME_NOT_SET;
  *start = m_Start;
  if ((m_dwFlags & Sample_StopValid) == 0) {
    *end = m_Start + 1;
    return VFW_S_NO_STOP_TIME;
  }
  *end = m_End;
  return S_OK;
}

STDMETHODIMP CMediaSample::SetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) {
  if (start == nullptr) {
    m_dwFlags &= ~(Sample_TimeValid | Sample_StopValid);
    return S_OK;
  }
  m_Start = *start;
  m_dwFlags |= Sample_TimeValid;
  if (end == nullptr) {
    m_dwFlags &= ~Sample_StopValid;
  } else {
    m_End = *end;
    m_dwFlags |= Sample_StopValid;
  }
  return S_OK;
}

void CMediaSample::SetFlag(DWORD flag, BOOL on) {
  if (on) {
    m_dwFlags |= flag;
  } else {
    m_dwFlags &= ~flag;
  }
}

STDMETHODIMP CMediaSample::IsSyncPoint() { return FlagResult(Sample_SyncPoint); }

STDMETHODIMP CMediaSample::SetSyncPoint(BOOL syncPoint) {
  SetFlag(Sample_SyncPoint, syncPoint);
  return S_OK;
}

STDMETHODIMP CMediaSample::IsPreroll() { return FlagResult(Sample_Preroll); }

STDMETHODIMP CMediaSample::SetPreroll(BOOL preroll) {
  SetFlag(Sample_Preroll, preroll);
  return S_OK;
}

STDMETHODIMP CMediaSample::IsDiscontinuity() { return FlagResult(Sample_Discontinuity); }

STDMETHODIMP CMediaSample::SetDiscontinuity(BOOL discontinuity) {
  SetFlag(Sample_Discontinuity, discontinuity);
  return S_OK;
}

STDMETHODIMP_(long) CMediaSample::GetActualDataLength() { return m_lActual; }

STDMETHODIMP CMediaSample::SetActualDataLength(long length) {
  if (length < 0 || length > m_cbBuffer) return VFW_E_BUFFER_OVERFLOW;
  m_lActual = static_cast<LONG>(length);
  return S_OK;
}

STDMETHODIMP CMediaSample::GetMediaType(AM_MEDIA_TYPE** type) {
  CheckPointer(type, E_POINTER);
  if ((m_dwFlags & Sample_TypeChanged) == 0) {
    *type = nullptr;
    return S_FALSE;
  }
  *type = CreateMediaType(m_pMediaType);
  return *type != nullptr ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CMediaSample::SetMediaType(AM_MEDIA_TYPE* type) {
  DeleteMediaType(m_pMediaType);
  m_pMediaType = nullptr;
  m_dwFlags &= ~Sample_TypeChanged;
  if (type == nullptr) return S_OK;
  m_pMediaType = CreateMediaType(type);
  if (m_pMediaType == nullptr) return E_OUTOFMEMORY;
  m_dwFlags |= Sample_TypeChanged;
  return S_OK;
}

STDMETHODIMP CMediaSample::GetMediaTime(LONGLONG* start, LONGLONG* end) {
  CheckPointer(start, E_POINTER);
  CheckPointer(end, E_POINTER);
  if ((m_dwFlags & Sample_MediaTimeValid) == 0) return VFW_E_MEDIA_TIME_NOT_SET;
  *start = m_MediaStart;
  *end = m_MediaStart + m_MediaEnd;
  return S_OK;
}

STDMETHODIMP CMediaSample::SetMediaTime(LONGLONG* start, LONGLONG* end) {
  if (start == nullptr) {
    m_dwFlags &= ~Sample_MediaTimeValid;
    return S_OK;
  }
  CheckPointer(end, E_POINTER);
  m_MediaStart = *start;
  m_MediaEnd = static_cast<LONG>(*end - *start);
  m_dwFlags |= Sample_MediaTimeValid;
  return S_OK;
}

STDMETHODIMP CMediaSample::GetProperties(DWORD size, BYTE* properties) {
  if (size == 0) return S_OK;
  CheckPointer(properties, E_POINTER);
  AM_SAMPLE2_PROPERTIES record;
  record.cbData = std::min<DWORD>(size, sizeof(record));
  record.dwTypeSpecificFlags = m_dwTypeSpecificFlags;
  record.dwSampleFlags = m_dwFlags & ~Sample_MediaTimeValid;
  record.lActual = m_lActual;
  record.tStart = m_Start;
  record.tStop = m_End;
  record.dwStreamId = m_dwStreamId;
  record.pMediaType = (m_dwFlags & Sample_TypeChanged) != 0 ? m_pMediaType : nullptr;
  record.pbBuffer = m_pBuffer;
  record.cbBuffer = m_cbBuffer;
  memcpy(properties, &record, record.cbData);
  return S_OK;
}

HRESULT CMediaSample::CheckProperties(const AM_SAMPLE2_PROPERTIES& properties, DWORD size) const {
  if (size > sizeof(properties) || properties.cbData > sizeof(properties)) return E_INVALIDARG;
  if (holds(size, KCM_FIELD_END(dwSampleFlags))) {
    if ((properties.dwSampleFlags & (~Sample_ValidFlags | Sample_MediaTimeValid)) != 0) return E_INVALIDARG;
    // A start time can't become valid without being given.
    if ((properties.dwSampleFlags & Sample_TimeValid) != 0 && (m_dwFlags & Sample_TimeValid) == 0 &&
        !holds(size, KCM_FIELD_END(tStop))) {
      return E_INVALIDARG;
    }
  }
  if (holds(size, KCM_FIELD_END(pbBuffer)) && properties.pbBuffer != nullptr && properties.pbBuffer != m_pBuffer) {
    return E_INVALIDARG;
  }
  if (holds(size, KCM_FIELD_END(cbBuffer))) {
    if (properties.cbBuffer != 0 && properties.cbBuffer != m_cbBuffer) return E_INVALIDARG;
    if (properties.cbBuffer < properties.lActual) return E_INVALIDARG;
  }
  return S_OK;
}

STDMETHODIMP CMediaSample::SetProperties(DWORD size, const BYTE* properties) {
  if (!holds(size, KCM_FIELD_END(cbData))) return S_OK;
  CheckPointer(properties, E_POINTER);
  AM_SAMPLE2_PROPERTIES record;
  memset(&record, 0, sizeof(record));
  memcpy(&record, properties, std::min<size_t>(size, sizeof(record)));
  size = std::min(size, record.cbData);  // never more than the record says it holds
  HRESULT hr = CheckProperties(record, size);
  if (FAILED(hr)) return hr;

  const bool typeGiven =
      holds(size, KCM_FIELD_END(pMediaType)) && (record.dwSampleFlags & AM_SAMPLE_TYPECHANGED) != 0;
  AM_MEDIA_TYPE* type = nullptr;
  if (typeGiven) {
    CheckPointer(record.pMediaType, E_POINTER);
    type = CreateMediaType(record.pMediaType);
    if (type == nullptr) return E_OUTOFMEMORY;
  }

  if (holds(size, KCM_FIELD_END(dwStreamId))) m_dwStreamId = record.dwStreamId;
  if (holds(size, KCM_FIELD_END(dwSampleFlags))) m_dwFlags = record.dwSampleFlags | (m_dwFlags & Sample_MediaTimeValid);
  if (holds(size, KCM_FIELD_END(dwTypeSpecificFlags))) m_dwTypeSpecificFlags = record.dwTypeSpecificFlags;
  if (holds(size, KCM_FIELD_END(lActual))) m_lActual = record.lActual;
  if (holds(size, KCM_FIELD_END(tStop))) m_End = record.tStop;
  if (holds(size, KCM_FIELD_END(tStart))) m_Start = record.tStart;
  if (typeGiven) {
    DeleteMediaType(m_pMediaType);
    m_pMediaType = type;
  }
  // The type-changed flag follows whether a type is attached now.
  SetFlag(Sample_TypeChanged, m_pMediaType != nullptr);
  return S_OK;
}
