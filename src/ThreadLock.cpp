#include "KestroThreadLock.h"

CThreadLock::CThreadLock() : _lockCount(0) { InitializeCriticalSection(&_section); }

CThreadLock::~CThreadLock() {
  while (_lockCount > 0) {
    --_lockCount;
    LeaveCriticalSection(&_section);
  }
  DeleteCriticalSection(&_section);
}

void CThreadLock::Lock() {
  EnterCriticalSection(&_section);
  ++_lockCount;
}

// The count changes only while the section is held.
void CThreadLock::UnLock() {
  --_lockCount;
  LeaveCriticalSection(&_section);
}

int CThreadLock::GetLockCount() { return _lockCount; }

CThreadLockHandle::CThreadLockHandle(IThreadLock* lock, bool lockNow) : _lockCount(0), _lock(lock) {
  if (lockNow) Lock();
}

CThreadLockHandle::~CThreadLockHandle() {
  while (_lockCount > 0) UnLock();
}

void CThreadLockHandle::Lock() {
  ++_lockCount;
  if (_lock != nullptr) _lock->Lock();
}

void CThreadLockHandle::UnLock() {
  --_lockCount;
  if (_lock != nullptr) _lock->UnLock();
}

int CThreadLockHandle::GetLockCount() { return _lockCount; }
