// The I/O completion port used as a work queue: packets posted by
// PostQueuedCompletionStatus, taken oldest first by GetQueuedCompletionStatus.
#include <atomic>
#include <mutex>
#include <typeinfo>

#include "Dispatcher.h"
#include "HandleTable.h"
#include "KestroHandOffRing.h"
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
// FIFO queue it changes nothing observable here, so it is not kept.
//
// Posters and takers each have a lock of their own and meet only in the packet ring,
// which hands packets over without a shared lock; the process-wide dispatcher lock is
// taken by a poster only to wake a consumer that has gone to sleep on an empty port. A
// consumer counts itself as a sleeper before its last look at the packets, and a poster
// reads that count after its packet is published, so one of the two always sees the
// other.
class CompletionPort final : public DispatcherObject {
 public:
  void post(const CompletionPacket& packet) {
    {
      std::lock_guard<std::mutex> lock(postLock_);
      packets_.push(packet);
    }
    // A read-modify-write, not a plain load: it is ordered with the consumer's count.
    if (sleepers_.fetch_add(0, std::memory_order_acq_rel) > 0) {
      DispatcherLock lock;
      wakeWaiters();
    }
  }

  bool closed() const { return closed_.load(std::memory_order_acquire); }

  // Takes the oldest packet; false when none waits. One at a time: a packet a thread
  // took ahead would be lost to the other threads waiting on the port.
  bool takeOldest(CompletionPacket* packet) {
    std::lock_guard<std::mutex> lock(takeLock_);
    return packets_.pop(packet);
  }

  // Brackets a consumer's sleep; the dispatcher lock is held.
  void beginSleep() { sleepers_.fetch_add(1, std::memory_order_acq_rel); }
  void endSleep() { sleepers_.fetch_sub(1, std::memory_order_relaxed); }

 protected:
  // Threads blocked on the port wake up and fail, as on Windows; packets still queued
  // are dropped.
  void onLastHandleClosed() override {
    DispatcherLock lock;
    closed_.store(true, std::memory_order_release);
    {
      std::lock_guard<std::mutex> takeLock(takeLock_);
      CompletionPacket dropped;
      while (packets_.pop(&dropped)) {
      }
    }
    wakeWaiters();
  }

 private:
  // Each lock on a cache line of its own: a taker's lock must not take the posters'.
  alignas(64) std::mutex postLock_;  // the ring's writing side
  alignas(64) std::mutex takeLock_;  // the ring's reading side
  KcmHandOffRing<CompletionPacket, 256> packets_;
  // Apart from the locks: a consumer going to sleep does not take their cache lines
  // from the posters. Posters update it on every post, so nothing that consumers read
  // on every take shares its line.
  alignas(64) std::atomic<int> sleepers_{0};
  alignas(64) std::atomic<bool> closed_{false};
};

enum class DequeueResult { Packet, TimedOut, PortClosed };

// Counts the consumer as a sleeper for its scope (cancellation included).
class SleeperRecord {
 public:
  explicit SleeperRecord(CompletionPort& port) : port_(port) { port_.beginSleep(); }
  ~SleeperRecord() { port_.endSleep(); }
  SleeperRecord(const SleeperRecord&) = delete;
  SleeperRecord& operator=(const SleeperRecord&) = delete;

 private:
  CompletionPort& port_;
};

DequeueResult dequeuePacket(CompletionPort& port, DWORD milliseconds, CompletionPacket* packet) {
  if (port.closed()) return DequeueResult::PortClosed;
  if (port.takeOldest(packet)) return DequeueResult::Packet;
  bool portClosed = false;
  DispatcherLock lock;
  SleeperRecord sleeper(port);
  const bool completed = waitUntil(lock, {&port}, milliseconds, [&] {
    portClosed = port.closed();
    return portClosed || port.takeOldest(packet);
  });
  if (!completed) return DequeueResult::TimedOut;
  return portClosed ? DequeueResult::PortClosed : DequeueResult::Packet;
}

// The port behind a handle. A post and a take happen for every item a queue carries, so
// the type check is the exact-type comparison the final class allows, not a dynamic cast.
CompletionPort* lookupPort(HANDLE handle) {
  KernelObject* object = HandleTable::instance().findCached(handle);
  if (object != nullptr && typeid(*object) == typeid(CompletionPort)) return static_cast<CompletionPort*>(object);
  SetLastError(ERROR_INVALID_HANDLE);
  return nullptr;
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
  CompletionPort* object = lookupPort(port);
  if (!object) return FALSE;
  object->post(CompletionPacket{bytesTransferred, completionKey, overlapped});
  return TRUE;
}

BOOL WINAPI GetQueuedCompletionStatus(HANDLE port, LPDWORD bytesTransferred, PULONG_PTR completionKey,
                                      LPOVERLAPPED* overlapped, DWORD milliseconds) {
  CompletionPort* object = lookupPort(port);
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
