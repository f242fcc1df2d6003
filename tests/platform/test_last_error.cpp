#include <thread>

#include <gtest/gtest.h>

#include "windows.h"

// Tests that the last-error value belongs to the thread that set it.
TEST(LastError, IsPerThread) {
  SetLastError(ERROR_TIMEOUT);
  DWORD seenByOther = 1;
  std::thread([&] { seenByOther = GetLastError(); }).join();
  EXPECT_EQ(seenByOther, 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
}
