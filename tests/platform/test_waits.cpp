#include <gtest/gtest.h>

#include <atomic>

#include "KernelTestSupport.h"

using namespace kcm_test;

// Tests that a zero time-out on an unsignalled object answers WAIT_TIMEOUT at once.
TEST(Waits, ZeroTimeoutOnUnsignaledObjectAnswersAtOnce) {
  HANDLE event = newEvent(TRUE, FALSE);
  Stopwatch stopwatch;
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  EXPECT_LT(stopwatch.elapsedMs(), 500);
  CloseHandle(event);
}

// Tests that a finite time-out waits at least that long.
TEST(Waits, FiniteTimeoutWaitsAtLeastThatLong) {
  HANDLE event = newEvent(TRUE, FALSE);
  Stopwatch stopwatch;
  EXPECT_EQ(WaitForSingleObjectEx(event, 120, TRUE), WAIT_TIMEOUT);
  EXPECT_GE(stopwatch.elapsedMs(), 120);
  EXPECT_LT(stopwatch.elapsedMs(), 1500);
  CloseHandle(event);
}

// Tests that wait-any answers the lowest signalled index and consumes only that object.
TEST(Waits, WaitAnyAnswersLowestSignaledIndex) {
  HANDLE events[3] = {newEvent(FALSE, FALSE), newEvent(FALSE, TRUE), newEvent(FALSE, TRUE)};
  EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0 + 2);
  EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_TIMEOUT);
  for (HANDLE event : events) CloseHandle(event);
}

// Tests that a blocked wait-all consumes nothing until its last object is signalled,
// then takes all of them at once.
TEST(Waits, WaitAllDoesNotConsumeUntilAllAreSignaled) {
  HANDLE objects[2] = {CreateSemaphoreW(nullptr, 1, 1, nullptr), newEvent(FALSE, FALSE)};
  std::atomic<bool> done{false};
  HANDLE waiter = startThread([&] {
    DWORD result = WaitForMultipleObjects(2, objects, TRUE, 5000);
    done = true;
    return result;
  });
  Sleep(50);
  EXPECT_FALSE(done.load());
  EXPECT_FALSE(ReleaseSemaphore(objects[0], 1, nullptr));  // still at its maximum: not taken
  SetEvent(objects[1]);
  EXPECT_EQ(joinThread(waiter), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForMultipleObjects(2, objects, FALSE, 0), WAIT_TIMEOUT);
  for (HANDLE object : objects) CloseHandle(object);
}

// Tests that a count of 0 or above 64, a null array or an object named twice in a
// wait-all fail with ERROR_INVALID_PARAMETER, and a bad handle with ERROR_INVALID_HANDLE.
TEST(Waits, BadArgumentsFailTheWait) {
  HANDLE many[MAXIMUM_WAIT_OBJECTS + 1];
  for (HANDLE& slot : many) slot = newEvent(TRUE, TRUE);
  HANDLE twice[2] = {many[0], nullptr};
  DuplicateHandle(GetCurrentProcess(), many[0], GetCurrentProcess(), &twice[1], 0, FALSE, DUPLICATE_SAME_ACCESS);
  EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, many, TRUE, 0), WAIT_OBJECT_0);
  for (DWORD count : {0u, MAXIMUM_WAIT_OBJECTS + 1u}) {
    EXPECT_EQ(WaitForMultipleObjects(count, many, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  }
  EXPECT_EQ(WaitForMultipleObjects(2, nullptr, FALSE, 0), WAIT_FAILED);
  EXPECT_EQ(WaitForMultipleObjectsEx(2, twice, TRUE, 0, FALSE), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  CloseHandle(twice[1]);
  EXPECT_EQ(WaitForMultipleObjects(2, twice, FALSE, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  for (HANDLE slot : many) CloseHandle(slot);
}
