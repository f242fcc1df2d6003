// The I/O completion port used as a work queue: packets posted by
// PostQueuedCompletionStatus, taken oldest first by GetQueuedCompletionStatus.
#include <deque>

#include "Dispatcher.h"
#include "HandleTable.h"
#include "handleapi.h"
#include "ioapiset.h"
#include "synchapi.h"

namespace kcm::kernel {

namespace {

struct CompletionPacket {
  DWORD bytesTransferred = 0;
  ULONG_PTR completionKey = 0;
  LPOVERLAPPED overlapped = nullptr;
};

// The concurrency value only tunes how many threads Windows lets run at once; with a
// FIFO queue under one lock it changes nothing observable here, so it is not kept.
class CompletionPort final : public DispatcherObject {
 public:
  void post(const CompletionPacket& packet) {
    DispatcherLock lock;
    packets_.push_back(packet);
    wakeWaiters();
  }

  // Both with the dispatcher lock held.
  bool closed() const { return closed_; }
  bool takeOldest(CompletionPacket* packet) {
    if (packets_.empty()) return false;
    *packet = packets_.front();
    packets_.pop_front();
    return true;
  }

 protected:
  // Threads blocked on the port wake up and fail, as on Windows; packets still queued
  // are dropped.
  void onLastHandleClosed() override {
    DispatcherLock lock;
    closed_ = true;
    packets_.clear();
    wakeWaiters();
  }

 private:
  // guarded by the dispatcher lock:
  std::deque<CompletionPacket> packets_;
  bool closed_ = false;
};

enum class DequeueResult { Packet, TimedOut, PortClosed };

DequeueResult dequeuePacket(CompletionPort& port, DWORD milliseconds, CompletionPacket* packet) {
  bool portClosed = false;
  DispatcherLock lock;
  const bool completed = waitUntil(lock, {&port}, milliseconds, [&] {
    portClosed = port.closed();
    return portClosed || port.takeOldest(packet);
  });
  if (!completed) return DequeueResult::TimedOut;
  return portClosed ? DequeueResult::PortClosed : DequeueResult::Packet;
}

BOOL failDequeue(LPOVERLAPPED* overlapped, DWORD error) {
  if (overlapped) *overlapped = nullptr;
  SetLastError(error);
  return FALSE;
}

}  // namespace

}  // namespace kcm::kernel

using namespace kcm::kernel;

HANDLE WINAPI CreateIoCompletionPort(HANDLE file, HANDLE existingPort, ULONG_PTR /*completionKey*/,
                                     DWORD /*numberOfConcurrentThreads*/) {
  // Ports tied to files do not exist here: only a new, free-standing port can be made.
  if (file != INVALID_HANDLE_VALUE || existingPort != nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return openHandle(std::make_shared<CompletionPort>());
}

BOOL WINAPI PostQueuedCompletionStatus(HANDLE port, DWORD bytesTransferred, ULONG_PTR completionKey,
                                       LPOVERLAPPED overlapped) {
  std::shared_ptr<CompletionPort> object = lookupHandle<CompletionPort>(port);
  if (!object) return FALSE;
  object->post(CompletionPacket{bytesTransferred, completionKey, overlapped});
  return TRUE;
}

BOOL WINAPI GetQueuedCompletionStatus(HANDLE port, LPDWORD bytesTransferred, PULONG_PTR completionKey,
                                      LPOVERLAPPED* overlapped, DWORD milliseconds) {
  std::shared_ptr<CompletionPort> object = lookupHandle<CompletionPort>(port);
  if (!object) return failDequeue(overlapped, ERROR_INVALID_HANDLE);
  if (!bytesTransferred || !completionKey || !overlapped) return failDequeue(overlapped, ERROR_INVALID_PARAMETER);
  CompletionPacket packet;
  switch (dequeuePacket(*object, milliseconds, &packet)) {
    case DequeueResult::TimedOut:
      return failDequeue(overlapped, WAIT_TIMEOUT);
    case DequeueResult::PortClosed:
      return failDequeue(overlapped, ERROR_INVALID_HANDLE);
    case DequeueResult::Packet:
      break;
  }
  *bytesTransferred = packet.bytesTransferred;
  *completionKey = packet.completionKey;
  *overlapped = packet.overlapped;
  return TRUE;
}
