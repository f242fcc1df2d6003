#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "KestroServiceThread.h"
#include "LogCapture.h"
#include "windows.h"

namespace {

// A service thread whose steps are set by the test.
class ScriptedThread : public CServiceThread {
 public:
  ~ScriptedThread() override { StopThread(INFINITE); }

  bool startAnswer = true;
  bool throwFromRun = false;
  DWORD passSleepMs = 0;
  HANDLE blockPassOn = nullptr;  // a pass waits on this forever when set
  std::atomic<int> starts{0}, passes{0}, stops{0}, messages{0};
  std::atomic<HRESULT> comAtStart{E_FAIL};

 private:
  bool OnThreadStartEvent() override {
    ++starts;
    comAtStart = CoInitialize(nullptr);  // S_FALSE: the base has initialised COM already
    CoUninitialize();
    return startAnswer;
  }
  bool OnThreadStopEvent() override {
    ++stops;
    return true;
  }
  bool OnThreadRun() override {
    ++passes;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) messages += static_cast<int>(msg.wParam);
    if (throwFromRun) throw std::runtime_error("pass failed");
    if (blockPassOn != nullptr) WaitForSingleObject(blockPassOn, INFINITE);
    Sleep(passSleepMs != 0 ? passSleepMs : 1);
    return true;
  }
};

}  // namespace

TEST(ServiceThread, StartRunsStartStepWithComThenPassesUntilStopped) {
  ScriptedThread thread;
  ASSERT_TRUE(thread.StartThead());
  EXPECT_EQ(thread.starts, 1);  // finished before StartThead returned
  EXPECT_EQ(thread.comAtStart, S_FALSE);
  EXPECT_TRUE(thread.IsRuning());
  EXPECT_NE(thread.GetThreadID(), 0u);
  EXPECT_FALSE(thread.StartThead());  // one thread per object; the running one is left alone
  EXPECT_TRUE(thread.IsRuning());
  while (thread.passes < 3) Sleep(1);
  EXPECT_TRUE(thread.StopThread(INFINITE));
  EXPECT_EQ(thread.stops, 1);
  EXPECT_FALSE(thread.IsRuning());
  EXPECT_EQ(thread.GetThreadHandle(), nullptr);
  EXPECT_TRUE(thread.StartThead());  // may start again after it ended
}

TEST(ServiceThread, FailedStartStepRunsStopStepAndEndsTheThread) {
  ScriptedThread thread;
  thread.startAnswer = false;
  EXPECT_FALSE(thread.StartThead());
  EXPECT_EQ(thread.stops, 1);
  EXPECT_EQ(thread.passes, 0);
  EXPECT_FALSE(thread.IsRuning());
  EXPECT_EQ(thread.GetThreadHandle(), nullptr);
}

TEST(ServiceThread, ThrowingPassIsLoggedAndTheThreadGoesOn) {
  kcm_test::LogCapture log;
  ScriptedThread thread;
  thread.throwFromRun = true;
  ASSERT_TRUE(thread.StartThead());
  while (thread.passes < 3) Sleep(1);
  EXPECT_TRUE(thread.IsRuning());
  EXPECT_TRUE(thread.StopThread(INFINITE));
  EXPECT_GE(log.Count("Expression: \"E_FAIL\""), 3);
  EXPECT_GE(log.Count("File: src\\ServiceThread"), 3);
}

// Tests that a finite wait that expires answers false and keeps the handle, and that a
// later StopThread(INFINITE) succeeds once the pass has ended.
TEST(ServiceThread, FiniteStopOnLongPassAnswersFalseThenInfiniteStopSucceeds) {
  ScriptedThread thread;
  thread.passSleepMs = 600;
  ASSERT_TRUE(thread.StartThead());
  while (thread.passes < 1) Sleep(1);
  EXPECT_FALSE(thread.StopThread(100));
  EXPECT_NE(thread.GetThreadHandle(), nullptr);
  EXPECT_TRUE(thread.StopThread(INFINITE));
  EXPECT_EQ(thread.stops, 1);
}

// Tests that StopThread(INFINITE) on a pass that never returns terminates the thread
// after the five-second grace with exit code -99, without its stop step.
TEST(ServiceThread, StuckPassIsTerminatedAfterGraceWithExitCodeMinus99) {
  HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ScriptedThread thread;
  thread.blockPassOn = never;
  ASSERT_TRUE(thread.StartThead());
  while (thread.passes < 1) Sleep(1);
  HANDLE observer = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), thread.GetThreadHandle(), GetCurrentProcess(), &observer, 0,
                              FALSE, DUPLICATE_SAME_ACCESS));
  const auto begin = std::chrono::steady_clock::now();
  EXPECT_TRUE(thread.StopThread(INFINITE));
  const auto waited = std::chrono::steady_clock::now() - begin;
  EXPECT_GE(waited, std::chrono::milliseconds(4900));
  EXPECT_LT(waited, std::chrono::seconds(9));
  ASSERT_EQ(WaitForSingleObject(observer, 2000), WAIT_OBJECT_0);
  DWORD exitCode = 0;
  GetExitCodeThread(observer, &exitCode);
  EXPECT_EQ(exitCode, 0xFFFFFF9Du);
  EXPECT_EQ(thread.stops, 0);
  CloseHandle(observer);
  CloseHandle(never);
}

TEST(ServiceThread, NeverStartedObjectStopsTerminatesAndRefusesMessages) {
  ScriptedThread thread;
  EXPECT_TRUE(thread.StopThread(100));
  EXPECT_TRUE(thread.TerminateThread(0));
  EXPECT_FALSE(thread.PostThreadMessageW(WM_USER, 1, 0));
  EXPECT_FALSE(thread.IsRuning());
}

TEST(ServiceThread, PostedMessagesReachThePasses) {
  ScriptedThread thread;
  ASSERT_TRUE(thread.StartThead());
  EXPECT_TRUE(thread.PostThreadMessageW(WM_USER, 20, 0));
  EXPECT_TRUE(thread.PostThreadMessageW(WM_USER + 1, 22, 0));
  for (int i = 0; i < 2000 && thread.messages < 42; ++i) Sleep(1);
  EXPECT_EQ(thread.messages, 42);
}

TEST(ServiceThread, TerminateThreadEndsWithoutStopStep) {
  HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ScriptedThread thread;
  thread.blockPassOn = never;
  ASSERT_TRUE(thread.StartThead());
  EXPECT_TRUE(thread.TerminateThread(5));
  EXPECT_EQ(thread.GetThreadHandle(), nullptr);
  EXPECT_FALSE(thread.IsRuning());
  Sleep(50);
  EXPECT_EQ(thread.stops, 0);
  CloseHandle(never);
}
