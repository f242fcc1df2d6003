#include <gtest/gtest.h>

#include "KernelTestSupport.h"
#include "windows.h"

using kcm_test::joinThread;
using kcm_test::startThread;

// Tests that each satisfied wait takes one from the count.
TEST(Semaphores, WaitTakesOneFromTheCount) {
  HANDLE semaphore = CreateSemaphoreW(nullptr, 2, 5, nullptr);
  EXPECT_EQ(WaitForSingleObject(semaphore, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(semaphore, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(semaphore, 0), WAIT_TIMEOUT);
  CloseHandle(semaphore);
}

// Tests that ReleaseSemaphore reports the count before the release.
TEST(Semaphores, ReleaseReportsPreviousCount) {
  HANDLE semaphore = CreateSemaphoreW(nullptr, 1, 5, nullptr);
  LONG previous = -1;
  EXPECT_TRUE(ReleaseSemaphore(semaphore, 3, &previous));
  EXPECT_EQ(previous, 1);
  EXPECT_TRUE(ReleaseSemaphore(semaphore, 1, &previous));
  EXPECT_EQ(previous, 4);
  CloseHandle(semaphore);
}

// Tests that a release past the maximum fails and leaves the count as it was.
TEST(Semaphores, ReleaseBeyondMaximumFailsAndChangesNothing) {
  HANDLE semaphore = CreateSemaphoreW(nullptr, 1, 2, nullptr);
  LONG previous = -1;
  EXPECT_FALSE(ReleaseSemaphore(semaphore, 2, &previous));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(previous, -1);
  EXPECT_TRUE(ReleaseSemaphore(semaphore, 1, &previous));
  EXPECT_EQ(previous, 1);
  CloseHandle(semaphore);
}

// Tests that impossible counts are refused with ERROR_INVALID_PARAMETER.
TEST(Semaphores, InvalidCountsFailWithInvalidParameter) {
  EXPECT_EQ(CreateSemaphoreW(nullptr, 3, 2, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(CreateSemaphoreA(nullptr, 0, 0, nullptr), nullptr);
  EXPECT_EQ(CreateSemaphoreW(nullptr, -1, 2, nullptr), nullptr);
  HANDLE semaphore = CreateSemaphoreW(nullptr, 0, 2, nullptr);
  EXPECT_FALSE(ReleaseSemaphore(semaphore, 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(ReleaseSemaphore(semaphore, -1, nullptr));
  CloseHandle(semaphore);
}

// Tests that a release of n wakes n blocked waiters.
TEST(Semaphores, ReleaseWakesAsManyWaiters) {
  HANDLE semaphore = CreateSemaphoreW(nullptr, 0, 10, nullptr);
  HANDLE first = startThread([semaphore] { return WaitForSingleObject(semaphore, 5000); });
  HANDLE second = startThread([semaphore] { return WaitForSingleObject(semaphore, 5000); });
  Sleep(30);
  ReleaseSemaphore(semaphore, 2, nullptr);
  EXPECT_EQ(joinThread(first), WAIT_OBJECT_0);
  EXPECT_EQ(joinThread(second), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(semaphore, 0), WAIT_TIMEOUT);
  CloseHandle(semaphore);
}

// Tests that a named semaphore opens the existing object, keeping its counts.
TEST(Semaphores, NamedSemaphoreOpensExistingObject) {
  HANDLE first = CreateSemaphoreA(nullptr, 1, 1, "kcm-test-semaphore");
  HANDLE second = CreateSemaphoreA(nullptr, 0, 9, "kcm-test-semaphore");
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_TIMEOUT);
  EXPECT_FALSE(ReleaseSemaphore(second, 2, nullptr));  // the maximum of the first create
  CloseHandle(first);
  CloseHandle(second);
}
