#include <gtest/gtest.h>

#include "KernelTestSupport.h"

using namespace kcm_test;

namespace {

HANDLE newPort() { return CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1); }

struct Dequeued {
  BOOL ok = FALSE;
  DWORD bytes = 0;
  ULONG_PTR key = 0;
  LPOVERLAPPED overlapped = reinterpret_cast<LPOVERLAPPED>(0x1);  // must be overwritten
  DWORD error = 0;
};

Dequeued dequeue(HANDLE port, DWORD milliseconds) {
  Dequeued result;
  result.ok = GetQueuedCompletionStatus(port, &result.bytes, &result.key, &result.overlapped, milliseconds);
  result.error = GetLastError();
  return result;
}

}  // namespace

// Tests that packets come out in posting order with their three values.
TEST(CompletionPort, PacketsAreHandedOutInPostingOrder) {
  HANDLE port = newPort();
  OVERLAPPED first{}, second{};
  PostQueuedCompletionStatus(port, 10, 100, &first);
  PostQueuedCompletionStatus(port, 20, 200, &second);
  Dequeued a = dequeue(port, 0), b = dequeue(port, 0);
  EXPECT_TRUE(a.ok && a.bytes == 10 && a.key == 100 && a.overlapped == &first);
  EXPECT_TRUE(b.ok && b.bytes == 20 && b.key == 200 && b.overlapped == &second);
  CloseHandle(port);
}

// Tests that an empty port times out after the given time with WAIT_TIMEOUT and a null overlapped.
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

// Tests that a post wakes a blocked waiter, and closing the port wakes the next one with
// FALSE and ERROR_INVALID_HANDLE.
TEST(CompletionPort, PostAndCloseWakeTheWaiter) {
  HANDLE port = newPort(), ready = newEvent(FALSE, FALSE);
  HANDLE waiter = startThread([=] {
    SetEvent(ready);
    Dequeued posted = dequeue(port, 5000);
    SetEvent(ready);
    Dequeued closed = dequeue(port, 5000);
    return posted.key == 77 && !closed.ok && !closed.overlapped ? closed.error : DWORD{0};
  });
  WaitForSingleObject(ready, INFINITE);
  Sleep(30);  // lets the waiter block
  PostQueuedCompletionStatus(port, 0, 77, nullptr);
  WaitForSingleObject(ready, INFINITE);
  Sleep(30);
  CloseHandle(port);
  EXPECT_EQ(joinThread(waiter), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  CloseHandle(ready);
}

// Tests that only free-standing ports can be made, and closed ports or null out-pointers are refused.
TEST(CompletionPort, BadArgumentsAreRefused) {
  HANDLE event = newEvent(TRUE, FALSE), port = newPort();
  EXPECT_EQ(CreateIoCompletionPort(event, nullptr, 0, 1), nullptr);
  EXPECT_EQ(CreateIoCompletionPort(INVALID_HANDLE_VALUE, port, 0, 1), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(GetQueuedCompletionStatus(port, nullptr, nullptr, nullptr, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  CloseHandle(port);
  EXPECT_FALSE(PostQueuedCompletionStatus(port, 0, 0, nullptr));
  EXPECT_EQ(dequeue(port, 0).error, static_cast<DWORD>(ERROR_INVALID_HANDLE));
  CloseHandle(event);
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

// Tests that three posters and two takers on one port lose nothing and keep each poster's
// order, across many more packets than a take moves at once.
TEST(CompletionPort, PostersAndTakersLoseNothing) {
  const ULONG_PTR kPerPoster = 5000;
  HANDLE port = newPort();
  auto poster = [port](ULONG_PTR tag) {
    return [port, tag] {
      for (ULONG_PTR i = 0; i < kPerPoster; ++i) PostQueuedCompletionStatus(port, static_cast<DWORD>(tag), i, nullptr);
      return DWORD{0};
    };
  };
  // A taker ends on a zero-byte packet; it answers 1 if each poster's keys rose.
  std::atomic<ULONG_PTR> received{0};
  auto taker = [port, &received] {
    ULONG_PTR last[4] = {0, 0, 0, 0};
    bool seen[4] = {false, false, false, false};
    bool rising = true;
    for (;;) {
      Dequeued packet = dequeue(port, 10000);
      if (!packet.ok || packet.bytes == 0) break;
      rising = rising && (!seen[packet.bytes] || packet.key > last[packet.bytes]);
      seen[packet.bytes] = true;
      last[packet.bytes] = packet.key;
      ++received;
    }
    return rising ? DWORD{1} : DWORD{0};
  };
  HANDLE takers[] = {startThread(taker), startThread(taker)};
  HANDLE posters[] = {startThread(poster(1)), startThread(poster(2)), startThread(poster(3))};
  for (HANDLE thread : posters) joinThread(thread);
  PostQueuedCompletionStatus(port, 0, 0, nullptr);
  PostQueuedCompletionStatus(port, 0, 0, nullptr);
  for (HANDLE thread : takers) EXPECT_EQ(joinThread(thread), 1u);
  EXPECT_EQ(received.load(), 3 * kPerPoster);
  CloseHandle(port);
}
