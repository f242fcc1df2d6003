// CServiceThread: the base of the library's worker threads, exported for hosts.
//
// A derived class supplies the start step, one pass of the loop and the stop step. The
// base starts the thread with a handshake (StartThead returns only after the start step
// has finished on the new thread), runs passes while the run flag is set, catches and
// logs exceptions of every step, and stops with a bounded wait that ends, if need be,
// in termination. Every service thread initialises COM (apartment-threaded) for its
// whole life and runs its start step under the fault translator (KestroCrashReport.h).
//
// StartThead, StopThread and TerminateThread are called by the owner, never by the
// worker itself. Termination ends the thread at its next blocking call (a wait, a
// sleep, blocking I/O); a pass stuck in pure computation is not interrupted.
#pragma once

#include <atomic>

#include "KestroExport.h"
#include "minwindef.h"

class KCM_API IServiceThread {
 public:
  virtual bool IsRuning() = 0;
  virtual bool StartThead() = 0;
  virtual bool StopThread(unsigned long timeout) = 0;
  virtual bool TerminateThread(unsigned long exitCode) = 0;

 protected:
  ~IServiceThread() = default;
};

class KCM_API CServiceThread : public IServiceThread {
 public:
  // True while the thread exists and has not ended.
  bool IsRuning() override;
  // False when a thread already runs, when no thread could be started, or when the start
  // step answered false or threw (the thread has then run its stop step and ended).
  bool StartThead() override;
  // Clears the run flag and waits up to `timeout` ms for the end: false if it does not
  // come (the handle stays held; the thread ends by itself later). INFINITE waits 5 s,
  // then terminates the thread with exit code -99, as often as needed. True otherwise.
  bool StopThread(unsigned long timeout) override;
  // Ends the thread at once without its stop step. Always true.
  bool TerminateThread(unsigned long exitCode) override;

  unsigned int GetThreadID();
  void* GetThreadHandle();
  // False before the first start; otherwise whether the message was posted to the
  // thread's queue. The base runs no message loop: a pass that wants messages peeks them.
  bool PostThreadMessageW(unsigned int message, unsigned int wParam, long lParam);

  CServiceThread(const CServiceThread&) = delete;
  CServiceThread& operator=(const CServiceThread&) = delete;

 protected:
  CServiceThread();
  // Neither stops the thread nor closes its handle: owners call StopThread first.
  virtual ~CServiceThread();

 private:
  // Run on the new thread; answering false makes the start fail.
  virtual bool OnThreadStartEvent();
  // Run on the thread when it ends, also after a failed start.
  virtual bool OnThreadStopEvent();
  // One pass of the work; answering false ends the loop.
  virtual bool OnThreadRun() = 0;

  static unsigned int __stdcall ThreadFunction(void* parameter);
  static bool RunStartStep(CServiceThread* thread);
  void RunPasses();
  void RunStopStep();
  void CloseThreadHandle();

  // Written by the owner, read by the worker between passes: atomic, so the hand-over is
  // well defined; one byte, as the plain flag it stands for.
  std::atomic<bool> _running;
  uint32_t _threadId;
  HANDLE _thread;
};
