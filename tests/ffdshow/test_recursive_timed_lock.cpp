// The filters' stream lock: the owner may take it again, others wait for the last
// unlock, and a timed try gives up while it is held.
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "ffdshow/RecursiveTimedLock.h"

namespace kcm_test {
namespace {

using kcm::ffdshow::RecursiveTimedLock;
using namespace std::chrono_literals;

bool TryFromAnotherThread(RecursiveTimedLock& lock, std::chrono::milliseconds timeout) {
  bool taken = false;
  std::thread other([&] {
    taken = lock.try_lock_for(timeout);
    if (taken) lock.unlock();
  });
  other.join();
  return taken;
}

TEST(RecursiveTimedLock, OwnerNestsAndOthersWaitForTheLastUnlock) {
  RecursiveTimedLock lock;
  lock.lock();
  ASSERT_TRUE(lock.try_lock_for(0ms));  // the owner again
  lock.unlock();
  EXPECT_FALSE(TryFromAnotherThread(lock, 20ms));  // still held once
  lock.unlock();
  EXPECT_TRUE(TryFromAnotherThread(lock, 0ms));
}

TEST(RecursiveTimedLock, ReleaseWakesAWaiterAndKeepsItsWorkOrdered) {
  RecursiveTimedLock lock;
  int guarded = 0;
  std::atomic<bool> waiting{false};
  lock.lock();
  std::thread waiter([&] {
    waiting = true;
    std::lock_guard<RecursiveTimedLock> hold(lock);
    guarded += 1;
  });
  while (!waiting) std::this_thread::yield();
  guarded = 41;  // written while held; the waiter must see it
  lock.unlock();
  waiter.join();
  EXPECT_EQ(42, guarded);
}

}  // namespace
}  // namespace kcm_test
