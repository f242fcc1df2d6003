#include "KestroMediaMemPool.h"

#include <QDebug>
#include <stdexcept>

#include "KestroLog.h"
#include "SourcePath.h"
#include "UnknownExFactory.h"

namespace {

const char kSourcePath[] = KCM_SOURCE_PATH("MediaMemPool");
// The parked list holds at most this many entries, as the pool's list always has.
const size_t kParkedListLimit = 1073741822;

HRESULT logFailure(HRESULT hr, int line, const char* expression) {
  kcm_logExpression(kSourcePath, line, expression, KcmLogCritical, true);
  return hr;
}

}  // namespace

CKestroMemPool::CKestroMemPool()
    : CKMemAllocator(NAME("KestroMemPool"), nullptr, nullptr), m_cBuffers(2), m_started(false) {
  NonDelegatingAddRef();  // the owner's reference, given back by Ex_Release
}

CKestroMemPool::~CKestroMemPool() { ReleaseParkedSamples(); }

bool CKestroMemPool::Ex_IsValid() { return true; }

bool CKestroMemPool::Ex_Release() {
  if (Ex_IsValid()) {
    Stop();
    NonDelegatingRelease();
  }
  return true;
}

void* CKestroMemPool::Ex_QueryInterface(const GUID& iid, unsigned long version) {
  return QueryUnknownEx<IKestroMemPool>(this, IID_IKestroMemPool, iid, version);
}

HRESULT CKestroMemPool::Start(long cbBuffer, long cBuffers) {
  m_cBuffers = static_cast<int32_t>(cBuffers);
  const HRESULT hr = StartInter(cbBuffer, cBuffers);
  if (FAILED(hr)) {
    logFailure(hr, __LINE__, "\"hr = StartInter(cbBuffer, cBuffers)\"");
    Stop();
    return hr;
  }
  CThreadLockHandle lock(&m_lock, true);
  m_started = true;
  return S_OK;
}

HRESULT CKestroMemPool::StartInter(long cbBuffer, long cBuffers) {
  HRESULT hr = Stop();
  if (FAILED(hr)) return logFailure(hr, __LINE__, "\"hr = Stop()\"");
  ALLOCATOR_PROPERTIES properties;
  hr = GetProperties(&properties);
  if (FAILED(hr)) return logFailure(hr, __LINE__, "\"hr = GetProperties(&Properties)\"");
  ALLOCATOR_PROPERTIES request{static_cast<LONG>(cBuffers), static_cast<LONG>(cbBuffer), 1, 0};
  hr = SetProperties(&request, &properties);
  if (FAILED(hr)) {
    qDebug() << "CKestroMemPool::StartInter DecommitInProgress" << m_bDecommitInProgress;
    return hr;
  }
  // A failed commit is not reported here: the next GetMediaSample commits again.
  if (SUCCEEDED(Commit()) && properties.cbBuffer < cbBuffer) return logFailure(E_FAIL, __LINE__, "\"hr = E_FAIL\"");
  return S_OK;
}

void CKestroMemPool::ReleaseParkedSamples() {
  while (!m_parked.empty()) {
    IMediaSample* sample = m_parked.front();
    m_parked.pop_front();
    sample->Release();
  }
}

HRESULT CKestroMemPool::Stop() {
  CThreadLockHandle lock(&m_lock, true);
  m_started = false;
  ReleaseParkedSamples();
  Decommit();
  return S_OK;
}

bool CKestroMemPool::IsStarted() {
  CThreadLockHandle lock(&m_lock, true);
  return m_started;
}

HRESULT CKestroMemPool::GetMediaSample(IMediaSample** ppBuffer, unsigned long size) {
  CheckPointer(ppBuffer, E_POINTER);
  ALLOCATOR_PROPERTIES properties;
  bool grow = false;
  {
    CAutoLock lock(this);
    if (!m_bCommitted && FAILED(Commit())) return VFW_E_NOT_COMMITTED;
    const HRESULT hr = GetProperties(&properties);
    if (FAILED(hr)) return logFailure(hr, __LINE__, "\"hr = GetProperties(&Properties)\"");
    if (static_cast<unsigned long>(properties.cbBuffer) < size) {
      properties.cbBuffer = static_cast<LONG>(size);
      grow = true;
    }
  }
  if (grow) {
    Stop();
    const HRESULT hr = Start(properties.cbBuffer, m_cBuffers);
    if (FAILED(hr)) return logFailure(hr, __LINE__, "\"hr = Start(Properties.cbBuffer, Properties.cBuffers)\"");
  }
  const HRESULT hr = CKMemAllocator::GetBuffer(ppBuffer, nullptr, nullptr, 0);
  if (FAILED(hr)) return logFailure(hr, __LINE__, "\"hr = CKMemAllocator::GetBuffer(ppBuffer, NULL, NULL, 0)\"");
  return S_OK;
}

HRESULT CKestroMemPool::AddRefMediaSample(IMediaSample* sample) {
  CheckPointer(sample, E_POINTER);
  CThreadLockHandle lock(&m_lock, true);
  if (!m_started) return E_FAIL;
  if (m_parked.size() >= kParkedListLimit) throw std::length_error("list<T> too long");
  m_parked.push_back(sample);
  sample->AddRef();
  return S_OK;
}

HRESULT CKestroMemPool::ReleaseRefMediaSample(unsigned long sampleId, IMediaSample** ppSample) {
  CheckPointer(ppSample, E_POINTER);
  CThreadLockHandle lock(&m_lock, true);
  if (!m_started) return E_FAIL;
  for (auto entry = m_parked.begin(); entry != m_parked.end(); ++entry) {
    if (reinterpret_cast<unsigned long>(*entry) == sampleId) {
      *ppSample = *entry;
      m_parked.erase(entry);
      return S_OK;
    }
  }
  return E_FAIL;
}

extern "C" void* CreateKestroMemPool(const GUID& iid, unsigned long version) {
  return CreateUnknownExObject<CKestroMemPool>(iid, version);
}
