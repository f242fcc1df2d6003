// Thread objects: the kernel object behind a thread handle.
#pragma once

#include <pthread.h>

#include <memory>

#include "Dispatcher.h"

namespace kcm::kernel {

class MessageQueue;

// Signalled once the thread has ended. The object of a thread we started is held by
// the thread itself until it ends; threads we did not start (the main thread, threads
// of other libraries) get one lazily, held by their thread-local storage.
class ThreadObject final : public WaitableObject {
 public:
  explicit ThreadObject(DWORD suspendCount);

  bool isSignaled() const override { return ended_; }

  // On the thread itself, first thing: publishes its id and native handle and gives it
  // a message queue (so a message posted right after the start is never refused).
  void attachToCurrentThread();
  // For the creator: blocks until the new thread has attached (or already ended).
  void waitUntilAttached();
  // The start gate of CREATE_SUSPENDED: blocks while the suspend count is above zero.
  void waitWhileSuspended();
  // Answers the previous suspend count.
  DWORD resume();

  // The first exit code recorded wins: an ExitThread or TerminateThread code set
  // before the thread's function returns is not replaced by its return value.
  void recordExitCode(DWORD exitCode);
  // Marks the end (ERROR_SUCCESS as exit code if none was recorded), wakes the
  // waiters and retires the message queue. Runs on the ending thread.
  void markEnded();
  // Asks the thread to end at its next cancellation point, reporting `exitCode`.
  void terminate(DWORD exitCode);

  DWORD id() const;
  // STILL_ACTIVE while the thread runs.
  DWORD exitCode() const;
  // The thread's own queue, made on first use. Called on the thread itself only.
  std::shared_ptr<MessageQueue> messageQueue();

 private:
  void recordExitCodeLocked(DWORD exitCode);
  bool isEnded() const;

  // guarded by the dispatcher lock:
  bool attached_ = false;
  bool ended_ = false;
  bool exitCodeRecorded_ = false;
  DWORD exitCode_ = 0;
  DWORD suspendCount_;
  DWORD id_ = 0;
  pthread_t native_{};
  // touched by the thread itself only:
  std::shared_ptr<MessageQueue> messageQueue_;
};

// The caller's thread object; made on first use for threads we did not start.
std::shared_ptr<ThreadObject> currentThreadObject();

}  // namespace kcm::kernel
