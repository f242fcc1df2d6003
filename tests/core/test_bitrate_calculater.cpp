#include "KestroBitrateCalculater.h"

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

using std::chrono::milliseconds;

TEST(BitrateCalculater, KBTotalCountsWholeKibibytes) {
  CBitrateCalculater calculater;
  calculater.Deliver(1023);
  EXPECT_EQ(calculater.KBTotal(), 0u);
  calculater.Deliver(1);
  EXPECT_EQ(calculater.KBTotal(), 1u);
}

// Tests that a second kbpsCurrent(true) within the same tick repeats the first answer
// instead of restarting the window: a restarted window would answer 0.
TEST(BitrateCalculater, CurrentRateWithinOneTickRepeatsWithoutRestarting) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    CBitrateCalculater calculater;
    calculater.Deliver(10000);
    calculater.Deliver(10000);
    std::this_thread::sleep_for(milliseconds(5));
    unsigned long before = calculater.tsDuration();
    double first = calculater.kbpsCurrent(true);
    double second = calculater.kbpsCurrent(true);
    double deliveries = calculater.samplerateCurrent(false);
    unsigned long after = calculater.tsDuration();
    if (before != after) continue;  // the tick moved between the calls: try again
    EXPECT_GE(before, 5u);
    EXPECT_DOUBLE_EQ(first, 20000.0 / before * 8.0);  // bytes per ms times 8: kilobits per second
    EXPECT_DOUBLE_EQ(second, first);
    EXPECT_DOUBLE_EQ(deliveries, 2.0 / before);
    return;
  }
  FAIL() << "the clock never stood still over two calls";
}

TEST(BitrateCalculater, AveragesAreZeroInTheFirstSecondThenPerMillisecond) {
  CBitrateCalculater calculater;
  calculater.Deliver(125000);
  calculater.Deliver(12500);
  EXPECT_EQ(calculater.kbpsAverage(), 0.0);
  EXPECT_EQ(calculater.samplerateAverage(), 0.0);
  std::this_thread::sleep_for(milliseconds(1050));
  double shortest = calculater.tsDuration();
  double kbps = calculater.kbpsAverage();
  double deliveries = calculater.samplerateAverage();
  double longest = calculater.tsDuration();
  EXPECT_GE(kbps, 137500.0 / longest * 8.0);
  EXPECT_LE(kbps, 137500.0 / shortest * 8.0);
  EXPECT_GT(kbps, 900.0);
  EXPECT_GE(deliveries, 2.0 / longest);
  EXPECT_LE(deliveries, 2.0 / shortest);
}
