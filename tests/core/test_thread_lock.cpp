#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "KestroThreadLock.h"

namespace {
// Counts calls instead of locking: shows what a handle does to the lock it holds.
class CountingLock : public IThreadLock {
 public:
  void Lock() override { ++locks; }
  void UnLock() override { ++unlocks; }
  int locks = 0;
  int unlocks = 0;
};
}  // namespace

TEST(ThreadLockHandle, GivesBackEveryLockItHoldsWhenDestroyed) {
  CountingLock lock;
  {
    CThreadLockHandle handle(&lock, true);
    handle.Lock();
    handle.Lock();
    EXPECT_EQ(handle.GetLockCount(), 3);
    EXPECT_EQ(lock.locks, 3);
  }
  EXPECT_EQ(lock.unlocks, 3);
}

TEST(ThreadLockHandle, WithoutLockNowHoldsNothingUntilLocked) {
  CountingLock lock;
  {
    CThreadLockHandle handle(&lock, false);
    EXPECT_EQ(handle.GetLockCount(), 0);
    handle.Lock();
    handle.UnLock();
  }
  EXPECT_EQ(lock.locks, 1);
  EXPECT_EQ(lock.unlocks, 1);
}

TEST(ThreadLockHandle, NullLockIsCountedButNothingIsLocked) {
  CThreadLockHandle handle(nullptr, true);
  handle.Lock();
  EXPECT_EQ(handle.GetLockCount(), 2);
  handle.UnLock();
  handle.UnLock();
  handle.UnLock();
  EXPECT_EQ(handle.GetLockCount(), -1);  // outside the contract; the destructor then does nothing
}

TEST(ThreadLock, OwnerMayLockAgainAndCountsItsNesting) {
  CThreadLock lock;
  lock.Lock();
  lock.Lock();
  EXPECT_EQ(lock.GetLockCount(), 2);
  lock.UnLock();
  lock.UnLock();
  EXPECT_EQ(lock.GetLockCount(), 0);
}

// Tests that another thread waits until the owner's count is back at 0.
TEST(ThreadLock, OtherThreadsWaitUntilOwnerReleasesCompletely) {
  CThreadLock lock;
  std::atomic<bool> entered{false};
  lock.Lock();
  lock.Lock();
  std::thread other([&] {
    CThreadLockHandle handle(&lock, true);
    entered = true;
  });
  lock.UnLock();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(entered);
  lock.UnLock();
  other.join();
  EXPECT_TRUE(entered);
}

// Tests that a lock destroyed while its owner holds it twice is left completely first:
// the destruction must neither hang nor leave the section held.
TEST(ThreadLock, DestroyedWhileHeldIsLeftFirst) {
  auto* lock = new CThreadLock;
  lock->Lock();
  lock->Lock();
  delete lock;
  SUCCEED();
}
