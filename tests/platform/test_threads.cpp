#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>

#include "KernelTestSupport.h"
#include "process.h"

using namespace kcm_test;

namespace {

// The exit code a service thread is terminated with after its grace period.
constexpr DWORD kTerminatedExitCode = 0xFFFFFF9D;

// Records that the stack of an ended thread was unwound.
struct UnwindWitness {
  std::atomic<bool>* destroyed;
  ~UnwindWitness() { *destroyed = true; }
};

DWORD exitCodeOf(HANDLE thread) {
  DWORD exitCode = 0;
  GetExitCodeThread(thread, &exitCode);
  return exitCode;
}

// Answers the exit code after terminating a thread blocked in `block`, and whether its
// stack was unwound.
DWORD terminateWhileBlocked(const std::function<void()>& block, bool* unwound) {
  std::atomic<bool> destroyed{false};
  HANDLE thread = startThread([&] {
    UnwindWitness witness{&destroyed};
    block();
    return DWORD{0};
  });
  Sleep(30);
  EXPECT_TRUE(TerminateThread(thread, kTerminatedExitCode));
  EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
  *unwound = destroyed.load();
  return joinThread(thread);
}

}  // namespace

// Tests that GetExitCodeThread answers STILL_ACTIVE while running, then the return value,
// and that a wait on the ended thread succeeds at once, every time.
TEST(Threads, ExitCodeIsStillActiveThenTheReturnValue) {
  HANDLE release = newEvent(TRUE, FALSE);
  HANDLE thread = startThread([release] { return WaitForSingleObject(release, INFINITE) + 42; });
  EXPECT_EQ(exitCodeOf(thread), static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_TIMEOUT);
  SetEvent(release);
  ASSERT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
  EXPECT_EQ(joinThread(thread), 42u);
  CloseHandle(release);
}

// Tests that the id from CreateThread is the thread's GetCurrentThreadId and GetThreadId.
TEST(Threads, ThreadIdIsTheSameEverywhere) {
  std::atomic<DWORD> seenInside{0};
  DWORD reported = 0;
  HANDLE thread = startThread([&] { return seenInside = GetCurrentThreadId(); }, 0, &reported);
  EXPECT_EQ(GetThreadId(thread), reported);
  EXPECT_EQ(joinThread(thread), reported);
  EXPECT_NE(reported, GetCurrentThreadId());
  EXPECT_EQ(GetThreadId(GetCurrentThread()), GetCurrentThreadId());
  EXPECT_EQ(GetCurrentProcessId(), static_cast<DWORD>(getpid()));
}

// Tests that TerminateThread ends a thread blocked in Sleep with the given exit code,
// signals its handle and unwinds its stack.
TEST(Threads, TerminateThreadEndsSleepingThreadWithGivenCode) {
  if (KCM_TEST_UNDER_TSAN) GTEST_SKIP() << "TSan cannot follow a cancellation inside nanosleep";
  bool unwound = false;
  EXPECT_EQ(terminateWhileBlocked([] { Sleep(60000); }, &unwound), kTerminatedExitCode);
  EXPECT_TRUE(unwound);
}

// Tests that TerminateThread ends a thread blocked in a wait, and that the object stays
// usable (the cancelled wait unregistered itself and left the dispatcher lock).
TEST(Threads, TerminateThreadEndsWaitingThreadAndLeavesObjectUsable) {
  HANDLE event = newEvent(FALSE, FALSE);
  bool unwound = false;
  EXPECT_EQ(terminateWhileBlocked([event] { WaitForSingleObject(event, INFINITE); }, &unwound), kTerminatedExitCode);
  EXPECT_TRUE(unwound);
  SetEvent(event);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  CloseHandle(event);
}

DWORD WINAPI countRun(LPVOID runs) { return DWORD(++*static_cast<std::atomic<int>*>(runs)); }

// Tests that a CREATE_SUSPENDED thread runs only after ResumeThread, which answers the
// previous suspend count; and that a suspended thread can be terminated unrun.
TEST(Threads, SuspendedThreadRunsOnlyAfterResume) {
  std::atomic<int> runs{0};
  HANDLE resumed = CreateThread(nullptr, 0, countRun, &runs, CREATE_SUSPENDED, nullptr);
  HANDLE terminated = CreateThread(nullptr, 0, countRun, &runs, CREATE_SUSPENDED, nullptr);
  Sleep(50);
  EXPECT_EQ(runs.load(), 0);
  EXPECT_EQ(ResumeThread(resumed), 1u);
  EXPECT_EQ(ResumeThread(resumed), 0u);
  EXPECT_EQ(joinThread(resumed), 1u);
  TerminateThread(terminated, 7);
  EXPECT_EQ(joinThread(terminated), 7u);
  EXPECT_EQ(runs.load(), 1);
}

unsigned __stdcall endWithSeven(void* destroyed) {
  UnwindWitness witness{static_cast<std::atomic<bool>*>(destroyed)};
  _endthreadex(7);
}

// Tests that _endthreadex ends a _beginthreadex thread with its code, unwinding its stack.
TEST(Threads, EndthreadexEndsThreadWithItsCode) {
  std::atomic<bool> destroyed{false};
  unsigned id = 0;
  HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, endWithSeven, &destroyed, 0, &id));
  EXPECT_EQ(GetThreadId(thread), id);
  EXPECT_EQ(joinThread(thread), 7u);
  EXPECT_TRUE(destroyed.load());
}

// Tests that ExitThread and TerminateThread on oneself end the caller with the code.
TEST(Threads, ExitThreadAndSelfTerminateEndTheCaller) {
  HANDLE exiting = startThread([]() -> DWORD { ExitThread(11); });
  HANDLE terminating = startThread([] { return TerminateThread(GetCurrentThread(), 12) ? 0u : 1u; });
  EXPECT_EQ(joinThread(exiting), 11u);
  EXPECT_EQ(joinThread(terminating), 12u);
}

// Tests that an exception leaving the thread function ends only that thread, with E_FAIL.
TEST(Threads, UncaughtExceptionEndsOnlyTheThread) {
  HANDLE thread = startThread([]() -> DWORD { throw std::runtime_error("thrown by a test on purpose"); });
  EXPECT_EQ(joinThread(thread), static_cast<DWORD>(E_FAIL));
}

// Tests that null routines, invalid handles and null out-pointers are refused.
TEST(Threads, BadArgumentsAreRefused) {
  EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  errno = 0;
  EXPECT_EQ(_beginthreadex(nullptr, 0, nullptr, nullptr, 0, nullptr), 0u);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_FALSE(GetExitCodeThread(GetCurrentThread(), nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(TerminateThread(nullptr, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(ResumeThread(nullptr), static_cast<DWORD>(-1));
}
