#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "KernelTestSupport.h"
#include "process.h"

using namespace kcm_test;

namespace {

// Empties the calling thread's queue (and gives it one).
void drainOwnQueue() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
}

unsigned __stdcall sumUntilQuit(void*) {
  MSG msg;
  unsigned sum = 0;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) sum += static_cast<unsigned>(msg.wParam);
  return msg.message == WM_QUIT ? sum * 100 + static_cast<unsigned>(msg.wParam) : 0;
}

}  // namespace

// Tests that messages posted right after _beginthreadex are received, and that GetMessage
// answers 0 for WM_QUIT after them.
TEST(MessageQueue, MessagesPostedRightAfterBeginthreadexAreReceived) {
  unsigned id = 0;
  HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, sumUntilQuit, nullptr, 0, &id));
  EXPECT_TRUE(PostThreadMessageW(id, WM_USER, 1, 0));
  EXPECT_TRUE(PostThreadMessageA(id, WM_USER, 2, 0));
  EXPECT_TRUE(PostThreadMessageW(id, WM_QUIT, 9, 0));
  EXPECT_EQ(joinThread(thread), 309u);
}

// Tests PM_NOREMOVE, PM_REMOVE and a filter that takes only the messages in its range.
TEST(MessageQueue, PeekMessageHonoursRemoveFlagAndFilter) {
  drainOwnQueue();
  const DWORD before = GetTickCount();
  PostThreadMessageW(GetCurrentThreadId(), WM_USER, 1, 0);
  PostThreadMessageW(GetCurrentThreadId(), WM_APP, 2, 3);
  MSG msg{};
  EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_APP, WM_APP + 9, PM_NOREMOVE));
  EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_APP, WM_APP + 9, PM_REMOVE));
  EXPECT_TRUE(msg.message == WM_APP && msg.wParam == 2 && msg.lParam == 3);
  EXPECT_LE(msg.time - before, GetTickCount() - before);
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_APP, WM_APP + 9, PM_REMOVE));
  EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), TRUE);
  EXPECT_EQ(msg.wParam, 1u);
}

// Tests that posting to a thread without a queue, or to an ended thread, fails.
TEST(MessageQueue, PostingToThreadWithoutQueueFails) {
  std::atomic<DWORD> foreignId{0};
  HANDLE release = newEvent(TRUE, FALSE);
  std::thread foreign([&] {
    foreignId = GetCurrentThreadId();
    WaitForSingleObject(release, 5000);
  });
  while (foreignId.load() == 0) Sleep(1);
  EXPECT_FALSE(PostThreadMessageW(foreignId, WM_USER, 0, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  SetEvent(release);
  foreign.join();
  DWORD endedId = 0;
  joinThread(startThread([] { return DWORD{0}; }, 0, &endedId));
  EXPECT_FALSE(PostThreadMessageW(endedId, WM_USER, 0, 0));
  CloseHandle(release);
}

// Tests that a window or a null MSG makes GetMessage answer -1 and PeekMessage FALSE.
TEST(MessageQueue, BadArgumentsAreRefused) {
  MSG msg;
  EXPECT_EQ(GetMessageW(nullptr, nullptr, 0, 0), -1);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(GetMessageA(&msg, reinterpret_cast<HWND>(0x1234), 0, 0), -1);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(PeekMessageW(nullptr, nullptr, 0, 0, PM_REMOVE));
}

// Tests that MsgWaitForMultipleObjects answers WAIT_OBJECT_0 + count while a message is
// queued, without taking it; PostQuitMessage queues WM_QUIT on the caller's own queue.
TEST(MessageQueue, MsgWaitAnswersCountWhileQueueHoldsMessage) {
  drainOwnQueue();
  HANDLE event = newEvent(TRUE, FALSE);
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &event, FALSE, 20, QS_ALLPOSTMESSAGE), static_cast<DWORD>(WAIT_TIMEOUT));
  PostQuitMessage(5);
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &event, FALSE, 0, QS_ALLPOSTMESSAGE), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &event, FALSE, 0, QS_ALLPOSTMESSAGE), WAIT_OBJECT_0 + 1);
  MSG msg;
  EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), FALSE);
  EXPECT_EQ(msg.wParam, 5u);
  CloseHandle(event);
}

// Tests that a message posted by another thread wakes MsgWaitForMultipleObjects.
TEST(MessageQueue, MsgWaitWakesForPostFromAnotherThread) {
  DWORD id = 0;
  HANDLE ready = newEvent(TRUE, FALSE);
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
