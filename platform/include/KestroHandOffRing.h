// KcmHandOffRing: a first-in, first-out hand-off of small values from one writing side
// to one reading side. Each side is serialised by its owner (a lock of its own, or a
// single thread); neither ever takes the other's lock.
//
// Why: a queue guarded by one lock makes producer and consumer trade that lock's cache
// line on every item, besides the lines of the item itself. Here each value carries a
// flag that the writer sets and the reader clears, so the two meet only on the lines
// that hold the values.
//
// Storage grows in segments, without a bound. A segment the reader has left is kept as
// the spare for the writer's next one (the spare it replaces is freed, so a backlog's
// segments go as it drains), and a steady stream allocates nothing.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <atomic>

template <typename T, size_t kSegmentSlots>
class KcmHandOffRing {
 public:
  // Two segments up front: the second is the spare the writer moves into first, so that
  // even the first crossing of a steady stream allocates nothing.
  KcmHandOffRing() : writer_{new Segment}, reader_{writer_.segment}, spare_{new Segment} {
    writer_.publishSegment = writer_.segment;
  }
  ~KcmHandOffRing() {
    for (Segment* segment = reader_.segment; segment != nullptr;) {
      Segment* next = segment->next.load(std::memory_order_acquire);
      delete segment;
      segment = next;
    }
    delete spare_.load(std::memory_order_acquire);
  }
  KcmHandOffRing(const KcmHandOffRing&) = delete;
  KcmHandOffRing& operator=(const KcmHandOffRing&) = delete;

  // Writer side. May allocate a segment (std::bad_alloc leaves the ring unchanged).
  void push(const T& value) {
    stage(value);
    publish();
  }
  // Writer side: push without showing the value to the reader yet. A writer that stages
  // several values and publishes them at once hands their cache lines over once for all.
  void stage(const T& value) {
    if (writer_.index == kSegmentSlots) moveWriterToNewSegment();
    writer_.segment->slots[writer_.index++].value = value;
    ++writer_.written;
  }
  void publish() {
    for (; writer_.published != writer_.written; ++writer_.published) {
      if (writer_.publishIndex == kSegmentSlots) {
        writer_.publishSegment = writer_.publishSegment->next.load(std::memory_order_relaxed);
        writer_.publishIndex = 0;
      }
      writer_.publishSegment->slots[writer_.publishIndex++].full.store(true, std::memory_order_release);
    }
  }
  size_t staged() const { return static_cast<size_t>(writer_.written - writer_.published); }

  // Reader side. False when nothing is waiting.
  bool pop(T* value) {
    if (reader_.index == kSegmentSlots && !moveReaderToNextSegment()) return false;
    Slot& slot = reader_.segment->slots[reader_.index];
    if (!slot.full.load(std::memory_order_acquire)) return false;
    *value = slot.value;
    slot.full.store(false, std::memory_order_relaxed);  // ready for the segment's reuse
    ++reader_.index;
    ++reader_.taken;
    return true;
  }

  // Reader side: the value `ahead` places behind the one pop would answer next (0: that
  // one), left in place. False when fewer wait.
  bool peek(size_t ahead, T* value) const {
    const Segment* segment = reader_.segment;
    size_t index = reader_.index + ahead;
    for (; index >= kSegmentSlots && segment != nullptr; index -= kSegmentSlots) {
      segment = segment->next.load(std::memory_order_acquire);
    }
    if (segment == nullptr || !segment->slots[index].full.load(std::memory_order_acquire)) return false;
    *value = segment->slots[index].value;
    return true;
  }

  // With both sides held: the waiting values (published or staged), oldest first, and
  // their count.
  template <typename Visit>
  void forEachWaiting(Visit visit) const {
    const Segment* segment = reader_.segment;
    size_t index = reader_.index;
    for (uint64_t left = writer_.written - reader_.taken; left > 0; --left) {
      if (index == kSegmentSlots) {
        segment = segment->next.load(std::memory_order_relaxed);
        index = 0;
      }
      visit(segment->slots[index++].value);
    }
  }
  size_t waiting() const { return static_cast<size_t>(writer_.written - reader_.taken); }

 private:
  // Each value carries its own flag: a reader learns that a value arrived from the cache
  // line that brings the value, not from a count on a line of its own.
  struct Slot {
    T value{};
    std::atomic<bool> full{false};
  };
  struct Segment {
    Slot slots[kSegmentSlots];
    // Set by the writer before it publishes the first value of the next segment.
    std::atomic<Segment*> next{nullptr};
  };

  void moveWriterToNewSegment() {
    Segment* segment = spare_.exchange(nullptr, std::memory_order_acq_rel);
    if (segment == nullptr) segment = new Segment;
    segment->next.store(nullptr, std::memory_order_relaxed);
    writer_.segment->next.store(segment, std::memory_order_release);
    writer_.segment = segment;
    writer_.index = 0;
  }

  // Moves on only once the next segment's first value is published: the writer's
  // publishing has then left the segment behind too, so it can become the spare.
  bool moveReaderToNextSegment() {
    Segment* next = reader_.segment->next.load(std::memory_order_acquire);
    if (next == nullptr || !next->slots[0].full.load(std::memory_order_acquire)) return false;
    delete spare_.exchange(reader_.segment, std::memory_order_acq_rel);
    reader_.segment = next;
    reader_.index = 0;
    return true;
  }

  struct alignas(64) WriterSide {
    explicit WriterSide(Segment* first) : segment(first) {}
    Segment* segment;
    size_t index = 0;  // next slot to write in `segment`
    uint64_t written = 0;
    uint64_t published = 0;  // the part of `written` the reader may see
    Segment* publishSegment = nullptr;  // where the next value to publish lies
    size_t publishIndex = 0;
  };
  struct alignas(64) ReaderSide {
    explicit ReaderSide(Segment* first) : segment(first) {}
    Segment* segment;
    size_t index = 0;  // next slot to read in `segment`
    uint64_t taken = 0;
  };

  WriterSide writer_;
  ReaderSide reader_;
  alignas(64) std::atomic<Segment*> spare_;
};
