// CMediaSample: the IMediaSample2 an allocator hands out, a window on part of the
// allocator's memory plus times, flags and an optional media type.
//
// Its reference count starts at 0 inside the allocator; GetBuffer sets it to 1. When
// the last reference goes the sample drops an attached media type, clears its flags and
// stream id and goes back to its allocator's free list: it is never deleted by Release.
#pragma once

#include "BaseClassesSupport.h"

class CBaseAllocator;

class KCM_BASECLASSES_API CMediaSample : public IMediaSample2 {
 public:
  CMediaSample(LPCTSTR name, CBaseAllocator* allocator, HRESULT* result, LPBYTE buffer = nullptr,
               LONG length = 0);

  CMediaSample(const CMediaSample&) = delete;
  CMediaSample& operator=(const CMediaSample&) = delete;

  // IUnknown: answers IMediaSample2, IMediaSample and IUnknown.
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IMediaSample
  STDMETHODIMP GetPointer(BYTE** buffer) override;
  STDMETHODIMP_(long) GetSize() override;
  // VFW_E_SAMPLE_TIME_NOT_SET without a start time; VFW_S_NO_STOP_TIME (end = start + 1)
  // with a start time only.
  STDMETHODIMP GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override;
  // Null start clears both times; null end sets the start time alone.
  STDMETHODIMP SetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override;
  STDMETHODIMP IsSyncPoint() override;
  STDMETHODIMP SetSyncPoint(BOOL syncPoint) override;
  STDMETHODIMP IsPreroll() override;
  STDMETHODIMP SetPreroll(BOOL preroll) override;
  STDMETHODIMP_(long) GetActualDataLength() override;
  // VFW_E_BUFFER_OVERFLOW for a length below 0 or above the buffer size.
  STDMETHODIMP SetActualDataLength(long length) override;
  // S_FALSE and null when no type is attached; otherwise a copy the caller deletes
  // with DeleteMediaType.
  STDMETHODIMP GetMediaType(AM_MEDIA_TYPE** type) override;
  // Attaches a copy (null detaches) and marks the sample as changing the type.
  STDMETHODIMP SetMediaType(AM_MEDIA_TYPE* type) override;
  STDMETHODIMP IsDiscontinuity() override;
  STDMETHODIMP SetDiscontinuity(BOOL discontinuity) override;
  STDMETHODIMP GetMediaTime(LONGLONG* start, LONGLONG* end) override;
  STDMETHODIMP SetMediaTime(LONGLONG* start, LONGLONG* end) override;

  // IMediaSample2: the leading `size` bytes of an AM_SAMPLE2_PROPERTIES record.
  STDMETHODIMP GetProperties(DWORD size, BYTE* properties) override;
  // Checks everything before changing anything; the buffer pointer and size can't be
  // changed (E_INVALIDARG).
  STDMETHODIMP SetProperties(DWORD size, const BYTE* properties) override;

  virtual ~CMediaSample();

  // Points the sample at other memory: pointer, size and actual length all become the
  // given ones. A negative length → VFW_E_BUFFER_OVERFLOW.
  HRESULT SetPointer(BYTE* buffer, LONG length);

  // m_dwFlags bits; the AM_SAMPLE_* values but for the media-time bit, which is ours.
  enum : DWORD {
    Sample_SyncPoint = AM_SAMPLE_SPLICEPOINT,
    Sample_Preroll = AM_SAMPLE_PREROLL,
    Sample_Discontinuity = AM_SAMPLE_DATADISCONTINUITY,
    Sample_TypeChanged = AM_SAMPLE_TYPECHANGED,
    Sample_TimeValid = AM_SAMPLE_TIMEVALID,
    Sample_MediaTimeValid = 0x20,
    Sample_TimeDiscontinuity = AM_SAMPLE_TIMEDISCONTINUITY,
    Sample_StopValid = AM_SAMPLE_STOPVALID,
    Sample_ValidFlags = 0x1FF
  };

 protected:
  friend class CBaseAllocator;

  DWORD m_dwFlags;
  DWORD m_dwTypeSpecificFlags;
  LPBYTE m_pBuffer;
  LONG m_lActual;
  LONG m_cbBuffer;
  CBaseAllocator* m_pAllocator;
  CMediaSample* m_pNext;  // the allocator's free list, guarded by the allocator's lock
  REFERENCE_TIME m_Start;
  REFERENCE_TIME m_End;
  LONGLONG m_MediaStart;
  LONG m_MediaEnd;  // offset from m_MediaStart
  AM_MEDIA_TYPE* m_pMediaType;
  DWORD m_dwStreamId;

 public:
  volatile LONG m_cRef;

 private:
  HRESULT CheckProperties(const AM_SAMPLE2_PROPERTIES& properties, DWORD size) const;
  void SetFlag(DWORD flag, BOOL on);
  HRESULT FlagResult(DWORD flag) const { return (m_dwFlags & flag) != 0 ? S_OK : S_FALSE; }
};
