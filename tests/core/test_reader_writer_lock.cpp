#include "KestroReaderWriterLock.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace {

using std::chrono::milliseconds;

template <class Predicate>
void waitUntil(Predicate predicate) {
  while (!predicate()) std::this_thread::sleep_for(milliseconds(1));
}

// The re-entrant lock answers per thread, so the probe runs on a thread of its own.
template <class Lock>
int otherThreadCanRead(Lock& lock) {
  int taken = 0;
  std::thread([&] { if ((taken = lock.TryAcquireReaderLock()) != 0) lock.ReleaseReaderLock(); }).join();
  return taken;
}

std::pair<unsigned long, unsigned long> statusOf(const CReaderWriterLock& lock) {
  std::pair<unsigned long, unsigned long> status(9, 9);
  lock.GetCurrentThreadStatus(&status.first, &status.second);
  return status;
}

// Checks who is inside on every entry. |value| is written by writers only and read by
// readers without atomics, so TSan reports any overlap as well.
struct Occupancy {
  std::atomic<int> readers{0}, writers{0};
  std::atomic<long long> writes{0};
  std::atomic<bool> violated{false};
  long long value = 0;

  void read() {
    ++readers;
    if (writers != 0 || value < 0) violated = true;
    --readers;
  }
  void write() {
    if (writers.fetch_add(1) != 0 || readers != 0) violated = true;
    ++value;
    ++writes;
    --writers;
  }
};

// Several threads run the steps in turn for a fixed time.
void runFor(milliseconds duration, const std::vector<std::function<void()>>& steps) {
  auto deadline = std::chrono::steady_clock::now() + duration;
  std::vector<std::thread> threads;
  for (size_t t = 0; t < 6; ++t) {
    threads.emplace_back([&, t] {
      for (size_t round = t; std::chrono::steady_clock::now() < deadline; ++round) steps[round % steps.size()]();
    });
  }
  for (auto& thread : threads) thread.join();
}

}  // namespace

// Tests that a waiting writer is preferred: a reader arriving while it waits goes after it.
TEST(ReaderWriterLockNonReentrance, WriterWaitsForReadersAndLateReaderWaitsForWriter) {
  CReaderWriterLockNonReentrance lock;
  for (int i = 0; i < 3; ++i) lock.AcquireReaderLock();
  std::atomic<bool> writerIn{false}, writerOut{false}, lateReaderIn{false};
  std::thread writer([&] {
    lock.AcquireWriterLock();
    writerIn = true;
    std::this_thread::sleep_for(milliseconds(20));
    EXPECT_FALSE(lateReaderIn);
    writerOut = true;
    lock.ReleaseWriterLock();
  });
  waitUntil([&] { return otherThreadCanRead(lock) == 0; });  // the writer is counted
  std::thread lateReader([&] {
    lock.AcquireReaderLock();
    EXPECT_TRUE(writerOut);
    lateReaderIn = true;
    lock.ReleaseReaderLock();
  });
  lock.ReleaseReaderLock();
  lock.ReleaseReaderLock();
  std::this_thread::sleep_for(milliseconds(20));
  EXPECT_FALSE(writerIn);
  lock.ReleaseReaderLock();
  writer.join();
  lateReader.join();
  EXPECT_TRUE(lateReaderIn);
}

TEST(ReaderWriterLockNonReentrance, TryVariantsNeverWaitAndReleasesNotHeldAreIgnored) {
  CReaderWriterLockNonReentrance lock;
  lock.ReleaseReaderLock();
  lock.ReleaseWriterLock();
  lock.DowngradeFromWriterLock();
  ASSERT_EQ(lock.TryAcquireReaderLock(), 1);
  lock.ReleaseWriterLock();  // a reader holds it, so no writer can
  EXPECT_EQ(lock.TryAcquireWriterLock(), 0);
  lock.ReleaseReaderLock();
  ASSERT_EQ(lock.TryAcquireWriterLock(), 1);
  EXPECT_EQ(lock.TryAcquireReaderLock(), 0);
  lock.ReleaseWriterLock();
  lock.ReleaseWriterLock();
  EXPECT_EQ(lock.TryAcquireWriterLock(), 1);
  lock.ReleaseWriterLock();
}

// Tests that an upgrading reader goes ahead of a writer that was waiting, and that after
// a downgrade the writer still waits for the last read to be released.
TEST(ReaderWriterLockNonReentrance, UpgradeGoesAheadOfWaitingWriterAndDowngradeKeepsItOut) {
  CReaderWriterLockNonReentrance lock;
  lock.AcquireReaderLock();
  std::atomic<bool> writerIn{false};
  std::thread writer([&] {
    lock.AcquireWriterLock();
    writerIn = true;
    lock.ReleaseWriterLock();
  });
  waitUntil([&] { return otherThreadCanRead(lock) == 0; });
  lock.ReleaseReaderAndAcquireWriterLock();  // no other reader: in at once
  lock.DowngradeFromWriterLock();
  std::this_thread::sleep_for(milliseconds(20));
  EXPECT_FALSE(writerIn);
  lock.ReleaseReaderLock();
  writer.join();
  EXPECT_TRUE(writerIn);
}

TEST(ReaderWriterLock, NestedLocksOfOneThreadReleaseTheLockOnlyWhenAllAreGone) {
  CReaderWriterLock lock;
  EXPECT_EQ(statusOf(lock), std::make_pair(0ul, 0ul));
  lock.GetCurrentThreadStatus(nullptr, nullptr);
  lock.AcquireWriterLock();
  lock.AcquireWriterLock();
  lock.AcquireReaderLock();
  EXPECT_EQ(statusOf(lock), std::make_pair(1ul, 2ul));
  lock.ReleaseReaderLock();
  lock.ReleaseWriterLock();
  EXPECT_EQ(otherThreadCanRead(lock), 0);
  lock.ReleaseWriterLock();
  EXPECT_EQ(otherThreadCanRead(lock), 1);

  lock.AcquireWriterLock();
  lock.AcquireReaderLock();
  lock.AcquireWriterLock();
  lock.ReleaseAllLocks();
  EXPECT_EQ(statusOf(lock), std::make_pair(0ul, 0ul));
  EXPECT_EQ(otherThreadCanRead(lock), 1);
}

// Tests that a lone reader's write lock goes in at once and leaves it a reader again.
TEST(ReaderWriterLock, LoneReaderUpgradesAtOnceAndIsAReaderAgainAfterward) {
  CReaderWriterLock lock;
  lock.AcquireReaderLock();
  lock.AcquireWriterLock();
  EXPECT_EQ(otherThreadCanRead(lock), 0);
  lock.ReleaseWriterLock();
  EXPECT_EQ(statusOf(lock), std::make_pair(1ul, 0ul));
  EXPECT_EQ(otherThreadCanRead(lock), 1);
  lock.ReleaseReaderLock();
}

TEST(ReaderWriterLock, ReleasesOfLocksTheThreadDoesNotHoldAreIgnored) {
  CReaderWriterLock lock;
  lock.AcquireWriterLock();
  lock.ReleaseReaderLock();
  std::thread([&] { lock.ReleaseWriterLock(); lock.ReleaseAllLocks(); }).join();
  EXPECT_EQ(statusOf(lock), std::make_pair(0ul, 1ul));
  EXPECT_EQ(otherThreadCanRead(lock), 0);
  lock.ReleaseWriterLock();
  lock.ReleaseWriterLock();
  EXPECT_EQ(otherThreadCanRead(lock), 1);
}

// Readers, writers, upgrades and downgrades on six threads; meant for TSan as well.
TEST(ReaderWriterLockNonReentrance, StressKeepsWritersExclusive) {
  CReaderWriterLockNonReentrance lock;
  Occupancy inside;
  runFor(milliseconds(300), {
    [&] { lock.AcquireReaderLock(); inside.read(); lock.ReleaseReaderLock(); },
    [&] { lock.AcquireReaderLock(); lock.ReleaseReaderAndAcquireWriterLock(); inside.write(); lock.ReleaseWriterLock(); },
    [&] { lock.AcquireWriterLock(); inside.write(); lock.DowngradeFromWriterLock(); inside.read(); lock.ReleaseReaderLock(); },
    [&] { if (lock.TryAcquireWriterLock() != 0) { inside.write(); lock.ReleaseWriterLock(); } },
  });
  EXPECT_FALSE(inside.violated);
  EXPECT_EQ(inside.value, inside.writes);
  EXPECT_EQ(lock.TryAcquireWriterLock(), 1);  // nothing is left held or counted
  lock.ReleaseWriterLock();
}

// Nested reads and writes, reads inside writes, upgrades (a reader's first write lock)
// and downgrades (its release while reads remain).
TEST(ReaderWriterLock, StressKeepsWritersExclusiveWithNesting) {
  CReaderWriterLock lock;
  Occupancy inside;
  auto tryUpgrade = [&] { if (lock.TryAcquireWriterLock() != 0) { inside.write(); lock.ReleaseWriterLock(); } };
  runFor(milliseconds(300), {
    [&] { lock.AcquireReaderLock(); lock.AcquireReaderLock(); inside.read(); tryUpgrade(); lock.ReleaseAllLocks(); },
    [&] { lock.AcquireReaderLock(); lock.AcquireWriterLock(); inside.write(); lock.ReleaseWriterLock(); inside.read(); lock.ReleaseReaderLock(); },
    [&] { lock.AcquireWriterLock(); lock.AcquireWriterLock(); lock.AcquireReaderLock(); inside.write(); lock.ReleaseAllLocks(); },
    [&] { lock.AcquireWriterLock(); lock.AcquireReaderLock(); lock.ReleaseWriterLock(); inside.read(); lock.ReleaseReaderLock(); },
    tryUpgrade,
  });
  EXPECT_FALSE(inside.violated);
  EXPECT_EQ(inside.value, inside.writes);
  EXPECT_EQ(lock.TryAcquireWriterLock(), 1);
  lock.ReleaseWriterLock();
}
