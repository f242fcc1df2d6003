#include "CBaseAllocator.h"

#include <stdint.h>

#include "handleapi.h"

CBaseAllocator::CBaseAllocator(LPCTSTR name, LPUNKNOWN outer, HRESULT* result, BOOL /*createSemaphore*/,
                               BOOL enableReleaseCallback)
    : CUnknown(name, outer),
      m_pFreeHead(nullptr),
      m_lFreeCount(0),
      m_hSem(CreateSemaphoreW(nullptr, 0, INT32_MAX, nullptr)),
      m_lWaiting(0),
      m_lCount(0),
      m_lAllocated(0),
      m_lSize(0),
      m_lAlignment(0),
      m_lPrefix(0),
      m_bChanged(FALSE),
      m_bCommitted(FALSE),
      m_bDecommitInProgress(FALSE),
      m_pNotify(nullptr),
      m_fEnableReleaseCallback(enableReleaseCallback) {
  if (m_hSem == nullptr && result != nullptr) *result = E_OUTOFMEMORY;
}

CBaseAllocator::~CBaseAllocator() {
  if (m_hSem != nullptr) CloseHandle(m_hSem);
  if (m_pNotify != nullptr) m_pNotify->Release();
}

STDMETHODIMP CBaseAllocator::NonDelegatingQueryInterface(REFIID iid, void** object) {
  CheckPointer(object, E_POINTER);
  if (iid == IID_IMemAllocator || (iid == IID_IMemAllocatorCallbackTemp && m_fEnableReleaseCallback)) {
    return GetInterface(static_cast<IMemAllocatorCallbackTemp*>(this), object);
  }
  return CUnknown::NonDelegatingQueryInterface(iid, object);
}

HRESULT CBaseAllocator::CheckCanChangeProperties(const ALLOCATOR_PROPERTIES* request,
                                                 const ALLOCATOR_PROPERTIES* actual) const {
  CheckPointer(request, E_POINTER);
  CheckPointer(actual, E_POINTER);
  if (m_bCommitted) return VFW_E_ALREADY_COMMITTED;
  if (!AllSamplesBack()) return VFW_E_BUFFERS_OUTSTANDING;
  return S_OK;
}

void CBaseAllocator::TakeProperties(const ALLOCATOR_PROPERTIES& granted, ALLOCATOR_PROPERTIES* actual) {
  m_lCount = granted.cBuffers;
  m_lSize = granted.cbBuffer;
  m_lAlignment = granted.cbAlign;
  m_lPrefix = granted.cbPrefix;
  m_bChanged = TRUE;
  *actual = granted;
}

STDMETHODIMP CBaseAllocator::SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) {
  CheckPointer(request, E_POINTER);
  CheckPointer(actual, E_POINTER);
  CAutoLock lock(this);
  if (request->cbAlign != 1) return VFW_E_BADALIGN;
  const HRESULT hr = CheckCanChangeProperties(request, actual);
  if (FAILED(hr)) return hr;
  TakeProperties(*request, actual);
  return S_OK;
}

STDMETHODIMP CBaseAllocator::GetProperties(ALLOCATOR_PROPERTIES* properties) {
  CheckPointer(properties, E_POINTER);
  CAutoLock lock(this);
  properties->cBuffers = m_lCount;
  properties->cbBuffer = m_lSize;
  properties->cbAlign = m_lAlignment;
  properties->cbPrefix = m_lPrefix;
  return S_OK;
}

HRESULT CBaseAllocator::Alloc() {
  if (m_lCount <= 0 || m_lSize <= 0 || m_lAlignment <= 0) return VFW_E_SIZENOTSET;
  return m_bChanged ? S_OK : S_FALSE;
}

STDMETHODIMP CBaseAllocator::Commit() {
  CAutoLock lock(this);
  if (m_bCommitted) return S_OK;
  m_bCommitted = TRUE;
  if (m_bDecommitInProgress) {
    // The samples still out keep their memory: cancelling is all there is to do.
    m_bDecommitInProgress = FALSE;
    return S_OK;
  }
  const HRESULT hr = Alloc();
  if (FAILED(hr)) {
    m_bCommitted = FALSE;
    return hr;
  }
  AddRef();  // held while the memory exists, so that samples out never outlive us
  return S_OK;
}

void CBaseAllocator::FinishDecommit() {
  m_bDecommitInProgress = FALSE;
  Free();
}

STDMETHODIMP CBaseAllocator::Decommit() {
  bool release = false;
  {
    CAutoLock lock(this);
    if (!m_bCommitted && !m_bDecommitInProgress) return S_OK;
    m_bCommitted = FALSE;
    if (AllSamplesBack()) {
      FinishDecommit();
      release = true;
    } else {
      m_bDecommitInProgress = TRUE;
    }
    NotifySample();  // waiters wake and fail with VFW_E_NOT_COMMITTED
  }
  if (release) Release();  // may delete this object
  return S_OK;
}

STDMETHODIMP CBaseAllocator::GetBuffer(IMediaSample** sample, REFERENCE_TIME* /*start*/, REFERENCE_TIME* /*end*/,
                                       DWORD flags) {
  CheckPointer(sample, E_POINTER);
  *sample = nullptr;
  for (;;) {
    {
      CAutoLock lock(this);
      if (!m_bCommitted) return VFW_E_NOT_COMMITTED;
      if (CMediaSample* free = PopFree()) {
        __atomic_store_n(&free->m_cRef, 1, __ATOMIC_RELAXED);  // published by the lock
        *sample = free;
        return S_OK;
      }
      if ((flags & AM_GBF_NOWAIT) != 0) return VFW_E_TIMEOUT;
      SetWaiting();
    }
    WaitForSingleObject(m_hSem, INFINITE);
  }
}

STDMETHODIMP CBaseAllocator::ReleaseBuffer(IMediaSample* sample) {
  CheckPointer(sample, E_POINTER);
  auto* own = dynamic_cast<CMediaSample*>(sample);
  if (own == nullptr || own->m_pAllocator != this) return E_INVALIDARG;
  bool release = false;
  {
    CAutoLock lock(this);
    PushFree(own);
    NotifySample();
    if (m_bDecommitInProgress && AllSamplesBack()) {
      FinishDecommit();
      release = true;
    }
  }
  // Not synchronised with SetNotify, as on Windows: set the callback before streaming.
  if (m_pNotify != nullptr) m_pNotify->NotifyRelease();
  if (release) Release();  // may delete this object
  return S_OK;
}

STDMETHODIMP CBaseAllocator::SetNotify(IMemAllocatorNotifyCallbackTemp* notify) {
  CAutoLock lock(this);
  if (notify != nullptr) notify->AddRef();
  if (m_pNotify != nullptr) m_pNotify->Release();
  m_pNotify = notify;
  return S_OK;
}

STDMETHODIMP CBaseAllocator::GetFreeCount(LONG* freeCount) {
  CheckPointer(freeCount, E_POINTER);
  CAutoLock lock(this);
  *freeCount = m_lCount - m_lAllocated + m_lFreeCount;
  return S_OK;
}

void CBaseAllocator::NotifySample() {
  if (m_lWaiting == 0) return;
  ReleaseSemaphore(m_hSem, m_lWaiting, nullptr);
  m_lWaiting = 0;
}

void CBaseAllocator::PushFree(CMediaSample* sample) {
  sample->m_pNext = m_pFreeHead;
  m_pFreeHead = sample;
  ++m_lFreeCount;
}

CMediaSample* CBaseAllocator::PopFree() {
  CMediaSample* sample = m_pFreeHead;
  if (sample == nullptr) return nullptr;
  m_pFreeHead = sample->m_pNext;
  sample->m_pNext = nullptr;
  --m_lFreeCount;
  return sample;
}
