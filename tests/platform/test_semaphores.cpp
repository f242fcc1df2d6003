#include <gtest/gtest.h>

#include "KernelTestSupport.h"

// Tests that each satisfied wait takes one from the count.
TEST(Semaphores, WaitTakesOneFromTheCount) {
  HANDLE semaphore = CreateSemaphoreW(nullptr, 2, 5, nullptr);
  EXPECT_EQ(WaitForSingleObject(semaphore, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(semaphore, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(semaphore, 0), WAIT_TIMEOUT);
  CloseHandle(semaphore);
}

// Tests that a release reports the previous count, and one past the maximum changes nothing.
TEST(Semaphores, ReleaseBeyondMaximumFailsAndChangesNothing) {
  HANDLE semaphore = CreateSemaphoreA(nullptr, 1, 3, nullptr);
  LONG previous = -1;
  EXPECT_FALSE(ReleaseSemaphore(semaphore, 3, &previous));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(previous, -1);
  EXPECT_TRUE(ReleaseSemaphore(semaphore, 2, &previous));
  EXPECT_EQ(previous, 1);
  EXPECT_FALSE(ReleaseSemaphore(semaphore, 1, &previous));
  CloseHandle(semaphore);
}

// Tests that impossible counts fail with ERROR_INVALID_PARAMETER.
TEST(Semaphores, InvalidCountsFailWithInvalidParameter) {
  EXPECT_EQ(CreateSemaphoreW(nullptr, 3, 2, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(CreateSemaphoreW(nullptr, 0, 0, nullptr), nullptr);
  EXPECT_EQ(CreateSemaphoreW(nullptr, -1, 2, nullptr), nullptr);
  HANDLE semaphore = CreateSemaphoreW(nullptr, 0, 2, nullptr);
  EXPECT_FALSE(ReleaseSemaphore(semaphore, 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  CloseHandle(semaphore);
}
