#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "KernelTestSupport.h"
#include "windows.h"

using kcm_test::joinThread;
using kcm_test::startThread;

namespace {

std::vector<HANDLE> startWaiters(HANDLE event, int count, std::atomic<int>* released) {
  std::vector<HANDLE> waiters;
  for (int i = 0; i < count; ++i) {
    waiters.push_back(startThread([event, released] {
      DWORD result = WaitForSingleObject(event, INFINITE);
      ++*released;
      return result;
    }));
  }
  return waiters;
}

}  // namespace

// Tests that one SetEvent on an auto-reset event releases exactly one of several waiters.
TEST(Events, AutoResetEventReleasesExactlyOneWaiter) {
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  std::atomic<int> released{0};
  std::vector<HANDLE> waiters = startWaiters(event, 3, &released);
  Sleep(30);
  SetEvent(event);
  Sleep(100);
  EXPECT_EQ(released.load(), 1);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);  // the release consumed the signal
  while (released.load() < 3) {
    SetEvent(event);
    Sleep(5);
  }
  for (HANDLE waiter : waiters) EXPECT_EQ(joinThread(waiter), WAIT_OBJECT_0);
  CloseHandle(event);
}

// Tests that a manual-reset event releases every waiter and stays signalled.
TEST(Events, ManualResetEventReleasesAllWaiters) {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::atomic<int> released{0};
  std::vector<HANDLE> waiters = startWaiters(event, 3, &released);
  Sleep(30);
  SetEvent(event);
  for (HANDLE waiter : waiters) EXPECT_EQ(joinThread(waiter), WAIT_OBJECT_0);
  EXPECT_EQ(released.load(), 3);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  CloseHandle(event);
}

// Tests that a satisfied wait resets an auto-reset event.
TEST(Events, AutoResetEventResetsAfterSatisfiedWait) {
  HANDLE event = CreateEventW(nullptr, FALSE, TRUE, nullptr);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  CloseHandle(event);
}

// Tests that ResetEvent unsignals a manual-reset event and the initial state is honoured.
TEST(Events, ResetEventUnsignalsManualResetEvent) {
  HANDLE event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(ResetEvent(event));
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  CloseHandle(event);
}

// Tests that a second create of a name opens the same event and reports ERROR_ALREADY_EXISTS.
TEST(Events, NamedEventOpensExistingObject) {
  HANDLE first = CreateEventW(nullptr, TRUE, FALSE, L"kcm-test-event-\u00e9");
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  HANDLE second = CreateEventW(nullptr, FALSE, TRUE, L"kcm-test-event-\u00e9");
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_NE(first, second);
  EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_TIMEOUT);  // the existing state, not the new one
  SetEvent(first);
  EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0);
  CloseHandle(first);
  CloseHandle(second);
}

// Tests that narrow and wide names meet (narrow names are taken as UTF-8).
TEST(Events, NarrowAndWideNamesNameTheSameEvent) {
  HANDLE narrow = CreateEventA(nullptr, TRUE, FALSE, "kcm-test-event-\xc3\xa9-both");
  HANDLE wide = CreateEventW(nullptr, TRUE, FALSE, L"kcm-test-event-\u00e9-both");
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  SetEvent(narrow);
  EXPECT_EQ(WaitForSingleObject(wide, 0), WAIT_OBJECT_0);
  CloseHandle(narrow);
  CloseHandle(wide);
}

// Tests that a name held by an event cannot be used for a semaphore.
TEST(Events, NameOfAnotherKindFailsWithInvalidHandle) {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, L"kcm-test-shared-name");
  EXPECT_EQ(CreateSemaphoreW(nullptr, 0, 1, L"kcm-test-shared-name"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  CloseHandle(event);
}

// Tests that a name is free again once the last handle to its event is closed.
TEST(Events, NameIsFreedWithItsLastHandle) {
  HANDLE first = CreateEventW(nullptr, TRUE, TRUE, L"kcm-test-reused-name");
  CloseHandle(first);
  HANDLE second = CreateEventW(nullptr, TRUE, FALSE, L"kcm-test-reused-name");
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_TIMEOUT);
  CloseHandle(second);
}
