// CBaseAllocator: the sample allocator's protocol (IMemAllocator and
// IMemAllocatorCallbackTemp) over a free list of CMediaSample; a derived class supplies
// the memory with Alloc and Free.
//
// Commit allocates and lets GetBuffer hand out samples; Decommit stops that and frees
// the memory once every sample is back (until then the decommit is pending, and a
// Commit in between just cancels it). The free list is last in, first out, so the most
// recently returned (cache-warm) buffer is used first. Takers that find no free sample
// wait on a semaphore outside the lock; every return and every decommit wakes them all.
//
// While it holds memory the allocator holds a reference on itself, so it outlives every
// sample that is out; the reference goes when the memory is freed.
//
// Lock: the CCritSec base guards the list, the counts and the flags.
#pragma once

#include "CCritSec.h"
#include "CMediaSample.h"
#include "CUnknown.h"

class KCM_BASECLASSES_API CBaseAllocator : public CUnknown, public IMemAllocatorCallbackTemp, public CCritSec {
 public:
  // `enableReleaseCallback` makes the object answer IMemAllocatorCallbackTemp. The
  // waiters' semaphore is created here (`createSemaphore` is kept for the Windows
  // shape); failing that, *result receives E_OUTOFMEMORY.
  CBaseAllocator(LPCTSTR name, LPUNKNOWN outer, HRESULT* result, BOOL createSemaphore = TRUE,
                 BOOL enableReleaseCallback = FALSE);
  // The derived class has decommitted and freed by then.
  virtual ~CBaseAllocator();

  DECLARE_IUNKNOWN
  // IMemAllocator, and IMemAllocatorCallbackTemp when the release callback is enabled.
  STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override;

  // Takes the request as it is: the alignment must be 1 (VFW_E_BADALIGN). Committed →
  // VFW_E_ALREADY_COMMITTED; samples out → VFW_E_BUFFERS_OUTSTANDING.
  STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;
  STDMETHODIMP GetProperties(ALLOCATOR_PROPERTIES* properties) override;
  STDMETHODIMP Commit() override;
  STDMETHODIMP Decommit() override;
  // Start and end times are not used. Not committed → VFW_E_NOT_COMMITTED; none free
  // with AM_GBF_NOWAIT → VFW_E_TIMEOUT; otherwise waits without time limit.
  STDMETHODIMP GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* end, DWORD flags) override;
  // Takes back one of this allocator's samples (E_INVALIDARG for any other) and, after
  // leaving the lock, tells the notify callback.
  STDMETHODIMP ReleaseBuffer(IMediaSample* sample) override;

  // IMemAllocatorCallbackTemp. The callback is held with one reference.
  STDMETHODIMP SetNotify(IMemAllocatorNotifyCallbackTemp* notify) override;
  // Requested count − allocated count + free samples.
  STDMETHODIMP GetFreeCount(LONG* freeCount) override;

  // Wakes every waiting taker. Called with the lock held.
  void NotifySample();
  void SetWaiting() { m_lWaiting++; }

 protected:
  // Makes the memory and the samples for the current properties: S_OK, or S_FALSE when
  // nothing changed since the last allocation. This base checks the properties only
  // (VFW_E_SIZENOTSET when count, size or alignment is below 1).
  virtual HRESULT Alloc();
  // Frees the memory and the samples; called with every sample back.
  virtual void Free() = 0;

  // The checks every SetProperties makes before taking new values (lock held).
  HRESULT CheckCanChangeProperties(const ALLOCATOR_PROPERTIES* request, const ALLOCATOR_PROPERTIES* actual) const;
  // Stores granted properties and reports them (lock held).
  void TakeProperties(const ALLOCATOR_PROPERTIES& granted, ALLOCATOR_PROPERTIES* actual);

  // The free list (lock held).
  void PushFree(CMediaSample* sample);
  CMediaSample* PopFree();
  LONG FreeCount() const { return m_lFreeCount; }

  CMediaSample* m_pFreeHead;
  LONG m_lFreeCount;
  HANDLE m_hSem;
  LONG m_lWaiting;
  LONG m_lCount;      // requested buffers
  LONG m_lAllocated;  // samples that exist
  LONG m_lSize;
  LONG m_lAlignment;
  LONG m_lPrefix;
  BOOL m_bChanged;
  BOOL m_bCommitted;
  BOOL m_bDecommitInProgress;
  IMemAllocatorNotifyCallbackTemp* m_pNotify;
  BOOL m_fEnableReleaseCallback;

 private:
  bool AllSamplesBack() const { return m_lFreeCount == m_lAllocated; }
  // Frees the memory of a finished decommit; the caller then drops the self-reference.
  void FinishDecommit();
};
