// The I/O completion port used as a work queue: packets posted by
// PostQueuedCompletionStatus, taken oldest first by GetQueuedCompletionStatus.
#include <vector>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <typeinfo>

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

// Packets in posting order, in a ring that grows but never shrinks, so that a steady
// stream of posts and takes allocates nothing.
class PacketRing {
 public:
  bool empty() const { return count_ == 0; }
  void push(const CompletionPacket& packet) {
    if (count_ == slots_.size()) grow();
    slots_[(head_ + count_) % slots_.size()] = packet;
    ++count_;
  }
  CompletionPacket pop() {
    const CompletionPacket packet = slots_[head_];
    head_ = (head_ + 1) % slots_.size();
    --count_;
    return packet;
  }
  void clear() { head_ = count_ = 0; }

 private:
  void grow() {
    std::vector<CompletionPacket> larger(std::max<size_t>(16, slots_.size() * 2));
    for (size_t i = 0; i < count_; ++i) larger[i] = slots_[(head_ + i) % slots_.size()];
    slots_.swap(larger);
    head_ = 0;
  }

  std::vector<CompletionPacket> slots_;
  size_t head_ = 0;
  size_t count_ = 0;
};

// The concurrency value only tunes how many threads Windows lets run at once; with a
// FIFO queue under one lock it changes nothing observable here, so it is not kept.
//
// The packets have a lock of their own, apart from the process-wide dispatcher lock:
// a producer takes the dispatcher lock only to wake a consumer that has gone to sleep
// on an empty port. A consumer counts itself as a sleeper before its last look at the
// packets, and a producer that turns the port from empty to non-empty reads that count
// after its push, so one of the two always sees the other.
class CompletionPort final : public DispatcherObject {
 public:
  void post(const CompletionPacket& packet) {
    bool wasEmpty;
    {
      std::lock_guard<std::mutex> lock(packetsLock_);
      wasEmpty = packets_.empty();
      packets_.push(packet);
    }
    // A read-modify-write, not a plain load: it is ordered with the consumer's count.
    if (wasEmpty && sleepers_.fetch_add(0, std::memory_order_acq_rel) > 0) {
      DispatcherLock lock;
      wakeWaiters();
    }
  }

  // Distinguishes this port from any later one at the same address.
  uint64_t serial() const { return serial_; }

  bool closed() const { return closed_.load(std::memory_order_acquire); }

  // Moves up to `capacity` of the oldest packets to `out`; answers how many.
  int takeOldest(CompletionPacket* out, int capacity) {
    std::lock_guard<std::mutex> lock(packetsLock_);
    int count = 0;
    while (count < capacity && !packets_.empty()) out[count++] = packets_.pop();
    return count;
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
      std::lock_guard<std::mutex> packetsLock(packetsLock_);
      packets_.clear();
    }
    wakeWaiters();
  }

 private:
  std::mutex packetsLock_;
  PacketRing packets_;  // guarded by packetsLock_
  // Apart from the lock: a consumer going to sleep does not take the lock's cache line
  // from the producers.
  alignas(64) std::atomic<int> sleepers_{0};
  std::atomic<bool> closed_{false};
  const uint64_t serial_ = nextSerial();

  static uint64_t nextSerial() {
    static std::atomic<uint64_t> serials{0};
    return ++serials;
  }
};

// A consumer takes the waiting packets, up to a batch, in one hold of the lock and
// hands them out in order on its next calls, so that producer and consumer meet on the
// lock once per batch rather than once per packet. The packets are then the consumer's:
// other threads waiting on the same port get the later ones (as with a concurrency value
// of 1, only one consumer runs at a time anyway), and closing the port drops them as it
// drops the queued ones.
class TakenPackets {
 public:
  bool next(const CompletionPort& port, CompletionPacket* packet) {
    if (serial_ != port.serial() || next_ == count_) return false;
    if (port.closed()) {
      next_ = count_ = 0;
      return false;
    }
    *packet = packets_[next_++];
    return true;
  }
  bool takeFrom(CompletionPort& port, CompletionPacket* packet) {
    serial_ = port.serial();
    next_ = 0;
    count_ = port.takeOldest(packets_, kBatch);
    return next(port, packet);
  }

 private:
  static constexpr int kBatch = 64;
  uint64_t serial_ = 0;
  int next_ = 0;
  int count_ = 0;
  CompletionPacket packets_[kBatch];
};

thread_local TakenPackets t_taken;

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
  if (t_taken.next(port, packet)) return DequeueResult::Packet;
  if (port.closed()) return DequeueResult::PortClosed;
  if (t_taken.takeFrom(port, packet)) return DequeueResult::Packet;
  bool portClosed = false;
  DispatcherLock lock;
  SleeperRecord sleeper(port);
  const bool completed = waitUntil(lock, {&port}, milliseconds, [&] {
    portClosed = port.closed();
    return portClosed || t_taken.takeFrom(port, packet);
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
