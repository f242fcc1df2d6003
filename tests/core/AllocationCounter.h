// Counts the allocations of the test executable: it replaces the global operator new and
// delete (every form) with ones that forward to malloc and free, so ASan and TSan still
// see each block. The replacements are exported, so allocations made inside our shared
// libraries are counted as well.
//
// Counting on chosen threads: a thread that calls startOnThisThread() adds each of its
// allocations to that counter until it calls stopOnThisThread(). To count a thread the
// test did not start (a library worker), start it from a callback that runs on it. Every
// thread must stop before the counter is destroyed.
#pragma once

#include <atomic>
#include <cstdint>

namespace kcm_test {

class AllocationCounter {
 public:
  AllocationCounter() = default;
  // Stops counting on the calling thread if it counts here.
  ~AllocationCounter();

  AllocationCounter(const AllocationCounter&) = delete;
  AllocationCounter& operator=(const AllocationCounter&) = delete;

  // A thread counts into one counter at a time; starting moves it to this one.
  void startOnThisThread();
  void stopOnThisThread();
  // Allocations counted so far, from all threads counting here.
  uint64_t count() const { return _count.load(std::memory_order_relaxed); }

  // Every allocation of the process, on any thread, since it started.
  static uint64_t processTotal();

 private:
  std::atomic<uint64_t> _count{0};
};

}  // namespace kcm_test
