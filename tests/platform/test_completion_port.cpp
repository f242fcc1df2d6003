#include <gtest/gtest.h>

#include "KernelTestSupport.h"
#include "windows.h"

using kcm_test::joinThread;
using kcm_test::startThread;
using kcm_test::Stopwatch;

namespace {

HANDLE newPort() { return CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1); }

struct Dequeued {
  BOOL ok;
  DWORD bytes;
  ULONG_PTR key;
  LPOVERLAPPED overlapped;
  DWORD error;
};

Dequeued dequeue(HANDLE port, DWORD milliseconds) {
  Dequeued result{};
  result.overlapped = reinterpret_cast<LPOVERLAPPED>(0x1);  // must be overwritten
  result.ok = GetQueuedCompletionStatus(port, &result.bytes, &result.key, &result.overlapped, milliseconds);
  result.error = GetLastError();
  return result;
}

}  // namespace

// Tests that packets come out in the order they were posted, with all three values.
TEST(CompletionPort, PacketsAreHandedOutInPostingOrder) {
  HANDLE port = newPort();
  OVERLAPPED first{}, second{};
  PostQueuedCompletionStatus(port, 10, 100, &first);
  PostQueuedCompletionStatus(port, 20, 200, &second);
  Dequeued a = dequeue(port, 0);
  Dequeued b = dequeue(port, 0);
  EXPECT_TRUE(a.ok && b.ok);
  EXPECT_EQ(a.bytes, 10u);
  EXPECT_EQ(a.key, 100u);
  EXPECT_EQ(a.overlapped, &first);
  EXPECT_EQ(b.bytes, 20u);
  EXPECT_EQ(b.key, 200u);
  EXPECT_EQ(b.overlapped, &second);
  CloseHandle(port);
}

// Tests that an empty port times out after the given time with WAIT_TIMEOUT and a null
// overlapped pointer.
TEST(CompletionPort, TimeoutAnswersFalseWithWaitTimeout) {
  HANDLE port = newPort();
  Stopwatch stopwatch;
  Dequeued result = dequeue(port, 100);
  EXPECT_GE(stopwatch.elapsedMs(), 100);
  EXPECT_LT(stopwatch.elapsedMs(), 1500);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(result.overlapped, nullptr);
  CloseHandle(port);
}

// Tests that a zero time-out on an empty port answers at once.
TEST(CompletionPort, ZeroTimeoutOnEmptyPortAnswersAtOnce) {
  HANDLE port = newPort();
  Stopwatch stopwatch;
  EXPECT_FALSE(dequeue(port, 0).ok);
  EXPECT_LT(stopwatch.elapsedMs(), 500);
  CloseHandle(port);
}

// Tests that a post wakes a thread blocked on the port.
TEST(CompletionPort, PostWakesBlockedWaiter) {
  HANDLE port = newPort();
  HANDLE waiter = startThread([port] {
    Dequeued result = dequeue(port, INFINITE);
    return result.ok ? static_cast<DWORD>(result.key) : DWORD{0};
  });
  Sleep(30);
  PostQueuedCompletionStatus(port, 0, 77, nullptr);
  EXPECT_EQ(joinThread(waiter), 77u);
  CloseHandle(port);
}

// Tests that closing the port wakes its waiter with FALSE and ERROR_INVALID_HANDLE.
TEST(CompletionPort, ClosingPortWakesWaiterWithInvalidHandle) {
  HANDLE port = newPort();
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE waiter = startThread([port, ready] {
    SetEvent(ready);
    Dequeued result = dequeue(port, 5000);
    return result.ok || result.overlapped ? DWORD{0} : result.error;
  });
  WaitForSingleObject(ready, INFINITE);
  Sleep(30);  // lets the waiter block
  Stopwatch stopwatch;
  CloseHandle(port);
  EXPECT_EQ(joinThread(waiter), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_LT(stopwatch.elapsedMs(), 4000);
  CloseHandle(ready);
}

// Tests that a port tied to a file, or an existing port, cannot be made.
TEST(CompletionPort, OnlyFreeStandingPortsCanBeMade) {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  EXPECT_EQ(CreateIoCompletionPort(event, nullptr, 0, 1), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  HANDLE port = newPort();
  EXPECT_EQ(CreateIoCompletionPort(INVALID_HANDLE_VALUE, port, 0, 1), nullptr);
  CloseHandle(port);
  CloseHandle(event);
}

// Tests that a closed port, or any other handle, refuses posts and waits.
TEST(CompletionPort, ClosedPortIsRefused) {
  HANDLE port = newPort();
  CloseHandle(port);
  EXPECT_FALSE(PostQueuedCompletionStatus(port, 0, 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  Dequeued result = dequeue(port, 0);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(result.overlapped, nullptr);
}

// Tests that null out-pointers are refused rather than written.
TEST(CompletionPort, NullOutPointersFailWithInvalidParameter) {
  HANDLE port = newPort();
  PostQueuedCompletionStatus(port, 1, 2, nullptr);
  ULONG_PTR key = 0;
  LPOVERLAPPED overlapped = nullptr;
  EXPECT_FALSE(GetQueuedCompletionStatus(port, nullptr, &key, &overlapped, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  CloseHandle(port);
}

// Tests that a thread blocked on a port can be terminated, and the port still works.
TEST(CompletionPort, ThreadBlockedOnPortCanBeTerminated) {
  HANDLE port = newPort();
  HANDLE waiter = startThread([port] { return static_cast<DWORD>(dequeue(port, INFINITE).ok); });
  Sleep(30);
  TerminateThread(waiter, 0xFFFFFF9D);
  EXPECT_EQ(joinThread(waiter), 0xFFFFFF9Du);
  PostQueuedCompletionStatus(port, 5, 6, nullptr);
  EXPECT_TRUE(dequeue(port, 0).ok);
  CloseHandle(port);
}
