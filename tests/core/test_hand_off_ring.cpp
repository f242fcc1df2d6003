#include "KestroHandOffRing.h"

#include <stdint.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "AllocationCounter.h"

namespace {

// Small segments, so that a few values already cross several segment boundaries.
typedef KcmHandOffRing<uint64_t, 4> SmallRing;

std::vector<uint64_t> waitingValues(const SmallRing& ring) {
  std::vector<uint64_t> values;
  ring.forEachWaiting([&values](uint64_t value) { values.push_back(value); });
  return values;
}

}  // namespace

TEST(HandOffRing, ValuesComeOutInOrderAcrossSegments) {
  SmallRing ring;
  uint64_t value = 0;
  EXPECT_FALSE(ring.pop(&value));
  for (uint64_t i = 0; i < 11; ++i) ring.push(i);
  EXPECT_EQ(ring.waiting(), 11u);
  EXPECT_EQ(waitingValues(ring), std::vector<uint64_t>({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  for (uint64_t i = 0; i < 6; ++i) {
    ASSERT_TRUE(ring.pop(&value));
    EXPECT_EQ(value, i);
  }
  for (uint64_t i = 11; i < 14; ++i) ring.push(i);
  EXPECT_EQ(waitingValues(ring), std::vector<uint64_t>({6, 7, 8, 9, 10, 11, 12, 13}));
  for (uint64_t i = 6; i < 14; ++i) {
    ASSERT_TRUE(ring.pop(&value));
    EXPECT_EQ(value, i);
  }
  EXPECT_FALSE(ring.pop(&value));
  EXPECT_EQ(ring.waiting(), 0u);
  EXPECT_TRUE(waitingValues(ring).empty());
}

TEST(HandOffRing, PeekLooksAheadWithoutTaking) {
  SmallRing ring;
  uint64_t value = 0;
  EXPECT_FALSE(ring.peek(0, &value));
  for (uint64_t i = 0; i < 7; ++i) ring.push(i);
  ASSERT_TRUE(ring.pop(&value));
  ASSERT_TRUE(ring.pop(&value));
  ASSERT_TRUE(ring.pop(&value));  // the reader stands at the end of its first segment
  for (uint64_t ahead = 0; ahead < 4; ++ahead) {
    ASSERT_TRUE(ring.peek(ahead, &value));
    EXPECT_EQ(value, 3 + ahead);
  }
  EXPECT_FALSE(ring.peek(4, &value));
  ring.stage(7);
  EXPECT_FALSE(ring.peek(4, &value)) << "a staged value is not visible yet";
  ring.publish();
  ASSERT_TRUE(ring.peek(4, &value));
  EXPECT_EQ(value, 7u);
  EXPECT_EQ(ring.waiting(), 5u);
}

// The recycling promise: a backlog shorter than a segment never allocates, however long
// the stream; a longer backlog allocates while it builds up and frees as it drains.
TEST(HandOffRing, SteadyStreamAllocatesNothing) {
  SmallRing ring;
  uint64_t value = 0;
  kcm_test::AllocationCounter steady;
  steady.startOnThisThread();
  for (uint64_t i = 0; i < 1000; ++i) {
    ring.push(i);
    if (i % 3 == 2) {
      for (int k = 0; k < 3; ++k) ring.pop(&value);
    }
  }
  steady.stopOnThisThread();
  EXPECT_EQ(steady.count(), 0u);
  EXPECT_EQ(value, 998u);

  kcm_test::AllocationCounter backlog;
  backlog.startOnThisThread();
  for (uint64_t i = 0; i < 40; ++i) ring.push(i);
  while (ring.pop(&value)) {
  }
  backlog.stopOnThisThread();
  EXPECT_GE(backlog.count(), 8u);  // the ASan run checks that the drained segments are freed
}

// One writer thread and one reader thread, each side under its own lock as the library
// uses it, plus a second writer: every value arrives once, each writer's in order.
TEST(HandOffRing, ConcurrentWritersAndReaderLoseNothing) {
  const uint64_t kPerWriter = 20000;
  SmallRing ring;
  std::mutex writeLock;
  std::mutex readLock;
  auto writer = [&](uint64_t tag) {
    for (uint64_t i = 0; i < kPerWriter; ++i) {
      std::lock_guard<std::mutex> lock(writeLock);
      ring.push(tag << 32 | i);
    }
  };
  std::thread first(writer, 1), second(writer, 2);
  uint64_t next[3] = {0, 0, 0};
  bool ordered = true;
  for (uint64_t received = 0; received < 2 * kPerWriter;) {
    uint64_t value = 0;
    bool taken;
    {
      std::lock_guard<std::mutex> lock(readLock);
      taken = ring.pop(&value);
    }
    if (!taken) {
      std::this_thread::yield();
      continue;
    }
    uint64_t& expected = next[value >> 32];
    ordered = ordered && (value & 0xFFFFFFFFu) == expected;
    ++expected;
    ++received;
  }
  first.join();
  second.join();
  EXPECT_TRUE(ordered);
  EXPECT_EQ(next[1], kPerWriter);
  EXPECT_EQ(next[2], kPerWriter);
}

// A writer that stages values and publishes them in batches of varying length, as the
// data storage gives packets back, against a reader that peeks ahead before it pops:
// the reader sees values only once published, in order, across many segments.
TEST(HandOffRing, BatchedPublishingAgainstAPeekingReader) {
  const uint64_t kValues = 30000;
  SmallRing ring;
  std::thread writer([&ring] {
    for (uint64_t i = 0; i < kValues; ++i) {
      ring.stage(i);
      if (i % 7 == 6 || i % 11 == 0) ring.publish();
    }
    ring.publish();
  });
  bool ordered = true;
  for (uint64_t expected = 0; expected < kValues;) {
    uint64_t ahead = 0;
    if (ring.peek(2, &ahead)) ordered = ordered && ahead == expected + 2;
    uint64_t value = 0;
    if (!ring.pop(&value)) {
      std::this_thread::yield();
      continue;
    }
    ordered = ordered && value == expected++;
  }
  writer.join();
  EXPECT_TRUE(ordered);
}
