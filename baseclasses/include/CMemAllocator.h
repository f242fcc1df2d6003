// CMemAllocator: the allocator over one block of committed pages, carved into equal
// samples. Each sample's buffer starts behind its prefix and is the granted size long.
#pragma once

#include "CBaseAllocator.h"

class KCM_BASECLASSES_API CMemAllocator : public CBaseAllocator {
 public:
  // The release callback (IMemAllocatorCallbackTemp) is enabled.
  CMemAllocator(LPCTSTR name, LPUNKNOWN outer, HRESULT* result);
  // Decommits and frees; samples still out at that point are the caller's error.
  ~CMemAllocator() override;

  // A new object for `outer` (may be null), as a class factory makes one; the count is 0.
  static CUnknown* CreateInstance(LPUNKNOWN outer, HRESULT* result);

  // The alignment must be a power of two that divides the page size (VFW_E_BADALIGN).
  // The granted size is (cbBuffer + cbPrefix) rounded up to the alignment, minus the
  // prefix.
  STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;

  // The system page size: the allocation granularity alignments must divide.
  static LONG AllocationGranularity();

 protected:
  // One block of count × aligned size bytes (below 2^31), E_OUTOFMEMORY otherwise.
  HRESULT Alloc() override;
  void Free() override;

  LPBYTE m_pBuffer;  // the block, null when there is none

 private:
  size_t m_blockSize;
  void ReallyFree();
};
