#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>

#include "KernelTestSupport.h"
#include "process.h"
#include "windows.h"

using kcm_test::joinThread;
using kcm_test::startThread;
using kcm_test::Stopwatch;

namespace {

// The exit code a service thread is terminated with after its grace period.
constexpr DWORD kTerminatedExitCode = 0xFFFFFF9D;

// Records that the stack of a terminated thread was unwound.
struct UnwindWitness {
  std::atomic<bool>* destroyed;
  ~UnwindWitness() { *destroyed = true; }
};

DWORD exitCodeOf(HANDLE thread) {
  DWORD exitCode = 0;
  GetExitCodeThread(thread, &exitCode);
  return exitCode;
}

}  // namespace

// Tests that waiting on the handle of an ended thread succeeds at once.
TEST(Threads, WaitOnEndedThreadSucceedsAtOnce) {
  HANDLE thread = startThread([] { return DWORD{0}; });
  ASSERT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);  // not consumed
  CloseHandle(thread);
}

// Tests that GetExitCodeThread answers STILL_ACTIVE while running, then the return value.
TEST(Threads, ExitCodeIsStillActiveThenTheReturnValue) {
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE thread = startThread([release] {
    WaitForSingleObject(release, INFINITE);
    return DWORD{42};
  });
  EXPECT_EQ(exitCodeOf(thread), static_cast<DWORD>(STILL_ACTIVE));
  SetEvent(release);
  EXPECT_EQ(joinThread(thread), 42u);
  CloseHandle(release);
}

// Tests that the id from CreateThread is the thread's own GetCurrentThreadId and GetThreadId.
TEST(Threads, ThreadIdIsTheSameEverywhere) {
  std::atomic<DWORD> seenInside{0};
  DWORD reported = 0;
  HANDLE thread = startThread(
      [&seenInside] {
        seenInside = GetCurrentThreadId();
        return DWORD{0};
      },
      0, &reported);
  EXPECT_EQ(GetThreadId(thread), reported);
  joinThread(thread);
  EXPECT_EQ(seenInside.load(), reported);
  EXPECT_NE(reported, GetCurrentThreadId());
  EXPECT_NE(reported, 0u);
}

// Tests that TerminateThread ends a thread blocked in Sleep with the given exit code,
// signals its handle and unwinds its stack.
TEST(Threads, TerminateThreadEndsSleepingThreadWithGivenCode) {
  std::atomic<bool> destroyed{false};
  HANDLE thread = startThread([&destroyed] {
    UnwindWitness witness{&destroyed};
    Sleep(60000);
    return DWORD{0};
  });
  Sleep(30);
  EXPECT_TRUE(TerminateThread(thread, kTerminatedExitCode));
  EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(exitCodeOf(thread), kTerminatedExitCode);
  EXPECT_TRUE(destroyed.load());
  CloseHandle(thread);
}

// Tests that TerminateThread ends a thread blocked in a wait, and that the object it
// waited on stays usable (the cancelled wait unregistered itself and left the lock).
TEST(Threads, TerminateThreadEndsWaitingThreadAndLeavesObjectUsable) {
  std::atomic<bool> destroyed{false};
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE thread = startThread([&destroyed, event] {
    UnwindWitness witness{&destroyed};
    return WaitForSingleObject(event, INFINITE);
  });
  Sleep(30);
  TerminateThread(thread, kTerminatedExitCode);
  EXPECT_EQ(joinThread(thread), kTerminatedExitCode);
  EXPECT_TRUE(destroyed.load());
  SetEvent(event);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  CloseHandle(event);
}

// Tests that a CREATE_SUSPENDED thread runs only after ResumeThread, which answers the
// previous suspend count.
TEST(Threads, SuspendedThreadRunsOnlyAfterResume) {
  std::atomic<bool> ran{false};
  HANDLE thread = startThread(
      [&ran] {
        ran = true;
        return DWORD{0};
      },
      CREATE_SUSPENDED);
  Sleep(50);
  EXPECT_FALSE(ran.load());
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_TIMEOUT);
  EXPECT_EQ(ResumeThread(thread), 1u);
  EXPECT_EQ(joinThread(thread), 0u);
  EXPECT_TRUE(ran.load());
}

DWORD WINAPI markRan(LPVOID ran) {
  *static_cast<std::atomic<bool>*>(ran) = true;
  return 0;
}

// Tests that a suspended thread can be terminated without ever running.
TEST(Threads, TerminatedSuspendedThreadNeverRuns) {
  std::atomic<bool> ran{false};
  HANDLE thread = CreateThread(nullptr, 0, markRan, &ran, CREATE_SUSPENDED, nullptr);
  TerminateThread(thread, 7);
  EXPECT_EQ(joinThread(thread), 7u);
  EXPECT_FALSE(ran.load());
}

// Tests that ResumeThread of a running thread answers 0 and changes nothing.
TEST(Threads, ResumeOfRunningThreadAnswersZero) {
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE thread = startThread([release] { return WaitForSingleObject(release, 5000); });
  EXPECT_EQ(ResumeThread(thread), 0u);
  SetEvent(release);
  EXPECT_EQ(joinThread(thread), WAIT_OBJECT_0);
  EXPECT_EQ(ResumeThread(nullptr), static_cast<DWORD>(-1));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  CloseHandle(release);
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
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(GetThreadId(thread), id);
  EXPECT_EQ(joinThread(thread), 7u);
  EXPECT_TRUE(destroyed.load());
}

// Tests that ExitThread and TerminateThread on oneself end the caller with the code.
TEST(Threads, ExitThreadAndSelfTerminateEndTheCaller) {
  HANDLE exiting = startThread([]() -> DWORD { ExitThread(11); });
  HANDLE terminating = startThread([]() -> DWORD {
    TerminateThread(GetCurrentThread(), 12);
    return 0;
  });
  EXPECT_EQ(joinThread(exiting), 11u);
  EXPECT_EQ(joinThread(terminating), 12u);
}

// Tests that an exception leaving the thread function ends only that thread, with a
// failure exit code.
TEST(Threads, UncaughtExceptionEndsOnlyTheThread) {
  HANDLE thread = startThread([]() -> DWORD { throw std::runtime_error("thrown by a test on purpose"); });
  EXPECT_EQ(joinThread(thread), static_cast<DWORD>(E_FAIL));
}

// Tests that a null start routine is refused by both creation functions.
TEST(Threads, NullStartRoutineIsRefused) {
  EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  errno = 0;
  EXPECT_EQ(_beginthreadex(nullptr, 0, nullptr, nullptr, 0, nullptr), 0u);
  EXPECT_EQ(errno, EINVAL);
}

// Tests that thread queries refuse invalid handles and a null out-pointer.
TEST(Threads, QueriesRefuseBadArguments) {
  DWORD exitCode = 0;
  EXPECT_FALSE(GetExitCodeThread(nullptr, &exitCode));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(GetExitCodeThread(GetCurrentThread(), nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(GetThreadId(nullptr), 0u);
  EXPECT_FALSE(TerminateThread(nullptr, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

// Tests the pseudo handle of the current thread and the process id.
TEST(Threads, CurrentThreadPseudoHandleAndProcessId) {
  EXPECT_EQ(GetThreadId(GetCurrentThread()), GetCurrentThreadId());
  EXPECT_EQ(exitCodeOf(GetCurrentThread()), static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(WaitForSingleObject(GetCurrentThread(), 0), WAIT_TIMEOUT);
  EXPECT_EQ(GetCurrentProcessId(), static_cast<DWORD>(getpid()));
}

// Tests that closing a thread's handle does not stop the thread.
TEST(Threads, ThreadRunsOnAfterItsHandleIsClosed) {
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE thread = startThread([done] {
    Sleep(20);
    SetEvent(done);
    return DWORD{0};
  });
  CloseHandle(thread);
  EXPECT_EQ(WaitForSingleObject(done, 5000), WAIT_OBJECT_0);
  CloseHandle(done);
}
