// KcmHandOffRing: a first-in, first-out hand-off of small values from one writing side
// to one reading side. Each side is serialised by its owner (a lock of its own, or a
// single thread); neither ever takes the other's lock.
//
// Why: a queue guarded by one lock makes producer and consumer trade that lock's cache
// line on every item. Here the writer publishes a running count and the reader keeps
// its own, re-reading the writer's only when it has taken all it saw last: the two
// meet on a shared cache line once per batch, not once per item.
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
  KcmHandOffRing() : writer_{new Segment, 0, 0, 0}, reader_{writer_.segment, 0, 0, 0}, spare_{new Segment} {}
  ~KcmHandOffRing() {
    for (Segment* segment = reader_.segment; segment != nullptr;) {
      Segment* next = segment->next;
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
  // several values and publishes them at once hands the shared line over once for all.
  void stage(const T& value) {
    if (writer_.index == kSegmentSlots) moveWriterToNewSegment();
    writer_.segment->slots[writer_.index++] = value;
    ++writer_.written;
  }
  void publish() {
    if (writer_.published != writer_.written) published_.store(writer_.published = writer_.written, std::memory_order_release);
  }
  size_t staged() const { return static_cast<size_t>(writer_.written - writer_.published); }

  // Reader side. False when nothing is waiting.
  bool pop(T* value) {
    if (!readerSeesMore()) return false;
    if (reader_.index == kSegmentSlots) moveReaderToNextSegment();
    *value = reader_.segment->slots[reader_.index++];
    ++reader_.taken;
    return true;
  }

  // Reader side: the value `ahead` places behind the one pop would answer next (0: that
  // one), left in place. False when fewer wait.
  bool peek(size_t ahead, T* value) {
    if (reader_.seenPublished - reader_.taken <= ahead) {
      reader_.seenPublished = published_.load(std::memory_order_acquire);
      if (reader_.seenPublished - reader_.taken <= ahead) return false;
    }
    const Segment* segment = reader_.segment;
    size_t index = reader_.index + ahead;
    for (; index >= kSegmentSlots; index -= kSegmentSlots) segment = segment->next;
    *value = segment->slots[index];
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
        segment = segment->next;
        index = 0;
      }
      visit(segment->slots[index++]);
    }
  }
  size_t waiting() const { return static_cast<size_t>(writer_.written - reader_.taken); }

 private:
  struct Segment {
    T slots[kSegmentSlots];
    // Set by the writer before it publishes the first value of the next segment.
    Segment* next = nullptr;
  };

  bool readerSeesMore() {
    if (reader_.taken != reader_.seenPublished) return true;
    reader_.seenPublished = published_.load(std::memory_order_acquire);
    return reader_.taken != reader_.seenPublished;
  }

  void moveWriterToNewSegment() {
    Segment* segment = spare_.exchange(nullptr, std::memory_order_acq_rel);
    if (segment == nullptr) segment = new Segment;
    segment->next = nullptr;
    writer_.segment->next = segment;
    writer_.segment = segment;
    writer_.index = 0;
  }

  // The writer is past the segment left behind: it only ever writes into the newest.
  void moveReaderToNextSegment() {
    Segment* left = reader_.segment;
    reader_.segment = left->next;
    reader_.index = 0;
    delete spare_.exchange(left, std::memory_order_acq_rel);
  }

  struct alignas(64) WriterSide {
    Segment* segment;
    size_t index;  // next slot to write in `segment`
    uint64_t written;
    uint64_t published;  // the part of `written` the reader may see
  };
  struct alignas(64) ReaderSide {
    Segment* segment;
    size_t index;  // next slot to read in `segment`
    uint64_t taken;
    uint64_t seenPublished;  // the writer's count as last read
  };

  WriterSide writer_;
  ReaderSide reader_;
  alignas(64) std::atomic<uint64_t> published_{0};
  alignas(64) std::atomic<Segment*> spare_;
};
