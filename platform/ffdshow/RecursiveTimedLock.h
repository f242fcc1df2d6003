// RecursiveTimedLock: what std::recursive_timed_mutex offers (lock, try_lock_for, unlock;
// the owner may lock again), built on a plain mutex and a condition variable. The
// standard one takes its timed lock through pthread_mutex_clocklock, which
// ThreadSanitizer does not see, so every unlock after a timed lock looked like an
// unlock of a free mutex and the filters' locking could not be checked.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace kcm::ffdshow {

class RecursiveTimedLock {
 public:
  void lock() {
    std::unique_lock<std::mutex> guard(mutex_);
    released_.wait(guard, [this] { return Available(); });
    Take();
  }

  template <class Rep, class Period>
  bool try_lock_for(const std::chrono::duration<Rep, Period>& timeout) {
    std::unique_lock<std::mutex> guard(mutex_);
    if (!released_.wait_for(guard, timeout, [this] { return Available(); })) return false;
    Take();
    return true;
  }

  void unlock() {
    std::lock_guard<std::mutex> guard(mutex_);
    if (--depth_ > 0) return;
    owner_ = std::thread::id();
    released_.notify_one();
  }

 private:
  // Guarded by mutex_.
  bool Available() const { return depth_ == 0 || owner_ == std::this_thread::get_id(); }
  void Take() {
    owner_ = std::this_thread::get_id();
    ++depth_;
  }

  std::mutex mutex_;
  std::condition_variable released_;
  std::thread::id owner_;
  int depth_ = 0;
};

}  // namespace kcm::ffdshow
