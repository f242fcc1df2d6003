// The dispatcher: signal states of waitable objects and the threads blocked on them.
//
// As in the Windows kernel, one process-wide lock guards every signal state. A wait
// therefore tests and acquires any number of objects in one atomic step, which is what
// WaitForMultipleObjects with waitAll needs. Each blocked thread sleeps on a condition
// variable of its own, registered on every object it waits for; signalling an object
// wakes exactly the threads registered on it, and they re-check under the lock.
//
// Waits are cancellation points (TerminateThread is pthread_cancel). They therefore use
// raw pthread primitives, whose cancellation unwinds the C++ stack, and keep every
// registration in RAII objects, so a cancelled waiter unregisters itself and releases
// the lock on the way out.
#pragma once

#include <pthread.h>

#include <functional>
#include <vector>

#include "KernelObject.h"
#include "minwindef.h"

namespace kcm::kernel {

// Holds the dispatcher lock for its scope.
class DispatcherLock {
 public:
  DispatcherLock();
  ~DispatcherLock();
  DispatcherLock(const DispatcherLock&) = delete;
  DispatcherLock& operator=(const DispatcherLock&) = delete;
};

class WaitBlock;

// An object threads can block on. Its state lives in the derived class and is guarded
// by the dispatcher lock.
class DispatcherObject : public KernelObject {
 public:
  // Wakes every thread blocked on this object so that it re-checks. Dispatcher lock held.
  void wakeWaiters();

 private:
  friend class WaitBlock;
  std::vector<WaitBlock*> waitBlocks_;  // guarded by the dispatcher lock
};

// An object WaitForSingleObject and WaitForMultipleObjects accept.
class WaitableObject : public DispatcherObject {
 public:
  // Both are called with the dispatcher lock held.
  virtual bool isSignaled() const = 0;
  // Consumes the signal a satisfied wait takes: an auto-reset event resets, a
  // semaphore counts down; objects that stay signalled do nothing.
  virtual void acquire() {}
};

// Runs `tryComplete` at once and again each time one of `objects` wakes its waiters,
// until it answers true (answers true) or `milliseconds` have passed on the monotonic
// clock (answers false; INFINITE never passes). The caller holds the dispatcher lock
// through `lock`; `tryComplete` runs under it. A cancellation point.
bool waitUntil(DispatcherLock& lock, const std::vector<DispatcherObject*>& objects, DWORD milliseconds,
               const std::function<bool()>& tryComplete);

}  // namespace kcm::kernel
