#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "KernelTestSupport.h"
#include "process.h"
#include "windows.h"

using kcm_test::joinThread;
using kcm_test::startThread;
using kcm_test::Stopwatch;

namespace {

// Empties the calling thread's queue (and gives it one).
void drainOwnQueue() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
}

unsigned __stdcall receiveOne(void*) {
  MSG msg;
  return GetMessageW(&msg, nullptr, 0, 0) > 0 ? msg.message : 0;
}

}  // namespace

// Tests that a message posted right after _beginthreadex returns is received.
TEST(MessageQueue, MessagePostedRightAfterBeginthreadexIsReceived) {
  unsigned id = 0;
  HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, receiveOne, nullptr, 0, &id));
  EXPECT_TRUE(PostThreadMessageW(id, WM_USER + 1, 0, 0));
  EXPECT_EQ(joinThread(thread), static_cast<DWORD>(WM_USER + 1));
}

// Tests that GetMessage answers 0 for WM_QUIT, after the messages posted before it.
TEST(MessageQueue, GetMessageAnswersZeroForQuit) {
  DWORD id = 0;
  HANDLE thread = startThread(
      [] {
        MSG msg;
        DWORD seen = 0;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) seen += static_cast<DWORD>(msg.wParam);
        return msg.message == WM_QUIT ? seen * 100 + static_cast<DWORD>(msg.wParam) : DWORD{0};
      },
      0, &id);
  PostThreadMessageW(id, WM_USER, 1, 0);
  PostThreadMessageA(id, WM_USER, 2, 0);
  PostThreadMessageW(id, WM_QUIT, 9, 0);
  EXPECT_EQ(joinThread(thread), 309u);
}

// Tests that PostQuitMessage posts WM_QUIT with the exit code to the caller's queue.
TEST(MessageQueue, PostQuitMessageReachesOwnQueue) {
  drainOwnQueue();
  PostQuitMessage(5);
  MSG msg;
  EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), 0);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 5u);
}

// Tests that PM_NOREMOVE leaves the message and PM_REMOVE takes it.
TEST(MessageQueue, PeekMessageRemovesOnlyWithPmRemove) {
  drainOwnQueue();
  PostThreadMessageW(GetCurrentThreadId(), WM_USER, 7, 8);
  MSG msg{};
  EXPECT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER));
  EXPECT_EQ(msg.wParam, 7u);
  EXPECT_EQ(msg.lParam, 8);
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
}

// Tests that a filter takes the oldest message in its range and leaves the others in order.
TEST(MessageQueue, FilterTakesOnlyMessagesInRange) {
  drainOwnQueue();
  const DWORD self = GetCurrentThreadId();
  PostThreadMessageW(self, WM_USER, 1, 0);
  PostThreadMessageW(self, WM_APP, 2, 0);
  PostThreadMessageW(self, WM_USER + 5, 3, 0);
  MSG msg{};
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_APP, WM_APP + 10, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 2u);
  ASSERT_TRUE(GetMessageW(&msg, nullptr, WM_USER, WM_USER + 10));
  EXPECT_EQ(msg.wParam, 1u);
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 3u);
}

// Tests that a message is stamped with the tick count of its posting.
TEST(MessageQueue, MessageTimeIsTheTickCount) {
  drainOwnQueue();
  const DWORD before = GetTickCount();
  PostThreadMessageW(GetCurrentThreadId(), WM_USER, 0, 0);
  const DWORD after = GetTickCount();
  MSG msg{};
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_LE(msg.time - before, after - before);
}

// Tests that posting to a thread with no queue, or to an ended thread, fails.
TEST(MessageQueue, PostingToThreadWithoutQueueFails) {
  std::atomic<DWORD> foreignId{0};
  HANDLE posted = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread foreign([&foreignId, posted] {
    foreignId = GetCurrentThreadId();
    WaitForSingleObject(posted, 5000);
  });
  while (foreignId.load() == 0) Sleep(1);
  EXPECT_FALSE(PostThreadMessageW(foreignId, WM_USER, 0, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  SetEvent(posted);
  foreign.join();
  DWORD endedId = 0;
  joinThread(startThread([] { return DWORD{0}; }, 0, &endedId));
  EXPECT_FALSE(PostThreadMessageW(endedId, WM_USER, 0, 0));
  CloseHandle(posted);
}

// Tests that bad arguments make GetMessage answer -1 and PeekMessage FALSE.
TEST(MessageQueue, BadArgumentsAreRefused) {
  MSG msg;
  EXPECT_EQ(GetMessageW(nullptr, nullptr, 0, 0), -1);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  HWND window = reinterpret_cast<HWND>(0x1234);
  EXPECT_EQ(GetMessageA(&msg, window, 0, 0), -1);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(PeekMessageW(&msg, window, 0, 0, PM_REMOVE));
  EXPECT_FALSE(PeekMessageW(nullptr, nullptr, 0, 0, PM_REMOVE));
}

// Tests that MsgWaitForMultipleObjects answers WAIT_OBJECT_0 + count while a message is
// queued, without taking the message.
TEST(MessageQueue, MsgWaitAnswersCountWhileQueueHoldsMessage) {
  drainOwnQueue();
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  PostThreadMessageW(GetCurrentThreadId(), WM_USER, 0, 0);
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &event, FALSE, 0, QS_ALLPOSTMESSAGE), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &event, FALSE, 0, QS_ALLPOSTMESSAGE), WAIT_OBJECT_0 + 1);
  SetEvent(event);
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &event, FALSE, 0, QS_ALLPOSTMESSAGE), WAIT_OBJECT_0);
  drainOwnQueue();
  CloseHandle(event);
}

// Tests that MsgWaitForMultipleObjects times out on an empty queue.
TEST(MessageQueue, MsgWaitTimesOutOnEmptyQueue) {
  drainOwnQueue();
  Stopwatch stopwatch;
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_POSTMESSAGE), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_GE(stopwatch.elapsedMs(), 50);
}

// Tests that a message posted by another thread wakes MsgWaitForMultipleObjects.
TEST(MessageQueue, MsgWaitWakesForPostFromAnotherThread) {
  DWORD id = 0;
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE thread = startThread(
      [ready] {
        SetEvent(ready);
        return MsgWaitForMultipleObjects(0, nullptr, FALSE, 5000, QS_POSTMESSAGE);
      },
      0, &id);
  WaitForSingleObject(ready, INFINITE);
  PostThreadMessageW(id, WM_USER, 0, 0);
  EXPECT_EQ(joinThread(thread), WAIT_OBJECT_0);
  CloseHandle(ready);
}

// Tests that MsgWaitForMultipleObjects keeps one of the 64 slots for the queue.
TEST(MessageQueue, MsgWaitRefusesSixtyFourHandles) {
  HANDLE handles[MAXIMUM_WAIT_OBJECTS] = {};
  EXPECT_EQ(MsgWaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, handles, FALSE, 0, QS_POSTMESSAGE), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}
