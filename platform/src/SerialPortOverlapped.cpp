// Pending overlapped operations of a serial port.
#include "SerialPortOverlapped.h"

#include "synchapi.h"
#include "winerror.h"

namespace kcm::serial {

void CompleteOverlapped(LPOVERLAPPED overlapped, const IoResult& result) {
  overlapped->InternalHigh = result.bytes;
  // 0 or a Win32 error code (Windows keeps an NTSTATUS here). Released after the count,
  // so that whoever sees it completed also sees the count.
  __atomic_store_n(&overlapped->Internal, static_cast<ULONG_PTR>(result.error), __ATOMIC_RELEASE);
  // The caller may have closed the event already; setting it then fails harmlessly.
  if (overlapped->hEvent != nullptr) SetEvent(overlapped->hEvent);
}

OverlappedQueue::~OverlappedQueue() { stop(); }

bool OverlappedQueue::busy() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return running_ || !queue_.empty();
}

void OverlappedQueue::submit(Transfer transfer, LPOVERLAPPED overlapped) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (stopping_) {
    CompleteOverlapped(overlapped, IoResult{0, ERROR_OPERATION_ABORTED});
    return;
  }
  queue_.push_back(Pending{std::move(transfer), overlapped, generation_});
  if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
  wake_.notify_one();
}

void OverlappedQueue::abortAll() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++generation_;
  wake_.notify_one();
}

void OverlappedQueue::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    ++generation_;
    wake_.notify_one();
  }
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

bool OverlappedQueue::takeNext(Pending* next) {
  std::unique_lock<std::mutex> lock(mutex_);
  running_ = false;
  wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
  if (queue_.empty()) return false;  // stopping, nothing left
  *next = std::move(queue_.front());
  queue_.pop_front();
  running_ = true;
  return true;
}

void OverlappedQueue::run() {
  Pending pending;
  while (takeNext(&pending)) {
    const unsigned generation = pending.generation;
    const AbortCheck aborted = [this, generation] {
      std::lock_guard<std::mutex> lock(mutex_);
      return generation_ != generation;
    };
    IoResult result{0, ERROR_OPERATION_ABORTED};
    if (!aborted()) {
      try {
        result = pending.transfer(aborted);
      } catch (...) {  // nothing may leave this thread; a transfer that throws ran out of memory
        result = IoResult{0, ERROR_NOT_ENOUGH_MEMORY};
      }
    }
    CompleteOverlapped(pending.overlapped, result);
  }
}

}  // namespace kcm::serial
