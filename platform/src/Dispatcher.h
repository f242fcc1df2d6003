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

#include <utility>
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

// The objects of one wait: a single object or a list. Waits lie on hot paths (a
// completion port's consumer, a message loop), so neither this nor WaitCondition
// allocates.
class WaitTargets {
 public:
  WaitTargets(DispatcherObject* single) : data_(&single_), size_(1), single_(single) {}
  WaitTargets(const std::vector<DispatcherObject*>& objects) : data_(objects.data()), size_(objects.size()) {}
  WaitTargets(const WaitTargets&) = delete;
  WaitTargets& operator=(const WaitTargets&) = delete;

  DispatcherObject* const* begin() const { return data_; }
  DispatcherObject* const* end() const { return data_ + size_; }

 private:
  DispatcherObject* const* data_;
  size_t size_;
  DispatcherObject* single_ = nullptr;
};

// A non-owning reference to the caller's test; the callable outlives the wait.
class WaitCondition {
 public:
  template <class Callable>
  WaitCondition(Callable&& test)
      : callable_(&test), call_([](void* callable) { return (*static_cast<std::remove_reference_t<Callable>*>(callable))(); }) {}
  bool operator()() const { return call_(callable_); }

 private:
  void* callable_;
  bool (*call_)(void*);
};

// Runs `tryComplete` at once and again each time one of `objects` wakes its waiters,
// until it answers true (answers true) or `milliseconds` have passed on the monotonic
// clock (answers false; INFINITE never passes). The caller holds the dispatcher lock
// through `lock`; `tryComplete` runs under it. A cancellation point.
bool waitUntil(DispatcherLock& lock, const WaitTargets& objects, DWORD milliseconds, WaitCondition tryComplete);

}  // namespace kcm::kernel
