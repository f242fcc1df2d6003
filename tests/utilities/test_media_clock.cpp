#include <gtest/gtest.h>
#include <unistd.h>

#include "KestroFormatHelpers.h"
#include "WrapClock.h"
#include "timeapi.h"

// Tests that the clock keeps rising across two wraps of the 32-bit millisecond counter.
TEST(MediaClock, StaysMonotonicAcrossCounterWraps) {
  const int64_t wrap = (int64_t{1} << 32) * 10000;
  DWORD counter = 0xFFFFFF00u;
  CWrapClock clock([&counter] { return counter; });
  EXPECT_EQ(clock.Now(), int64_t{0xFFFFFF00u} * 10000);
  counter = 0x10;
  EXPECT_EQ(clock.Now(), wrap + 0x10 * 10000);
  counter = 0xFFFFFFFFu;
  EXPECT_EQ(clock.Now(), wrap + int64_t{0xFFFFFFFFu} * 10000);
  counter = 0;
  EXPECT_EQ(clock.Now(), 2 * wrap);
  EXPECT_EQ(clock.Now(), 2 * wrap);  // an unchanged counter is no wrap
}

// Tests that kcm_date_ns counts timeGetTime's milliseconds in 100 ns units.
TEST(MediaClock, DateNsFollowsTimeGetTime) {
  const int64_t before = kcm_date_ns();
  const DWORD ticksBefore = timeGetTime();
  usleep(30000);
  const int64_t elapsed = kcm_date_ns() - before;
  EXPECT_GE(elapsed, 29 * 10000);
  EXPECT_LE(elapsed, (timeGetTime() - ticksBefore + 2) * int64_t{10000});
}
