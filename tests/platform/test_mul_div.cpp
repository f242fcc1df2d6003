#include <gtest/gtest.h>

#include <climits>

#include "winbase.h"

// Tests that MulDiv rounds the exact quotient half away from zero, whatever the signs.
TEST(MulDiv, RoundsHalfAwayFromZero) {
  EXPECT_EQ(MulDiv(1, 1, 2), 1);
  EXPECT_EQ(MulDiv(-1, 1, 2), -1);
  EXPECT_EQ(MulDiv(1, 1, -2), -1);
  EXPECT_EQ(MulDiv(-1, -1, -2), -1);
  EXPECT_EQ(MulDiv(-7, 3, 2), -11);
  EXPECT_EQ(MulDiv(5, 1, 3), 2);
  EXPECT_EQ(MulDiv(-4, 1, 3), -1);
}

// Tests that the product keeps 64 bits, and -1 for a zero divisor or a quotient beyond 32 bits.
TEST(MulDiv, KeepsTheFullProductAndFailsWithMinusOne) {
  EXPECT_EQ(MulDiv(INT_MAX, INT_MAX, INT_MAX), INT_MAX);
  EXPECT_EQ(MulDiv(-INT_MAX, INT_MAX, INT_MAX), -INT_MAX);
  EXPECT_EQ(MulDiv(5, 7, 0), -1);
  EXPECT_EQ(MulDiv(INT_MAX, -2, 1), -1);
  EXPECT_EQ(MulDiv(INT_MIN, -1, 1), -1);
}
