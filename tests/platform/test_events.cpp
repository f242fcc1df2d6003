#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "KernelTestSupport.h"

using namespace kcm_test;

namespace {
std::vector<HANDLE> startWaiters(HANDLE event, int count, std::atomic<int>* released) {
  std::vector<HANDLE> waiters;
  while (count-- > 0) {
    waiters.push_back(startThread([=] {
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
  HANDLE event = newEvent(FALSE, FALSE);
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

// Tests that a manual-reset event releases every waiter and stays signalled until reset.
TEST(Events, ManualResetEventReleasesAllWaiters) {
  HANDLE event = newEvent(TRUE, FALSE);
  std::atomic<int> released{0};
  std::vector<HANDLE> waiters = startWaiters(event, 3, &released);
  Sleep(30);
  SetEvent(event);
  for (HANDLE waiter : waiters) EXPECT_EQ(joinThread(waiter), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  ResetEvent(event);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  CloseHandle(event);
}

// Tests that a name opens the existing event (narrow names as UTF-8) with ERROR_ALREADY_EXISTS.
TEST(Events, NamedEventOpensExistingObject) {
  HANDLE first = CreateEventW(nullptr, TRUE, FALSE, L"kcm-test-event-\u00e9");
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  HANDLE second = CreateEventA(nullptr, FALSE, TRUE, "kcm-test-event-\xc3\xa9");
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_TIMEOUT);  // the existing state, not the new one
  SetEvent(first);
  EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0);
  EXPECT_EQ(CreateSemaphoreW(nullptr, 0, 1, L"kcm-test-event-\u00e9"), nullptr);  // another kind
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  CloseHandle(first);
  CloseHandle(second);
}
