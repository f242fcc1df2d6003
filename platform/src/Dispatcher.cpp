// The dispatcher lock and the blocking of waiting threads.
#include "Dispatcher.h"

#include <errno.h>
#include <time.h>

#include <algorithm>

#include "synchapi.h"

namespace kcm::kernel {

namespace {

// Adaptive: it guards a few instructions at a time, and contended sleeps cost more.
pthread_mutex_t g_dispatcherLock = PTHREAD_ADAPTIVE_MUTEX_INITIALIZER_NP;

// An absolute point on CLOCK_MONOTONIC, or never.
class Deadline {
 public:
  explicit Deadline(DWORD milliseconds) : infinite_(milliseconds == INFINITE) {
    if (infinite_) return;
    clock_gettime(CLOCK_MONOTONIC, &at_);
    at_.tv_sec += milliseconds / 1000;
    at_.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
    if (at_.tv_nsec >= 1000000000L) {
      at_.tv_sec += 1;
      at_.tv_nsec -= 1000000000L;
    }
  }
  bool infinite() const { return infinite_; }
  const timespec& at() const { return at_; }

 private:
  bool infinite_;
  timespec at_{};
};

}  // namespace

DispatcherLock::DispatcherLock() { pthread_mutex_lock(&g_dispatcherLock); }

DispatcherLock::~DispatcherLock() { pthread_mutex_unlock(&g_dispatcherLock); }

// One blocked thread's registration on the objects it waits for. Lives on the waiting
// thread's stack, inside the dispatcher lock's scope, so that a cancellation unwinding
// the wait unregisters it (glibc re-acquires the mutex before the unwind starts).
class WaitBlock {
 public:
  explicit WaitBlock(const WaitTargets& objects) : objects_(objects) {
    pthread_condattr_t attributes;
    pthread_condattr_init(&attributes);
    pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    pthread_cond_init(&wakeUp_, &attributes);
    pthread_condattr_destroy(&attributes);
    for (DispatcherObject* object : objects_) object->waitBlocks_.push_back(this);
  }

  ~WaitBlock() {
    for (DispatcherObject* object : objects_) {
      auto& blocks = object->waitBlocks_;
      blocks.erase(std::find(blocks.begin(), blocks.end(), this));
    }
    pthread_cond_destroy(&wakeUp_);
  }

  WaitBlock(const WaitBlock&) = delete;
  WaitBlock& operator=(const WaitBlock&) = delete;

  void wake() { pthread_cond_signal(&wakeUp_); }

  // Answers false once the deadline has passed.
  bool sleep(const Deadline& deadline) {
    if (deadline.infinite()) {
      pthread_cond_wait(&wakeUp_, &g_dispatcherLock);
      return true;
    }
    return pthread_cond_timedwait(&wakeUp_, &g_dispatcherLock, &deadline.at()) != ETIMEDOUT;
  }

 private:
  const WaitTargets& objects_;
  pthread_cond_t wakeUp_;
};

void DispatcherObject::wakeWaiters() {
  for (WaitBlock* block : waitBlocks_) block->wake();
}

bool waitUntil(DispatcherLock& /*lock*/, const WaitTargets& objects, DWORD milliseconds, WaitCondition tryComplete) {
  if (tryComplete()) return true;
  if (milliseconds == 0) return false;
  const Deadline deadline(milliseconds);
  WaitBlock block(objects);
  while (block.sleep(deadline)) {
    if (tryComplete()) return true;
  }
  // A signal that raced with the time-out still counts, as it would have a moment earlier.
  return tryComplete();
}

}  // namespace kcm::kernel
