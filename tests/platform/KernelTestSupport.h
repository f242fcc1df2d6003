// Helpers of the kernel-object suites: a monotonic stopwatch and lambdas run on threads
// started by CreateThread.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "windows.h"

// TSan does not unwind its interceptors of blocking calls other than condition waits
// (nanosleep, read, …) when a thread is cancelled inside them; it then misses that
// thread's later synchronisation and reports races that do not exist.
#if defined(__SANITIZE_THREAD__)
#define KCM_TEST_UNDER_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KCM_TEST_UNDER_TSAN 1
#endif
#endif
#ifndef KCM_TEST_UNDER_TSAN
#define KCM_TEST_UNDER_TSAN 0
#endif

namespace kcm_test {

class Stopwatch {
 public:
  long long elapsedMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_).count();
  }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

using ThreadBody = std::function<DWORD()>;

// Runs `body` on a new thread of ours; answers its handle.
inline HANDLE startThread(ThreadBody body, DWORD creationFlags = 0, DWORD* threadId = nullptr) {
  auto routine = [](LPVOID parameter) -> DWORD {
    std::unique_ptr<ThreadBody> owned(static_cast<ThreadBody*>(parameter));
    return (*owned)();
  };
  auto* heapBody = new ThreadBody(std::move(body));
  HANDLE thread = CreateThread(nullptr, 0, routine, heapBody, creationFlags, threadId);
  if (!thread) delete heapBody;
  return thread;
}

// Waits for the thread's end, closes its handle and answers its exit code.
inline DWORD joinThread(HANDLE thread) {
  DWORD exitCode = 0;
  WaitForSingleObject(thread, INFINITE);
  GetExitCodeThread(thread, &exitCode);
  CloseHandle(thread);
  return exitCode;
}

inline HANDLE newEvent(BOOL manualReset, BOOL signaled) {
  return CreateEventW(nullptr, manualReset, signaled, nullptr);
}

}  // namespace kcm_test
