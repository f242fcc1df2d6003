#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include "KernelTestSupport.h"

using namespace kcm_test;

// Tests that timeGetTime advances by at least the time slept, and the tick counts agree.
TEST(Clock, TimeGetTimeAdvancesAcrossSleep) {
  const DWORD before = timeGetTime();
  EXPECT_EQ(SleepEx(60, TRUE), 0u);
  const DWORD elapsed = timeGetTime() - before;
  EXPECT_GE(elapsed, 60u);
  EXPECT_LT(elapsed, 1500u);
  EXPECT_LE(GetTickCount() - static_cast<DWORD>(GetTickCount64()), 1000u);
}

// Tests that a signal does not cut a Sleep short: the rest of the time is slept.
TEST(Clock, SleepResumesAfterSignal) {
  struct sigaction action {}, previous{};
  action.sa_handler = [](int) {};  // no SA_RESTART: nanosleep sees EINTR
  sigaction(SIGUSR1, &action, &previous);
  pthread_t sleeper{};
  HANDLE ready = newEvent(TRUE, FALSE);
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
