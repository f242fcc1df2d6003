// Threads over detached pthreads: creation, the start gate of CREATE_SUSPENDED, exit
// codes, and termination by cancellation.
#include "Thread.h"

#include <cxxabi.h>
#include <errno.h>
#include <stdio.h>
#include <unistd.h>

#include <exception>
#include <type_traits>

#include "HandleTable.h"
#include "MessageQueue.h"
#include "process.h"
#include "processthreadsapi.h"
#include "synchapi.h"

namespace kcm::kernel {

namespace {

// Windows would end the process on an uncaught exception; we end only the thread, with
// a failure code its owner can see.
constexpr DWORD kUncaughtExceptionExitCode = static_cast<DWORD>(E_FAIL);

class CancellationDisabled {
 public:
  CancellationDisabled() { pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &previousState_); }
  ~CancellationDisabled() { pthread_setcancelstate(previousState_, nullptr); }
  CancellationDisabled(const CancellationDisabled&) = delete;
  CancellationDisabled& operator=(const CancellationDisabled&) = delete;

 private:
  int previousState_ = PTHREAD_CANCEL_ENABLE;
};

// The calling thread's object. A thread we did not start ("adopted") ends, as far as
// its handle's waiters are concerned, when its thread-local storage is destroyed.
struct CurrentThread {
  std::shared_ptr<ThreadObject> object;
  bool adopted = false;
  ~CurrentThread() {
    if (adopted && object) object->markEnded();
  }
};

thread_local CurrentThread t_current;

struct StartBlock {
  std::shared_ptr<ThreadObject> thread;
  LPTHREAD_START_ROUTINE routine;
  LPVOID parameter;
};

// Marks the end however the thread leaves its trampoline: by returning, or unwound by
// ExitThread (pthread_exit) or TerminateThread (cancellation).
class ThreadEndGuard {
 public:
  explicit ThreadEndGuard(const std::shared_ptr<ThreadObject>& thread) : thread_(thread) {
    t_current.object = thread;
  }
  ~ThreadEndGuard() {
    CancellationDisabled uninterrupted;
    thread_->markEnded();
    t_current.object.reset();
  }
  ThreadEndGuard(const ThreadEndGuard&) = delete;
  ThreadEndGuard& operator=(const ThreadEndGuard&) = delete;

 private:
  std::shared_ptr<ThreadObject> thread_;
};

void reportUncaughtException(const char* what) {
  CancellationDisabled uninterrupted;  // fprintf is a cancellation point
  fprintf(stderr, "KestroPlatform: thread %u ended by an uncaught exception: %s\n", GetCurrentThreadId(), what);
}

// A forced unwind carries no C++ object: catching it binds the reference to null,
// which UBSan's null check would report although the reference is never used.
__attribute__((no_sanitize("null"))) DWORD runThreadFunction(const StartBlock& start) {
  try {
    start.thread->messageQueue();
    start.thread->attachToCurrentThread();
    start.thread->waitWhileSuspended();
    return start.routine(start.parameter);
  } catch (abi::__forced_unwind&) {
    throw;  // ExitThread or TerminateThread: the unwind must go on to end the thread
  } catch (const std::exception& error) {
    reportUncaughtException(error.what());
  } catch (...) {
    reportUncaughtException("not a std::exception");
  }
  return kUncaughtExceptionExitCode;
}

void* threadTrampoline(void* startBlock) {
  std::unique_ptr<StartBlock> start(static_cast<StartBlock*>(startBlock));
  ThreadEndGuard endGuard(start->thread);
  start->thread->recordExitCode(runThreadFunction(*start));
  return nullptr;
}

size_t defaultStackSize() {
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  size_t size = 0;
  pthread_attr_getstacksize(&attributes, &size);
  pthread_attr_destroy(&attributes);
  return size;
}

// Answers 0 or the pthread_create error. On Windows the stack size is a minimum the
// default reserve already covers, so only larger requests change the stack.
int spawnThread(size_t stackSize, LPTHREAD_START_ROUTINE routine, LPVOID parameter, bool suspended,
                std::shared_ptr<ThreadObject>* spawned) {
  auto thread = std::make_shared<ThreadObject>(suspended ? 1 : 0);
  auto start = std::make_unique<StartBlock>(StartBlock{thread, routine, parameter});
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  if (stackSize > defaultStackSize()) pthread_attr_setstacksize(&attributes, stackSize);
  pthread_t native;
  const int error = pthread_create(&native, &attributes, threadTrampoline, start.get());
  pthread_attr_destroy(&attributes);
  if (error != 0) return error;
  start.release();  // the trampoline owns it now
  thread->waitUntilAttached();
  *spawned = std::move(thread);
  return 0;
}

}  // namespace

ThreadObject::ThreadObject(DWORD suspendCount) : suspendCount_(suspendCount) {}

void ThreadObject::attachToCurrentThread() {
  DispatcherLock lock;
  id_ = GetCurrentThreadId();
  native_ = pthread_self();
  attached_ = true;
  wakeWaiters();
}

void ThreadObject::waitUntilAttached() {
  DispatcherLock lock;
  waitUntil(lock, {this}, INFINITE, [this] { return attached_ || ended_; });
}

void ThreadObject::waitWhileSuspended() {
  DispatcherLock lock;
  waitUntil(lock, {this}, INFINITE, [this] { return suspendCount_ == 0; });
}

DWORD ThreadObject::resume() {
  DispatcherLock lock;
  const DWORD previous = suspendCount_;
  if (previous > 0 && --suspendCount_ == 0) wakeWaiters();
  return previous;
}

void ThreadObject::recordExitCode(DWORD exitCode) {
  DispatcherLock lock;
  recordExitCodeLocked(exitCode);
}

void ThreadObject::recordExitCodeLocked(DWORD exitCode) {
  if (exitCodeRecorded_) return;
  exitCode_ = exitCode;
  exitCodeRecorded_ = true;
}

void ThreadObject::markEnded() {
  // The queue goes first: once a wait on the handle returns, posts to the id fail.
  if (messageQueue_) {
    unregisterMessageQueue(GetCurrentThreadId());
    messageQueue_.reset();
  }
  DispatcherLock lock;
  recordExitCodeLocked(ERROR_SUCCESS);
  ended_ = true;
  wakeWaiters();
}

void ThreadObject::terminate(DWORD exitCode) {
  DispatcherLock lock;
  if (ended_ || !attached_) return;
  recordExitCodeLocked(exitCode);
  // markEnded needs the dispatcher lock we hold, so the thread has not passed its end
  // and native_ still names a live thread.
  pthread_cancel(native_);
}

DWORD ThreadObject::id() const {
  DispatcherLock lock;
  return id_;
}

DWORD ThreadObject::exitCode() const {
  DispatcherLock lock;
  return ended_ ? exitCode_ : static_cast<DWORD>(STILL_ACTIVE);
}

std::shared_ptr<MessageQueue> ThreadObject::messageQueue() {
  if (!messageQueue_) {
    messageQueue_ = std::make_shared<MessageQueue>();
    // Code running after the end (thread-local destructors) gets a queue nobody can post
    // to, rather than one left registered under an id the kernel will hand out again.
    if (!isEnded()) registerMessageQueue(GetCurrentThreadId(), messageQueue_);
  }
  return messageQueue_;
}

bool ThreadObject::isEnded() const {
  DispatcherLock lock;
  return ended_;
}

std::shared_ptr<ThreadObject> currentThreadObject() {
  if (!t_current.object) {
    t_current.object = std::make_shared<ThreadObject>(0);
    t_current.object->attachToCurrentThread();
    t_current.adopted = true;
  }
  return t_current.object;
}

}  // namespace kcm::kernel

using namespace kcm::kernel;

static_assert(std::is_same<LPTHREAD_START_ROUTINE, unsigned (*)(void*)>::value,
              "_beginthreadex routines are thread start routines");

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES /*attributes*/, SIZE_T stackSize, LPTHREAD_START_ROUTINE start,
                           LPVOID parameter, DWORD creationFlags, LPDWORD threadId) {
  if (!start) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::shared_ptr<ThreadObject> thread;
  if (spawnThread(stackSize, start, parameter, creationFlags & CREATE_SUSPENDED, &thread) != 0) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (threadId) *threadId = thread->id();
  return openHandle(std::move(thread));
}

uintptr_t __cdecl _beginthreadex(void* /*security*/, unsigned stackSize, unsigned(__stdcall* start)(void*),
                                 void* argList, unsigned initFlag, unsigned* threadId) {
  if (!start) {
    errno = EINVAL;
    return 0;
  }
  std::shared_ptr<ThreadObject> thread;
  const int error = spawnThread(stackSize, start, argList, initFlag & CREATE_SUSPENDED, &thread);
  if (error != 0) {
    errno = error;
    return 0;
  }
  if (threadId) *threadId = thread->id();
  return reinterpret_cast<uintptr_t>(openHandle(std::move(thread)));
}

void __cdecl _endthreadex(unsigned exitCode) { ExitThread(exitCode); }

void WINAPI ExitThread(DWORD exitCode) {
  currentThreadObject()->recordExitCode(exitCode);
  pthread_exit(nullptr);
}

HANDLE WINAPI GetCurrentThread(void) { return kCurrentThreadPseudoHandle; }

HANDLE WINAPI GetCurrentProcess(void) { return kCurrentProcessPseudoHandle; }

DWORD WINAPI GetCurrentThreadId(void) {
  // The kernel's id: unique among live threads, and what debuggers and ps show.
  thread_local const DWORD id = static_cast<DWORD>(gettid());
  return id;
}

DWORD WINAPI GetCurrentProcessId(void) { return static_cast<DWORD>(getpid()); }

DWORD WINAPI GetThreadId(HANDLE thread) {
  auto object = lookupHandle<ThreadObject>(thread);
  return object ? object->id() : 0;
}

BOOL WINAPI GetExitCodeThread(HANDLE thread, LPDWORD exitCode) {
  auto object = lookupHandle<ThreadObject>(thread);
  if (!object) return FALSE;
  if (!exitCode) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *exitCode = object->exitCode();
  return TRUE;
}

BOOL WINAPI TerminateThread(HANDLE thread, DWORD exitCode) {
  auto object = lookupHandle<ThreadObject>(thread);
  if (!object) return FALSE;
  if (object == t_current.object.get()) ExitThread(exitCode);
  object->terminate(exitCode);
  return TRUE;
}

DWORD WINAPI ResumeThread(HANDLE thread) {
  auto object = lookupHandle<ThreadObject>(thread);
  return object ? object->resume() : static_cast<DWORD>(-1);
}
