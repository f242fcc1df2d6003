// Millisecond clocks and sleeps on CLOCK_MONOTONIC, which neither jumps with the wall
// clock nor stops counting, like the Windows tick count.
#include <errno.h>
#include <pthread.h>
#include <sched.h>
#include <time.h>

#include "synchapi.h"
#include "timeapi.h"

namespace {

ULONGLONG monotonicMilliseconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<ULONGLONG>(now.tv_sec) * 1000u + static_cast<ULONGLONG>(now.tv_nsec) / 1000000u;
}

// nanosleep is a cancellation point, so a terminated thread leaves its sleep; a signal
// only interrupts it, and the rest of the time is slept.
void sleepFor(timespec remaining) {
  while (nanosleep(&remaining, &remaining) == -1 && errno == EINTR) {
  }
}

}  // namespace

DWORD WINAPI timeGetTime(void) { return static_cast<DWORD>(monotonicMilliseconds()); }

DWORD WINAPI GetTickCount(void) { return static_cast<DWORD>(monotonicMilliseconds()); }

ULONGLONG WINAPI GetTickCount64(void) { return monotonicMilliseconds(); }

void WINAPI Sleep(DWORD milliseconds) {
  if (milliseconds == 0) {
    // Windows gives up the rest of the time slice; it stays a cancellation point.
    pthread_testcancel();
    sched_yield();
    return;
  }
  if (milliseconds == INFINITE) {
    for (;;) sleepFor(timespec{86400, 0});
  }
  sleepFor(timespec{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L});
}

DWORD WINAPI SleepEx(DWORD milliseconds, BOOL /*alertable*/) {
  Sleep(milliseconds);
  return 0;
}
