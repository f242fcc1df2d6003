#include "KestroIOBuffer.h"

#include <gtest/gtest.h>

#include <stddef.h>

#include <algorithm>
#include <new>
#include <type_traits>
#include <vector>

using Kestro::CIOBuffer;
typedef CIOBuffer::byte_type Byte;

namespace {

std::vector<Byte> Pattern(size_t n, Byte seed = 1) {
  std::vector<Byte> bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<Byte>(seed + i * 7);
  return bytes;
}

std::vector<Byte> Content(const CIOBuffer& buffer) {
  return std::vector<Byte>(buffer.data(), buffer.data() + buffer.size());
}

// The store as a whole: data() minus the begin offset.
const Byte* Store(CIOBuffer& buffer) { return buffer.data() - buffer.begin_offset(); }

// Capacity 1024 holding the bytes 500..999 of a pattern: begin 500, end 1000, space 24.
void FillHalfConsumed(CIOBuffer& buffer, std::vector<Byte>& content) {
  std::vector<Byte> all = Pattern(1000);
  ASSERT_EQ(1000u, buffer.write(all.data(), 1000));
  buffer.consume(500);
  ASSERT_EQ(500u, buffer.begin_offset());
  ASSERT_EQ(24u, buffer.space());
  content.assign(all.begin() + 500, all.end());
}

}  // namespace

static_assert(std::is_same<CIOBuffer::byte_type, uint8_t>::value, "bytes are unsigned 8-bit");
static_assert(!std::is_polymorphic<CIOBuffer>::value, "no virtual operations");
static_assert(std::is_standard_layout<CIOBuffer>::value, "fields are laid out in order");
static_assert(offsetof(CIOBuffer, _beginOffset) == 0 && offsetof(CIOBuffer, _endOffset) == 4 &&
                  offsetof(CIOBuffer, _store) == 8 &&
                  offsetof(CIOBuffer, _store) < offsetof(CIOBuffer, _mainContext) &&
                  offsetof(CIOBuffer, _mainContext) < offsetof(CIOBuffer, _subContext) &&
                  offsetof(CIOBuffer, _subContext) < offsetof(CIOBuffer, _wparam) &&
                  offsetof(CIOBuffer, _wparam) < offsetof(CIOBuffer, _lparam),
              "documented field order");

// Tests that small requests get the 1024-byte minimum and every store byte is zero.
TEST(IOBufferTest, ConstructionHasMinimumCapacityAndZeroStore) {
  for (unsigned int requested : {0u, 100u, 1024u, 5000u}) {
    CIOBuffer buffer(requested);
    const unsigned int expected = std::max(requested, 1024u);
    EXPECT_EQ(expected, buffer.capacity());
    EXPECT_EQ(expected, buffer.space());
    EXPECT_TRUE(buffer.empty());
    EXPECT_EQ(0u, buffer.begin_offset());
    EXPECT_EQ(0u, buffer.end_offset());
    EXPECT_EQ(0, buffer.mainContext());
    EXPECT_EQ(0, buffer.subContext());
    EXPECT_EQ(0, buffer.wparam());
    EXPECT_EQ(0, buffer.lparam());
    const Byte* store = buffer.data();
    EXPECT_TRUE(std::all_of(store, store + expected, [](Byte b) { return b == 0; }));
  }
  EXPECT_EQ(1024u, CIOBuffer().capacity());
}

// Tests that a write that does not fit behind the content crunches first and then grows
// the store to exactly what is needed, with zero bytes past the old store.
TEST(IOBufferTest, WriteCrunchesThenGrowsExactly) {
  CIOBuffer buffer;
  std::vector<Byte> expected;
  FillHalfConsumed(buffer, expected);
  std::vector<Byte> more = Pattern(600, 99);
  EXPECT_EQ(600u, buffer.write(more.data(), 600));
  EXPECT_EQ(1100u, buffer.capacity());
  EXPECT_EQ(0u, buffer.begin_offset());
  EXPECT_EQ(1100u, buffer.end_offset());
  EXPECT_EQ(1100u, buffer.size());
  expected.insert(expected.end(), more.begin(), more.end());
  EXPECT_EQ(expected, Content(buffer));
}

TEST(IOBufferTest, PushWithoutCrunchGrowsInPlace) {
  CIOBuffer buffer;
  std::vector<Byte> expected;
  FillHalfConsumed(buffer, expected);
  std::vector<Byte> more = Pattern(600, 3);
  buffer.push_data(1, 2, more.data(), 600, 3, 4, false);
  EXPECT_EQ(1600u, buffer.capacity());
  EXPECT_EQ(500u, buffer.begin_offset());
  EXPECT_EQ(1600u, buffer.end_offset());
  expected.insert(expected.end(), more.begin(), more.end());
  EXPECT_EQ(expected, Content(buffer));
}

TEST(IOBufferTest, PushThatFitsNeitherCrunchesNorGrows) {
  CIOBuffer buffer;
  std::vector<Byte> expected;
  FillHalfConsumed(buffer, expected);
  std::vector<Byte> more = Pattern(20, 5);
  buffer.push_data(0, 0, more.data(), 20, 0, 0, true);
  EXPECT_EQ(1024u, buffer.capacity());
  EXPECT_EQ(500u, buffer.begin_offset());
  EXPECT_EQ(1020u, buffer.end_offset());
}

// Tests that a crunch alone can make enough room, so the store does not grow.
TEST(IOBufferTest, EnoughCrunchesWithoutGrowingWhenThatSuffices) {
  CIOBuffer buffer;
  std::vector<Byte> expected;
  FillHalfConsumed(buffer, expected);
  buffer.enough(524, true);
  EXPECT_EQ(1024u, buffer.capacity());
  EXPECT_EQ(0u, buffer.begin_offset());
  EXPECT_EQ(500u, buffer.end_offset());
  EXPECT_EQ(expected, Content(buffer));
  buffer.enough(525, false);
  EXPECT_EQ(1025u, buffer.capacity());
  EXPECT_EQ(0, Store(buffer)[1024]);
}

// Tests that growth zeroes the new bytes even where the old store held data.
TEST(IOBufferTest, GrowthZeroesNewBytes) {
  CIOBuffer buffer;
  std::vector<Byte> ones(1024, 0xFF);
  buffer.write(ones.data(), 1024);
  buffer.consume(1024);
  buffer.enough(2000, false);
  ASSERT_EQ(2000u, buffer.capacity());
  const Byte* store = Store(buffer);
  EXPECT_TRUE(std::all_of(store, store + 1024, [](Byte b) { return b == 0xFF; }));
  EXPECT_TRUE(std::all_of(store + 1024, store + 2000, [](Byte b) { return b == 0; }));
}

// Tests that a store longer than 32-bit offsets can address fails like an allocation
// failure and leaves the buffer exactly as it was.
TEST(IOBufferTest, GrowthBeyond32BitsThrowsAndKeepsBuffer) {
  CIOBuffer buffer;
  std::vector<Byte> expected;
  FillHalfConsumed(buffer, expected);
  Byte one = 1;
  EXPECT_THROW(buffer.enough(0xFFFFFFFFu, true), std::bad_alloc);
  EXPECT_THROW(buffer.write(&one, 0xFFFFFFF0u), std::bad_alloc);
  EXPECT_EQ(1024u, buffer.capacity());
  EXPECT_EQ(500u, buffer.begin_offset());
  EXPECT_EQ(1000u, buffer.end_offset());
  EXPECT_EQ(expected, Content(buffer));
}

TEST(IOBufferTest, ReadTakesUpToLenAndResetsWhenDrained) {
  std::vector<Byte> ten = Pattern(10);
  std::vector<Byte> out(4096, 0);
  CIOBuffer buffer;
  buffer.write(ten.data(), 10);
  EXPECT_EQ(4u, buffer.read(out.data(), 4));
  EXPECT_EQ(4u, buffer.begin_offset());
  EXPECT_TRUE(std::equal(ten.begin(), ten.begin() + 4, out.begin()));
  EXPECT_EQ(6u, buffer.read(out.data(), 6));
  EXPECT_EQ(0u, buffer.begin_offset());
  EXPECT_EQ(0u, buffer.end_offset());

  buffer.write(ten.data(), 10);
  EXPECT_EQ(10u, buffer.read(out.data(), 4096));
  EXPECT_TRUE(std::equal(ten.begin(), ten.end(), out.begin()));
  EXPECT_EQ(0u, buffer.end_offset());

  // A negative length is a huge unsigned one: the whole content.
  buffer.write(ten.data(), 10);
  EXPECT_EQ(10u, buffer.read(out.data(), -1));
  EXPECT_TRUE(buffer.empty());
  EXPECT_EQ(0u, buffer.read(out.data(), 5));
}

TEST(IOBufferTest, NullPointersAreNothingToCopy) {
  CIOBuffer buffer;
  std::vector<Byte> ten = Pattern(10);
  buffer.push_data(1, 2, ten.data(), 10, 3, 4, true);
  EXPECT_EQ(0u, buffer.read(nullptr, 5));
  EXPECT_EQ(10u, buffer.size());
  buffer.push_data(5, 6, nullptr, 100, 7, 8, true);
  EXPECT_EQ(10u, buffer.size());
  EXPECT_EQ(5, buffer.mainContext());
  EXPECT_EQ(8, buffer.lparam());
  EXPECT_EQ(0u, buffer.write(nullptr, 100));
  EXPECT_EQ(0u, buffer.write(nullptr, 0));
  EXPECT_EQ(10u, buffer.size());
  EXPECT_EQ(0, buffer.mainContext());
  EXPECT_EQ(1024u, buffer.capacity());
  buffer.copyTo(nullptr);
  EXPECT_EQ(ten, Content(buffer));
}

TEST(IOBufferTest, ConsumeAndClearResetOffsets) {
  CIOBuffer buffer;
  std::vector<Byte> ten = Pattern(10);
  buffer.push_data(1, 2, ten.data(), 10, 3, 4, true);
  buffer.consume(3);
  EXPECT_EQ(3u, buffer.begin_offset());
  buffer.consume(buffer.size());
  EXPECT_EQ(0u, buffer.begin_offset());
  EXPECT_EQ(0u, buffer.end_offset());

  buffer.push_data(1, 2, ten.data(), 10, 3, 4, true);
  buffer.consume(3);
  buffer.clear();
  EXPECT_EQ(0u, buffer.begin_offset());
  EXPECT_EQ(0u, buffer.end_offset());
  EXPECT_EQ(1, buffer.mainContext());
  EXPECT_EQ(2, buffer.subContext());
  EXPECT_EQ(3, buffer.wparam());
  EXPECT_EQ(4, buffer.lparam());
}

// Tests the clamping chosen for calls that would break begin <= end <= capacity.
TEST(IOBufferTest, OutOfRangeCountsAreClamped) {
  CIOBuffer buffer;
  std::vector<Byte> ten = Pattern(10);
  buffer.write(ten.data(), 10);
  buffer.consume(3);
  buffer.consume(1000);
  EXPECT_EQ(0u, buffer.begin_offset());
  EXPECT_EQ(0u, buffer.end_offset());

  buffer.produce(5000);
  EXPECT_EQ(1024u, buffer.end_offset());
  EXPECT_EQ(0u, buffer.space());
  EXPECT_EQ(1024u, buffer.capacity());

  buffer.consume(100);
  buffer.resize(0xFFFFFFFFu);
  EXPECT_EQ(1024u, buffer.capacity());
  EXPECT_EQ(0u, buffer.begin_offset());
  EXPECT_EQ(1024u, buffer.size());
}

TEST(IOBufferTest, CrunchMovesOverlappingContentToFront) {
  CIOBuffer buffer;
  std::vector<Byte> all = Pattern(300);
  buffer.write(all.data(), 300);
  buffer.crunch();  // begin 0: nothing moves
  EXPECT_EQ(300u, buffer.end_offset());
  buffer.consume(100);  // content 100..299 overlaps its destination 0..199
  buffer.crunch();
  EXPECT_EQ(0u, buffer.begin_offset());
  EXPECT_EQ(200u, buffer.end_offset());
  EXPECT_EQ(std::vector<Byte>(all.begin() + 100, all.end()), Content(buffer));

  buffer.consume(50);
  buffer.resize(0);  // empty content with a nonzero begin
  ASSERT_EQ(50u, buffer.begin_offset());
  ASSERT_TRUE(buffer.empty());
  buffer.crunch();
  EXPECT_EQ(0u, buffer.begin_offset());
  EXPECT_EQ(0u, buffer.end_offset());
}

TEST(IOBufferTest, ResizeKeepsBeginWhenItFitsElseMovesToFront) {
  CIOBuffer buffer;
  std::vector<Byte> all = Pattern(1000);
  buffer.write(all.data(), 1000);
  buffer.consume(600);
  buffer.resize(100);
  EXPECT_EQ(600u, buffer.begin_offset());
  EXPECT_EQ(700u, buffer.end_offset());
  // Growing again exposes the bytes still lying behind the content.
  buffer.resize(400);
  EXPECT_EQ(std::vector<Byte>(all.begin() + 600, all.end()), Content(buffer));

  // 600 + 500 does not fit: the content moves to the front and the store stays 1024.
  buffer.resize(500);
  EXPECT_EQ(1024u, buffer.capacity());
  EXPECT_EQ(0u, buffer.begin_offset());
  EXPECT_EQ(500u, buffer.end_offset());
  std::vector<Byte> content = Content(buffer);
  EXPECT_TRUE(std::equal(all.begin() + 600, all.end(), content.begin()));
  EXPECT_TRUE(std::equal(all.begin() + 400, all.begin() + 500, content.begin() + 400));
}

TEST(IOBufferTest, PushReplacesContextsAndWriteZeroesThem) {
  CIOBuffer buffer;
  std::vector<Byte> ten = Pattern(10);
  const __int64 big = 0x123456789ABCDEF0LL;
  buffer.push_data(big, -2, ten.data(), 10, -big, 4, false);
  EXPECT_EQ(big, buffer.mainContext());
  EXPECT_EQ(-2, buffer.subContext());
  EXPECT_EQ(-big, buffer.wparam());
  EXPECT_EQ(4, buffer.lparam());
  EXPECT_EQ(3u, buffer.write(ten.data(), 3));
  EXPECT_EQ(0, buffer.mainContext());
  EXPECT_EQ(0, buffer.subContext());
  EXPECT_EQ(0, buffer.wparam());
  EXPECT_EQ(0, buffer.lparam());
}

// Tests every copy path: same capacity, offsets, contexts and whole store, no sharing.
TEST(IOBufferTest, CopiesAreCompleteAndIndependent) {
  CIOBuffer source(2000);
  std::vector<Byte> all = Pattern(1500);
  source.push_data(1, 2, all.data(), 1500, 3, 4, false);
  source.consume(700);

  auto expectSame = [&](CIOBuffer& copy) {
    EXPECT_EQ(2000u, copy.capacity());
    EXPECT_EQ(700u, copy.begin_offset());
    EXPECT_EQ(1500u, copy.end_offset());
    EXPECT_EQ(1, copy.mainContext());
    EXPECT_EQ(2, copy.subContext());
    EXPECT_EQ(3, copy.wparam());
    EXPECT_EQ(4, copy.lparam());
    EXPECT_NE(Store(source), Store(copy));
    EXPECT_TRUE(std::equal(Store(source), Store(source) + 2000, Store(copy)));
  };
  CIOBuffer constructed(source);
  expectSame(constructed);
  CIOBuffer assigned(8000);  // a larger store is replaced, not kept
  assigned = source;
  expectSame(assigned);
  CIOBuffer target;
  source.copyTo(&target);
  expectSame(target);

  constructed.data()[0] ^= 0xFF;
  constructed.write(all.data(), 100);
  assigned.consume(800);
  target.enough(10000, false);
  EXPECT_EQ(all[700], source.data()[0]);
  EXPECT_EQ(800u, source.size());
  EXPECT_EQ(2000u, source.capacity());
  EXPECT_EQ(1, source.mainContext());

  CIOBuffer& alias = source;
  source = alias;
  source.copyTo(&source);
  EXPECT_EQ(std::vector<Byte>(all.begin() + 700, all.end()), Content(source));
}
