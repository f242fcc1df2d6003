// CCritSec and CAutoLock: the re-entrant lock of filters, pins and allocators, and the
// scoped holder that takes it for the extent of a block.
#pragma once

#include "BaseClassesSupport.h"
#include "synchapi.h"

// The owning thread may lock again; it must unlock as often as it locked.
class KCM_BASECLASSES_API CCritSec {
 public:
  CCritSec();
  virtual ~CCritSec();

  CCritSec(const CCritSec&) = delete;
  CCritSec& operator=(const CCritSec&) = delete;

  void Lock();
  void Unlock();
  // Whether the calling thread holds the lock (checks and assertions).
  bool IsLockedByMe() const;

 private:
  mutable CRITICAL_SECTION m_CritSec;
};

class KCM_BASECLASSES_API CAutoLock {
 public:
  explicit CAutoLock(CCritSec* lock) : m_pLock(lock) { m_pLock->Lock(); }
  ~CAutoLock() { m_pLock->Unlock(); }

  CAutoLock(const CAutoLock&) = delete;
  CAutoLock& operator=(const CAutoLock&) = delete;

 protected:
  CCritSec* m_pLock;
};

// Windows' debug check that the caller holds a lock.
inline BOOL CritCheckIn(const CCritSec* lock) { return lock->IsLockedByMe() ? TRUE : FALSE; }
