// The I/O completion port used as a work queue: packets posted by
// PostQueuedCompletionStatus, taken oldest first by GetQueuedCompletionStatus.
#include <vector>

#include <unistd.h>

#include <algorithm>
#include <atomic>

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
class CompletionPort final : public DispatcherObject {
 public:
  void post(const CompletionPacket& packet) {
    DispatcherLock lock;
    packets_.push(packet);
    pending_.store(pending_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    wakeWaiters();
  }

  // Distinguishes this port from any later one at the same address.
  uint64_t serial() const { return serial_; }

  // Read without the lock, only to decide whether spinning is still worth it.
  bool looksEmpty() const { return pending_.load(std::memory_order_acquire) == 0; }

  // Both with the dispatcher lock held (closed may also be read without it).
  bool closed() const { return closed_.load(std::memory_order_acquire); }
  bool takeOldest(CompletionPacket* packet) {
    if (packets_.empty()) return false;
    *packet = packets_.pop();
    pending_.store(pending_.load(std::memory_order_relaxed) - 1, std::memory_order_relaxed);
    return true;
  }

 protected:
  // Threads blocked on the port wake up and fail, as on Windows; packets still queued
  // are dropped.
  void onLastHandleClosed() override {
    DispatcherLock lock;
    closed_.store(true, std::memory_order_release);
    packets_.clear();
    pending_.store(0, std::memory_order_relaxed);
    wakeWaiters();
  }

 private:
  // guarded by the dispatcher lock:
  PacketRing packets_;
  std::atomic<bool> closed_{false};
  std::atomic<size_t> pending_{0};  // written under the lock
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
  // With the dispatcher lock held.
  bool takeFrom(CompletionPort& port, CompletionPacket* packet) {
    serial_ = port.serial();
    next_ = count_ = 0;
    while (count_ < kBatch && port.takeOldest(&packets_[count_])) ++count_;
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

// A consumer that finds the port empty spins a few microseconds before it sleeps: a
// producer that posts again soon then hands over without waking a sleeping thread,
// which costs two system calls per packet. Pointless with a single processor.
void spinWhileEmpty(const CompletionPort& port) {
  static const bool severalProcessors = sysconf(_SC_NPROCESSORS_ONLN) > 1;
  if (!severalProcessors) return;
  constexpr int kSpins = 4000;
  for (int i = 0; i < kSpins && port.looksEmpty(); ++i) __builtin_ia32_pause();
}

DequeueResult dequeuePacket(CompletionPort& port, DWORD milliseconds, CompletionPacket* packet) {
  if (t_taken.next(port, packet)) return DequeueResult::Packet;
  if (milliseconds != 0 && port.looksEmpty()) spinWhileEmpty(port);
  bool portClosed = false;
  DispatcherLock lock;
  const bool completed = waitUntil(lock, {&port}, milliseconds, [&] {
    portClosed = port.closed();
    return portClosed || t_taken.takeFrom(port, packet);
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
  auto object = lookupHandle<CompletionPort>(port);
  if (!object) return FALSE;
  object->post(CompletionPacket{bytesTransferred, completionKey, overlapped});
  return TRUE;
}

BOOL WINAPI GetQueuedCompletionStatus(HANDLE port, LPDWORD bytesTransferred, PULONG_PTR completionKey,
                                      LPOVERLAPPED* overlapped, DWORD milliseconds) {
  auto object = lookupHandle<CompletionPort>(port);
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
