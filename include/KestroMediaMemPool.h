// The media memory pool: DirectShow media samples from a fixed set of buffers in one
// block of committed pages, usable outside a filter graph as well as inside one.
//
// A host takes a sample with GetMediaSample, fills it and lets it go (its last Release
// returns it to the pool), or parks an extra reference in the pool with
// AddRefMediaSample and takes it back later with ReleaseRefMediaSample. Asking for a
// sample larger than the pool's buffers restarts the pool at the new size, which only
// works while no sample is out.
//
// The allocator underneath is the DirectShow base classes' own (CMemAllocator and its
// CMediaSample); CKestroSample, CKBaseAllocator and CKMemAllocator are their names here.
// Taking and returning samples allocates nothing: the free list reuses the most recently
// returned buffer first.
#pragma once

#include <list>

#include "KestroExport.h"
#include "KestroThreadLock.h"
#include "KestroUnknownEx.h"
#include "streams.h"

typedef CMediaSample CKestroSample;
typedef CBaseAllocator CKBaseAllocator;
typedef CMemAllocator CKMemAllocator;

class IKestroMemPool : public IUnknownEx {
 public:
  // Restarts the pool with `cBuffers` buffers of at least `cbBuffer` bytes. A failure is
  // logged, leaves the pool stopped and is returned (VFW_E_BUFFERS_OUTSTANDING while
  // samples are still out).
  virtual HRESULT Start(long cbBuffer, long cBuffers) = 0;
  // Releases every parked sample and decommits; the memory goes when the last sample
  // held elsewhere comes back. S_OK.
  virtual HRESULT Stop() = 0;
  virtual bool IsStarted() = 0;
  // A sample of at least `size` bytes, with one reference; waits while every buffer is
  // out (a Stop wakes the wait with VFW_E_NOT_COMMITTED).
  virtual HRESULT GetMediaSample(IMediaSample** ppBuffer, unsigned long size) = 0;
  // Keeps one more reference to `sample` in the pool. E_FAIL while stopped.
  virtual HRESULT AddRefMediaSample(IMediaSample* sample) = 0;
  // Takes the first parked sample whose pointer value is `sampleId` out of the pool: its
  // parked reference passes to the caller. E_FAIL (with *ppSample untouched) while
  // stopped or when no such sample is parked.
  virtual HRESULT ReleaseRefMediaSample(unsigned long sampleId, IMediaSample** ppSample) = 0;

 protected:
  ~IKestroMemPool() = default;
};

// Thread-safe: any thread may call the pool. The CThreadLock guards the parked list and
// the started flag; the allocator's lock guards the buffers. Stop takes the CThreadLock
// and then the allocator's; GetMediaSample restarts the pool only after leaving the
// allocator's lock.
//
// The pool is a COM object too. It is created holding one reference, the owner's;
// Ex_Release stops it and gives that reference back, which destroys it unless someone
// holds another (a COM client of its IMemAllocator, or samples still out).
class KCM_API CKestroMemPool : public CKMemAllocator, public IKestroMemPool {
 public:
  CKestroMemPool();
  ~CKestroMemPool() override;

  CKestroMemPool(const CKestroMemPool&) = delete;
  CKestroMemPool& operator=(const CKestroMemPool&) = delete;

  bool Ex_IsValid() override;
  bool Ex_Release() override;
  // IID_IKestroMemPool or IID_IUnknownEx with an accepted version: the IKestroMemPool part.
  void* Ex_QueryInterface(const GUID& iid, unsigned long version) override;

  HRESULT Start(long cbBuffer, long cBuffers) override;
  HRESULT Stop() override;
  bool IsStarted() override;
  HRESULT GetMediaSample(IMediaSample** ppBuffer, unsigned long size) override;
  HRESULT AddRefMediaSample(IMediaSample* sample) override;
  HRESULT ReleaseRefMediaSample(unsigned long sampleId, IMediaSample** ppSample) override;

 private:
  HRESULT StartInter(long cbBuffer, long cBuffers);
  void ReleaseParkedSamples();

  int32_t m_cBuffers;
  std::list<IMediaSample*> m_parked;  // one reference each
  CThreadLock m_lock;
  bool m_started;
};

// Answers a new pool as the interface asked for (IKestroMemPool or IUnknownEx with an
// accepted version), or null.
extern "C" KCM_API void* CreateKestroMemPool(const GUID& iid, unsigned long version);
