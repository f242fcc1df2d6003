#include "CCritSec.h"

#include "processthreadsapi.h"

CCritSec::CCritSec() { InitializeCriticalSection(&m_CritSec); }

CCritSec::~CCritSec() { DeleteCriticalSection(&m_CritSec); }

void CCritSec::Lock() { EnterCriticalSection(&m_CritSec); }

void CCritSec::Unlock() { LeaveCriticalSection(&m_CritSec); }

bool CCritSec::IsLockedByMe() const {
  return __atomic_load_n(&m_CritSec.OwningThread, __ATOMIC_RELAXED) == GetCurrentThreadId();
}
