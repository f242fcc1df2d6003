#include <gtest/gtest.h>

#include <atomic>

#include "KernelTestSupport.h"
#include "windows.h"

using kcm_test::joinThread;
using kcm_test::startThread;
using kcm_test::Stopwatch;

namespace {

HANDLE newEvent(BOOL manualReset, BOOL signaled) { return CreateEventW(nullptr, manualReset, signaled, nullptr); }

}  // namespace

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
  EXPECT_EQ(WaitForSingleObject(event, 120), WAIT_TIMEOUT);
  EXPECT_GE(stopwatch.elapsedMs(), 120);
  EXPECT_LT(stopwatch.elapsedMs(), 1500);
  CloseHandle(event);
}

// Tests that an infinite wait is ended by a signal from another thread.
TEST(Waits, InfiniteWaitEndsWhenAnotherThreadSignals) {
  HANDLE event = newEvent(FALSE, FALSE);
  HANDLE waiter = startThread([event] { return WaitForSingleObject(event, INFINITE); });
  Sleep(20);
  SetEvent(event);
  EXPECT_EQ(joinThread(waiter), WAIT_OBJECT_0);
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

// Tests that wait-all consumes nothing while one of its objects is unsignalled.
TEST(Waits, WaitAllDoesNotConsumeUntilAllAreSignaled) {
  HANDLE semaphore = CreateSemaphoreW(nullptr, 1, 1, nullptr);
  HANDLE objects[2] = {semaphore, newEvent(FALSE, FALSE)};
  EXPECT_EQ(WaitForMultipleObjects(2, objects, TRUE, 30), WAIT_TIMEOUT);
  LONG previous = -1;
  EXPECT_FALSE(ReleaseSemaphore(semaphore, 1, &previous));  // still at its maximum of 1
  SetEvent(objects[1]);
  EXPECT_EQ(WaitForMultipleObjects(2, objects, TRUE, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(semaphore, 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(objects[1], 0), WAIT_TIMEOUT);
  for (HANDLE object : objects) CloseHandle(object);
}

// Tests that a blocked wait-all completes only when its last object is signalled.
TEST(Waits, WaitAllCompletesWhenLastObjectIsSignaled) {
  HANDLE events[2] = {newEvent(FALSE, FALSE), newEvent(FALSE, FALSE)};
  std::atomic<bool> done{false};
  HANDLE waiter = startThread([&events, &done] {
    DWORD result = WaitForMultipleObjects(2, events, TRUE, 5000);
    done = true;
    return result;
  });
  SetEvent(events[0]);
  Sleep(50);
  EXPECT_FALSE(done.load());
  SetEvent(events[1]);
  EXPECT_EQ(joinThread(waiter), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(events[0], 0), WAIT_TIMEOUT);
  for (HANDLE event : events) CloseHandle(event);
}

// Tests that counts of 0 or above 64, a null array and an object named twice in a
// wait-all fail with ERROR_INVALID_PARAMETER.
TEST(Waits, BadArgumentsFailWithInvalidParameter) {
  HANDLE event = newEvent(TRUE, TRUE);
  HANDLE many[MAXIMUM_WAIT_OBJECTS + 1];
  for (HANDLE& slot : many) slot = event;
  EXPECT_EQ(WaitForMultipleObjects(0, many, FALSE, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS + 1, many, FALSE, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(WaitForMultipleObjects(2, nullptr, FALSE, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(WaitForMultipleObjects(2, many, TRUE, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, many, FALSE, 0), WAIT_OBJECT_0);
  CloseHandle(event);
}

// Tests that two handles to one object count as a duplicate in a wait-all.
TEST(Waits, DuplicatedHandlesOfOneObjectFailInWaitAll) {
  HANDLE objects[2] = {newEvent(TRUE, TRUE), nullptr};
  DuplicateHandle(GetCurrentProcess(), objects[0], GetCurrentProcess(), &objects[1], 0, FALSE,
                  DUPLICATE_SAME_ACCESS);
  EXPECT_EQ(WaitForMultipleObjects(2, objects, TRUE, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  for (HANDLE object : objects) CloseHandle(object);
}

// Tests that one invalid handle fails the whole wait with ERROR_INVALID_HANDLE.
TEST(Waits, InvalidHandleInArrayFailsWithInvalidHandle) {
  HANDLE objects[2] = {newEvent(TRUE, TRUE), reinterpret_cast<HANDLE>(0x7ffffff0)};
  EXPECT_EQ(WaitForMultipleObjects(2, objects, FALSE, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  CloseHandle(objects[0]);
}

// Tests that the Ex forms behave as the plain ones (no alerts exist here).
TEST(Waits, ExFormsIgnoreAlertable) {
  HANDLE event = newEvent(TRUE, TRUE);
  EXPECT_EQ(WaitForSingleObjectEx(event, 0, TRUE), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForMultipleObjectsEx(1, &event, TRUE, 0, TRUE), WAIT_OBJECT_0);
  CloseHandle(event);
}
