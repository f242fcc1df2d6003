#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include "KernelTestSupport.h"
#include "windows.h"

using kcm_test::joinThread;
using kcm_test::startThread;
using kcm_test::Stopwatch;

// Tests that timeGetTime advances by at least the time slept.
TEST(Clock, TimeGetTimeAdvancesAcrossSleep) {
  const DWORD before = timeGetTime();
  Sleep(60);
  const DWORD elapsed = timeGetTime() - before;
  EXPECT_GE(elapsed, 60u);
  EXPECT_LT(elapsed, 1500u);
}

// Tests that both tick counts read the same clock, the 32-bit one wrapping.
TEST(Clock, TickCountIsLowPartOfTickCount64) {
  const ULONGLONG wide = GetTickCount64();
  const DWORD narrow = GetTickCount();
  EXPECT_LE(static_cast<DWORD>(narrow - static_cast<DWORD>(wide)), 1000u);
  EXPECT_LE(static_cast<DWORD>(timeGetTime() - narrow), 1000u);
}

// Tests that Sleep(0) only yields and SleepEx answers 0.
TEST(Clock, SleepZeroReturnsPromptlyAndSleepExAnswersZero) {
  Stopwatch stopwatch;
  Sleep(0);
  EXPECT_EQ(SleepEx(0, TRUE), 0u);
  EXPECT_LT(stopwatch.elapsedMs(), 500);
  EXPECT_EQ(SleepEx(10, FALSE), 0u);
}

namespace {
void ignoreSignal(int) {}
}  // namespace

// Tests that a signal does not cut a Sleep short: the rest of the time is slept.
TEST(Clock, SleepResumesAfterSignal) {
  struct sigaction action {};
  action.sa_handler = ignoreSignal;  // no SA_RESTART: nanosleep sees EINTR
  struct sigaction previous {};
  sigaction(SIGUSR1, &action, &previous);
  pthread_t sleeper{};
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE thread = startThread([&sleeper, ready] {
    sleeper = pthread_self();
    SetEvent(ready);
    Stopwatch stopwatch;
    Sleep(150);
    return static_cast<DWORD>(stopwatch.elapsedMs());
  });
  WaitForSingleObject(ready, INFINITE);
  Sleep(40);
  pthread_kill(sleeper, SIGUSR1);
  EXPECT_GE(joinThread(thread), 150u);
  sigaction(SIGUSR1, &previous, nullptr);
  CloseHandle(ready);
}
