// The pending overlapped operations of one direction of a serial port, run in call order
// on a thread of their own.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "SerialPortIo.h"
#include "ioapiset.h"

namespace kcm::serial {

class OverlappedQueue {
 public:
  // Runs one transfer; it polls the check it is given between waits.
  using Transfer = std::function<IoResult(const AbortCheck& aborted)>;

  OverlappedQueue() = default;
  ~OverlappedQueue();
  OverlappedQueue(const OverlappedQueue&) = delete;
  OverlappedQueue& operator=(const OverlappedQueue&) = delete;

  // True while an operation is queued or running: a new one must then queue behind it.
  bool busy() const;
  // Queues `transfer`; when it ends, `overlapped` receives its outcome and its event is set.
  // The caller has already marked `overlapped` pending. The thread starts on first use.
  void submit(Transfer transfer, LPOVERLAPPED overlapped);
  // Ends the queued and the running operations with ERROR_OPERATION_ABORTED.
  void abortAll();
  // abortAll, then waits for the thread to end.
  void stop();

 private:
  struct Pending {
    Transfer transfer;
    LPOVERLAPPED overlapped;
    unsigned generation;  // the abort generation it was queued in
  };

  void run();
  bool takeNext(Pending* next);

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Pending> queue_;  // guarded by mutex_
  bool running_ = false;       // guarded by mutex_: an operation is in progress
  bool stopping_ = false;      // guarded by mutex_
  unsigned generation_ = 0;    // guarded by mutex_: raised by every abort
  std::thread thread_;
};

// Records the outcome in `overlapped` and sets its event.
void CompleteOverlapped(LPOVERLAPPED overlapped, const IoResult& result);

}  // namespace kcm::serial
