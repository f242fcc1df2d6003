#include "KestroIOBuffer.h"

#include <gtest/gtest.h>

#include <stddef.h>

#include <algorithm>
#include <vector>

using Kestro::CIOBuffer;
typedef CIOBuffer::byte_type Byte;

namespace {

std::vector<Byte> Pattern(size_t n, Byte seed = 1) {
  std::vector<Byte> bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<Byte>(seed + i * 7);
  return bytes;
}

std::vector<Byte> Content(const CIOBuffer& buffer) { return {buffer.data(), buffer.data() + buffer.size()}; }

// The whole store: data() minus the begin offset.
const Byte* Store(CIOBuffer& buffer) { return buffer.data() - buffer.begin_offset(); }

// Capacity 1024 holding bytes 500..999 of a pattern: begin 500, end 1000, space 24.
class HalfConsumedBuffer : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::vector<Byte> all = Pattern(1000);
    ASSERT_EQ(buffer.write(all.data(), 1000), 1000u);
    buffer.consume(500);
    ASSERT_EQ(buffer.space(), 24u);
    content.assign(all.begin() + 500, all.end());
  }
  CIOBuffer buffer;
  std::vector<Byte> content;
};

}  // namespace

static_assert(offsetof(CIOBuffer, _beginOffset) == 0 && offsetof(CIOBuffer, _endOffset) == 4 &&
                  offsetof(CIOBuffer, _store) == 8 && offsetof(CIOBuffer, _store) < offsetof(CIOBuffer, _mainContext) &&
                  offsetof(CIOBuffer, _mainContext) < offsetof(CIOBuffer, _subContext) &&
                  offsetof(CIOBuffer, _subContext) < offsetof(CIOBuffer, _wparam) &&
                  offsetof(CIOBuffer, _wparam) < offsetof(CIOBuffer, _lparam),
              "documented field order");

TEST(IOBuffer, ConstructionHasMinimumCapacityAndZeroStore) {
  for (unsigned int requested : {0u, 100u, 1024u, 5000u}) {
    CIOBuffer buffer(requested);
    const unsigned int expected = std::max(requested, 1024u);
    EXPECT_EQ(buffer.capacity(), expected);
    EXPECT_TRUE(buffer.empty());
    EXPECT_EQ(buffer.mainContext() | buffer.subContext() | buffer.wparam() | buffer.lparam(), 0);
    EXPECT_TRUE(std::all_of(buffer.data(), buffer.data() + expected, [](Byte b) { return b == 0; }));
  }
  EXPECT_EQ(CIOBuffer().capacity(), 1024u);
}

// Tests that a write with too little room behind the content crunches first, then grows
// the store to exactly what is needed, the new bytes zero.
TEST_F(HalfConsumedBuffer, WriteCrunchesThenGrowsExactly) {
  const std::vector<Byte> more = Pattern(600, 99);
  EXPECT_EQ(buffer.write(more.data(), 600), 600u);
  EXPECT_EQ(buffer.capacity(), 1100u);
  EXPECT_EQ(buffer.begin_offset(), 0u);
  EXPECT_EQ(buffer.end_offset(), 1100u);
  content.insert(content.end(), more.begin(), more.end());
  EXPECT_EQ(Content(buffer), content);
  buffer.consume(1100);
  buffer.enough(1200, false);
  EXPECT_EQ(buffer.capacity(), 1200u);
  EXPECT_TRUE(std::all_of(Store(buffer) + 1100, Store(buffer) + 1200, [](Byte b) { return b == 0; }));
}

TEST_F(HalfConsumedBuffer, PushWithoutCrunchGrowsInPlace) {
  const std::vector<Byte> more = Pattern(600, 3);
  buffer.push_data(1, 2, more.data(), 600, 3, 4, false);
  EXPECT_EQ(buffer.capacity(), 1600u);
  EXPECT_EQ(buffer.begin_offset(), 500u);
  EXPECT_EQ(buffer.end_offset(), 1600u);
  content.insert(content.end(), more.begin(), more.end());
  EXPECT_EQ(Content(buffer), content);
}

TEST_F(HalfConsumedBuffer, PushThatFitsNeitherCrunchesNorGrows) {
  const std::vector<Byte> more = Pattern(20, 5);
  buffer.push_data(0, 0, more.data(), 20, 0, 0, true);
  EXPECT_EQ(buffer.capacity(), 1024u);
  EXPECT_EQ(buffer.begin_offset(), 500u);
  EXPECT_EQ(buffer.end_offset(), 1020u);
}

// Tests that a crunch alone can make the room, so the store does not grow.
TEST_F(HalfConsumedBuffer, EnoughCrunchesWithoutGrowingWhenThatSuffices) {
  buffer.enough(524, true);
  EXPECT_EQ(buffer.capacity(), 1024u);
  EXPECT_EQ(buffer.begin_offset(), 0u);
  EXPECT_EQ(Content(buffer), content);
}

TEST(IOBuffer, ReadTakesUpToLenAndResetsWhenDrained) {
  const std::vector<Byte> ten = Pattern(10);
  std::vector<Byte> out(4096, 0);
  CIOBuffer buffer;
  buffer.write(ten.data(), 10);
  EXPECT_EQ(buffer.read(out.data(), 4), 4u);
  EXPECT_EQ(buffer.begin_offset(), 4u);
  EXPECT_EQ(buffer.read(out.data(), 6), 6u);
  EXPECT_EQ(buffer.end_offset(), 0u);
  buffer.write(ten.data(), 10);
  EXPECT_EQ(buffer.read(out.data(), 4096), 10u);
  EXPECT_TRUE(std::equal(ten.begin(), ten.end(), out.begin()));
  buffer.write(ten.data(), 10);
  EXPECT_EQ(buffer.read(out.data(), -1), 10u);  // a negative length reads everything
  EXPECT_EQ(buffer.begin_offset() + buffer.end_offset(), 0u);
}

TEST(IOBuffer, ConsumeAndClearResetOffsetsClearKeepsContexts) {
  const std::vector<Byte> ten = Pattern(10);
  CIOBuffer buffer;
  buffer.push_data(1, 2, ten.data(), 10, 3, 4, true);
  buffer.consume(3);
  buffer.consume(buffer.size());
  EXPECT_EQ(buffer.begin_offset() + buffer.end_offset(), 0u);
  buffer.push_data(1, 2, ten.data(), 10, 3, 4, true);
  buffer.consume(3);
  buffer.clear();
  EXPECT_EQ(buffer.begin_offset() + buffer.end_offset(), 0u);
  EXPECT_EQ(buffer.mainContext() + buffer.subContext() + buffer.wparam() + buffer.lparam(), 10);
}

TEST(IOBuffer, PushReplacesContextsAndWriteZeroesThem) {
  const std::vector<Byte> ten = Pattern(10);
  CIOBuffer buffer;
  const __int64 big = 0x123456789ABCDEF0LL;
  buffer.push_data(big, -2, ten.data(), 10, -big, 4, false);
  EXPECT_EQ(buffer.mainContext(), big);
  EXPECT_EQ(buffer.subContext(), -2);
  EXPECT_EQ(buffer.wparam(), -big);
  EXPECT_EQ(buffer.lparam(), 4);
  EXPECT_EQ(buffer.write(ten.data(), 3), 3u);
  EXPECT_EQ(buffer.mainContext() | buffer.subContext() | buffer.wparam() | buffer.lparam(), 0);
}

// Tests the clamping chosen for counts that would break begin <= end <= capacity, and
// null pointers, which copy nothing.
TEST(IOBuffer, OutOfRangeCountsAreClampedAndNullCopiesNothing) {
  const std::vector<Byte> ten = Pattern(10);
  CIOBuffer buffer;
  buffer.write(ten.data(), 10);
  buffer.consume(1000);
  EXPECT_EQ(buffer.end_offset(), 0u);
  buffer.produce(5000);
  EXPECT_EQ(buffer.end_offset(), 1024u);
  buffer.consume(100);
  buffer.resize(0xFFFFFFFFu);
  EXPECT_EQ(buffer.capacity(), 1024u);
  EXPECT_EQ(buffer.size(), 1024u);

  buffer.clear();
  buffer.write(ten.data(), 10);
  EXPECT_EQ(buffer.read(nullptr, 5), 0u);
  EXPECT_EQ(buffer.write(nullptr, 100), 0u);
  buffer.copyTo(nullptr);
  EXPECT_EQ(Content(buffer), ten);
}

TEST(IOBuffer, ResizeKeepsBeginWhenItFitsElseMovesToFront) {
  const std::vector<Byte> all = Pattern(1000);
  CIOBuffer buffer;
  buffer.write(all.data(), 1000);
  buffer.consume(600);
  buffer.resize(100);
  EXPECT_EQ(buffer.begin_offset(), 600u);
  buffer.resize(400);  // exposes the bytes still lying behind the content
  EXPECT_EQ(Content(buffer), std::vector<Byte>(all.begin() + 600, all.end()));
  buffer.resize(500);  // 600 + 500 does not fit: the content moves to the front
  EXPECT_EQ(buffer.capacity(), 1024u);
  EXPECT_EQ(buffer.begin_offset(), 0u);
  EXPECT_EQ(buffer.end_offset(), 500u);
  EXPECT_TRUE(std::equal(all.begin() + 600, all.end(), buffer.data()));
}

// Tests every copy path: same capacity, offsets, contexts and whole store, no sharing.
TEST(IOBuffer, CopiesAreCompleteAndIndependent) {
  CIOBuffer source(2000);
  const std::vector<Byte> all = Pattern(1500);
  source.push_data(1, 2, all.data(), 1500, 3, 4, false);
  source.consume(700);
  auto expectSame = [&](CIOBuffer& copy) {
    EXPECT_EQ(copy.capacity(), 2000u);
    EXPECT_EQ(copy.begin_offset(), 700u);
    EXPECT_EQ(copy.end_offset(), 1500u);
    EXPECT_EQ(copy.mainContext() * 1000 + copy.subContext() * 100 + copy.wparam() * 10 + copy.lparam(), 1234);
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
  assigned.consume(800);
  target.enough(10000, false);
  EXPECT_EQ(source.data()[0], all[700]);
  EXPECT_EQ(source.size(), 800u);
  EXPECT_EQ(source.capacity(), 2000u);
}
