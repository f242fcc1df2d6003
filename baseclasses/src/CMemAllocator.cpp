#include "CMemAllocator.h"

#include <sys/mman.h>
#include <unistd.h>

#include <new>

namespace {

// `size` rounded up to a multiple of `alignment`, or -1 when that passes 2^31 - 1.
int64_t roundUp(int64_t size, int64_t alignment) {
  const int64_t remainder = size % alignment;
  return remainder == 0 ? size : size + alignment - remainder;
}

bool isValidAlignment(LONG alignment) {
  return alignment > 0 && (alignment & (alignment - 1)) == 0 && CMemAllocator::AllocationGranularity() % alignment == 0;
}

}  // namespace

LONG CMemAllocator::AllocationGranularity() {
  static const LONG granularity = static_cast<LONG>(sysconf(_SC_PAGESIZE));
  return granularity;
}

CMemAllocator::CMemAllocator(LPCTSTR name, LPUNKNOWN outer, HRESULT* result)
    : CBaseAllocator(name, outer, result, TRUE, TRUE), m_pBuffer(nullptr), m_blockSize(0) {}

CMemAllocator::~CMemAllocator() {
  // Deleted straight away by a derived class, or at the last Release: in both cases
  // no reference is left to drop, so the memory goes without Decommit's bookkeeping.
  {
    CAutoLock lock(this);
    m_bCommitted = FALSE;
    m_bDecommitInProgress = FALSE;
    NotifySample();
  }
  ReallyFree();
}

CUnknown* CMemAllocator::CreateInstance(LPUNKNOWN outer, HRESULT* result) {
  HRESULT hr = S_OK;
  auto* allocator = new (std::nothrow) CMemAllocator(NAME("CMemAllocator"), outer, &hr);
  if (allocator == nullptr) hr = E_OUTOFMEMORY;
  if (FAILED(hr)) {
    delete allocator;
    allocator = nullptr;
  }
  if (result != nullptr) *result = hr;
  return allocator;
}

STDMETHODIMP CMemAllocator::SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) {
  CheckPointer(request, E_POINTER);
  CheckPointer(actual, E_POINTER);
  CAutoLock lock(this);
  if (!isValidAlignment(request->cbAlign)) return VFW_E_BADALIGN;
  const HRESULT hr = CheckCanChangeProperties(request, actual);
  if (FAILED(hr)) return hr;
  ALLOCATOR_PROPERTIES granted = *request;
  const int64_t aligned = roundUp(int64_t{request->cbBuffer} + request->cbPrefix, request->cbAlign);
  granted.cbBuffer = static_cast<LONG>(aligned - request->cbPrefix);
  TakeProperties(granted, actual);
  return S_OK;
}

HRESULT CMemAllocator::Alloc() {
  CAutoLock lock(this);
  HRESULT hr = CBaseAllocator::Alloc();
  if (FAILED(hr)) return hr;
  if (hr == S_FALSE && m_pBuffer != nullptr) return S_OK;  // the block still fits
  ReallyFree();
  if (m_lPrefix < 0) return E_OUTOFMEMORY;
  const int64_t alignedSize = roundUp(int64_t{m_lSize} + m_lPrefix, m_lAlignment);
  const int64_t total = alignedSize * m_lCount;
  if (total > INT32_MAX) return E_OUTOFMEMORY;

  void* block = mmap(nullptr, static_cast<size_t>(total), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block == MAP_FAILED) return E_OUTOFMEMORY;
  m_pBuffer = static_cast<LPBYTE>(block);
  m_blockSize = static_cast<size_t>(total);
  for (LPBYTE next = m_pBuffer; m_lAllocated < m_lCount; ++m_lAllocated, next += alignedSize) {
    auto* sample = new (std::nothrow)
        CMediaSample(NAME("Default memory media sample"), this, &hr, next + m_lPrefix, m_lSize);
    if (sample == nullptr) return E_OUTOFMEMORY;  // the next Free takes what was made
    PushFree(sample);
  }
  m_bChanged = FALSE;
  return S_OK;
}

void CMemAllocator::Free() { ReallyFree(); }

void CMemAllocator::ReallyFree() {
  CAutoLock lock(this);
  while (CMediaSample* sample = PopFree()) delete sample;
  m_lAllocated = 0;
  if (m_pBuffer != nullptr) munmap(m_pBuffer, m_blockSize);
  m_pBuffer = nullptr;
  m_blockSize = 0;
}
