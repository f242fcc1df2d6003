// Helpers shared by the kernel-object suites: a stopwatch on the monotonic clock and
// a way to run a lambda on a thread started by CreateThread.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "windows.h"

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

// Runs `body` on a new thread of ours; answers its handle (to be closed by the caller).
inline HANDLE startThread(ThreadBody body, DWORD creationFlags = 0, DWORD* threadId = nullptr) {
  auto* heapBody = new ThreadBody(std::move(body));
  auto routine = [](LPVOID parameter) -> DWORD {
    std::unique_ptr<ThreadBody> owned(static_cast<ThreadBody*>(parameter));
    return (*owned)();
  };
  HANDLE thread = CreateThread(nullptr, 0, routine, heapBody, creationFlags, threadId);
  if (!thread) delete heapBody;
  return thread;
}

// Waits for the thread to end and closes its handle; answers its exit code.
inline DWORD joinThread(HANDLE thread) {
  WaitForSingleObject(thread, INFINITE);
  DWORD exitCode = 0;
  GetExitCodeThread(thread, &exitCode);
  CloseHandle(thread);
  return exitCode;
}

}  // namespace kcm_test
