// Thread locks: the lock interface, a recursive critical-section lock with a nesting
// count, and the scoped holder that guarded operations declare.
#pragma once

#include "KestroExport.h"
#include "synchapi.h"

class KCM_API IThreadLock {
 public:
  virtual void Lock() = 0;
  virtual void UnLock() = 0;

 protected:
  ~IThreadLock() = default;
};

// A recursive lock: the owning thread may lock again; other threads block in Lock until
// the owner's count is back at 0. UnLock without a matching Lock is a caller error.
// The destructor is not virtual; the class is final so that deleting one is always safe.
class KCM_API CThreadLock final : public IThreadLock {
 public:
  CThreadLock();
  // Leaves the section as often as the owner still holds it, then deletes it.
  ~CThreadLock();

  CThreadLock(const CThreadLock&) = delete;
  CThreadLock& operator=(const CThreadLock&) = delete;

  void Lock() override;
  void UnLock() override;
  // Read without entering the section: meaningful to the owning thread only.
  int GetLockCount();

 private:
  CRITICAL_SECTION _section;
  int32_t _lockCount;
};

// Holds a lock for the extent of a scope and gives back every lock it still holds when
// it is destroyed, however many times Lock was called on it. A null lock is counted but
// nothing is locked. Used by one thread. After more UnLock than Lock calls the count is
// negative and the destructor does nothing.
class KCM_API CThreadLockHandle {
 public:
  CThreadLockHandle(IThreadLock* lock, bool lockNow);
  virtual ~CThreadLockHandle();

  CThreadLockHandle(const CThreadLockHandle&) = delete;
  CThreadLockHandle& operator=(const CThreadLockHandle&) = delete;

  void Lock();
  void UnLock();
  int GetLockCount();

 private:
  int32_t _lockCount;
  IThreadLock* _lock;
};
