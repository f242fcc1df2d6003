#include "KestroDataStorage.h"

#include <stdint.h>

#include <algorithm>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "AllocationCounter.h"

namespace {

typedef CDataStorage::tagDataPacket Packet;

// Bytes that tell which packet they belong to; the identifier is the seed.
std::vector<uint8_t> pattern(size_t size, uint32_t identifier) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(identifier * 31 + i);
  return bytes;
}

bool add(CDataStorage& storage, uint32_t identifier, size_t size, __int64 value = 0) {
  std::vector<uint8_t> bytes = pattern(size, identifier);
  return storage.AddData(identifier, bytes.data(), size, value, value + 1, value + 2, value + 3);
}

bool holds(const Packet* packet, uint32_t identifier, size_t size) {
  std::vector<uint8_t> expected = pattern(size, identifier);
  return packet != nullptr && packet->identifier == identifier && packet->size == size &&
         packet->buffer.size() == size && std::equal(expected.begin(), expected.end(), packet->buffer.data());
}

}  // namespace

TEST(DataStorage, PacketsComeOutInOrderWithWhatWasAdded) {
  CDataStorage storage;
  const size_t sizes[] = {10, 0, 2000};
  for (uint32_t id = 0; id < 3; ++id) add(storage, id, sizes[id], id * 100);
  for (uint32_t id = 0; id < 3; ++id) {
    Packet* packet = storage.Begin_GetData();
    ASSERT_TRUE(holds(packet, id, sizes[id]));
    EXPECT_EQ(packet->value1, id * 100);
    EXPECT_EQ(packet->value4, id * 100 + 3);
    const Kestro::CIOBuffer& buffer = packet->buffer;
    EXPECT_EQ(std::vector<__int64>({buffer._mainContext, buffer._subContext, buffer._wparam, buffer._lparam}),
              std::vector<__int64>({packet->value1, packet->value2, packet->value3, packet->value4}));
    storage.End_GetData(packet);
  }
  EXPECT_EQ(storage.Begin_GetData(), nullptr);
}

TEST(DataStorage, GivenBackPacketIsReusedAndGrowsButNeverShrinks) {
  CDataStorage storage;
  add(storage, 1, 100);
  EXPECT_EQ(storage.GetMemSize(), 1024u);
  add(storage, 2, 10);
  add(storage, 3, 10);
  Packet* first = storage.Begin_GetData();
  EXPECT_EQ(storage.GetPacketCount(), 2u);
  storage.End_GetData(first);
  EXPECT_EQ(storage.GetPacketCount(), 2u);
  add(storage, 4, 3000);
  storage.End_GetData(storage.Begin_GetData());
  storage.End_GetData(storage.Begin_GetData());
  Packet* reused = storage.Begin_GetData();
  EXPECT_EQ(reused, first);
  EXPECT_TRUE(holds(reused, 4, 3000));
  storage.End_GetData(reused);
  for (uint32_t id = 5; id <= 7; ++id) add(storage, id, 10);  // the grown packet comes last
  EXPECT_EQ(storage.GetMemSize(), 1024u + 1024u + 3000u);
}

TEST(DataStorage, RemoveDataWithoutFreeingKeepsPacketsForReuse) {
  CDataStorage storage;
  add(storage, 1, 500);
  add(storage, 2, 500);
  storage.RemoveData(false);
  EXPECT_TRUE(storage.IsEmpty());
  EXPECT_EQ(storage.GetMemSize(), 0u);
  std::vector<uint8_t> bytes = pattern(20, 3);
  kcm_test::AllocationCounter counter;
  counter.startOnThisThread();
  storage.AddData(3, bytes.data(), 20, 0, 0, 0, 0);
  counter.stopOnThisThread();
  EXPECT_EQ(counter.count(), 0u);
  Packet* packet = storage.Begin_GetData();
  EXPECT_TRUE(holds(packet, 3, 20));  // only the new bytes
  storage.End_GetData(packet);
}

// Tests that a null block is refused and that only packets that are out come back.
TEST(DataStorage, BadInputIsRefusedOrIgnored) {
  CDataStorage storage;
  EXPECT_FALSE(storage.AddData(1, nullptr, 5, 0, 0, 0, 0));
  EXPECT_TRUE(storage.IsEmpty());
  storage.End_GetData(nullptr);
  add(storage, 1, 10);
  Packet* packet = storage.Begin_GetData();
  storage.End_GetData(packet);
  storage.End_GetData(packet);  // a second give-back would hand the packet out twice
  Packet foreign(1024);
  storage.End_GetData(&foreign);
  for (uint32_t id = 2; id <= 4; ++id) add(storage, id, 10);
  for (uint32_t id = 2; id <= 4; ++id) {
    Packet* out = storage.Begin_GetData();
    EXPECT_TRUE(holds(out, id, 10));
    storage.End_GetData(out);
  }
}

// Tests the recycling promise: after warm-up, a steady stream allocates nothing.
TEST(DataStorage, SteadyStreamAllocatesNothingAfterWarmUp) {
  std::vector<uint8_t> bytes(4000, 7);
  CDataStorage storage;
  kcm_test::AllocationCounter warmUp, steady;
  auto round = [&](unsigned long size) {
    for (int k = 0; k < 3; ++k) storage.AddData(k, bytes.data(), size - k * 100, k, 0, 0, 0);
    for (int k = 0; k < 3; ++k) storage.End_GetData(storage.Begin_GetData());
  };
  warmUp.startOnThisThread();
  round(4000);
  warmUp.stopOnThisThread();
  ASSERT_GE(warmUp.count(), 6u) << "the counter must see the library's allocations";
  steady.startOnThisThread();
  for (unsigned long i = 0; i < 1000; ++i) round(2000 + i * 7 % 2000);
  steady.stopOnThisThread();
  EXPECT_EQ(steady.count(), 0u);
}

// Several producers, one consumer: every packet arrives once, each producer's in order.
TEST(DataStorage, StressProducersAndOneConsumer) {
  const int kProducers = 4, kPerProducer = 3000;
  CDataStorage storage;
  std::vector<std::thread> producers;
  for (int p = 0; p < kProducers; ++p) {
    producers.emplace_back([&, p] {
      for (int i = 0; i < kPerProducer; ++i) add(storage, p, 16 + i % 64, i);
    });
  }
  std::vector<__int64> next(kProducers, 0);
  bool intact = true;
  for (int received = 0; received < kProducers * kPerProducer; ++received) {
    Packet* packet;
    while ((packet = storage.Begin_GetData()) == nullptr) std::this_thread::yield();
    __int64& expected = next.at(packet->identifier);
    intact = intact && packet->value1 == expected && holds(packet, packet->identifier, 16 + expected++ % 64);
    storage.End_GetData(packet);
  }
  for (auto& producer : producers) producer.join();
  EXPECT_TRUE(intact);
  EXPECT_TRUE(storage.IsEmpty());
}
