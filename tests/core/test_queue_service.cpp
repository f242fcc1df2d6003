#include <atomic>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "AllocationCounter.h"
#include "KestroQueueService.h"
#include "LogCapture.h"
#include "windows.h"

namespace {

struct Item {
  unsigned long queue, identifier;
  std::string bytes;
  __int64 values[4];
};

class RecordingSink : public IQueueServiceSink {
 public:
  bool Ex_IsValid() override { return true; }
  bool Ex_Release() override { return true; }
  void* Ex_QueryInterface(const GUID& iid, unsigned long version) override {
    return QueryUnknownEx<IQueueServiceSink>(this, IID_IQueueServiceSink, iid, version);
  }
  bool OnQueueServiceStart() override {
    workerId = GetCurrentThreadId();
    return startAnswer;
  }
  bool OnQueueServiceStop() override {
    ++stops;
    return true;
  }
  void OnQueueServiceSink(unsigned long queue, unsigned long identifier, void* data, unsigned long size,
                          __int64 v1, __int64 v2, __int64 v3, __int64 v4) override {
    {
      std::lock_guard<std::mutex> lock(mutex);
      items.push_back({queue, identifier, std::string(static_cast<char*>(data), size), {v1, v2, v3, v4}});
    }
    if (holdDeliveries != nullptr) WaitForSingleObject(holdDeliveries, INFINITE);
    if (throwFromSink) throw std::runtime_error("sink failed");
  }
  void OnQueueServiceIdle() override {
    if (GetCurrentThreadId() == workerId) ++idles;
    if (throwFromSink) throw std::runtime_error("idle failed");
  }

  size_t Count() {
    std::lock_guard<std::mutex> lock(mutex);
    return items.size();
  }
  bool WaitFor(size_t count) {
    for (int i = 0; i < 4000 && Count() < count; ++i) Sleep(1);
    return Count() >= count;
  }

  std::mutex mutex;
  std::vector<Item> items;
  std::atomic<DWORD> workerId{0};
  std::atomic<int> stops{0}, idles{0};
  bool startAnswer = true;
  bool throwFromSink = false;
  HANDLE holdDeliveries = nullptr;
};

class QueueService : public ::testing::Test {
 protected:
  void SetUp() override {
    queue = static_cast<IQueueServiceEngine*>(CreateQueueService(IID_IQueueServiceEngine, KCM_INTERFACE_VERSION));
    ASSERT_NE(queue, nullptr);
  }
  void TearDown() override { queue->Ex_Release(); }
  bool Add(unsigned long index, unsigned long id, const std::string& bytes) {
    return queue->AddToQueue(index, id, const_cast<char*>(bytes.data()), bytes.size(), id, -1, 1LL << 40, index);
  }

  RecordingSink sink;
  IQueueServiceEngine* queue = nullptr;
};

}  // namespace

TEST_F(QueueService, ItemsArriveInOrderWithTheirBytesAndValuesOnTheWorker) {
  ASSERT_TRUE(queue->StartService(&sink, 1, INFINITE));
  EXPECT_TRUE(queue->IsServiceStarted());
  for (unsigned long i = 0; i < 100; ++i) ASSERT_TRUE(Add(0, i, "item " + std::to_string(i)));
  ASSERT_TRUE(sink.WaitFor(100));
  for (unsigned long i = 0; i < 100; ++i) {
    EXPECT_EQ(sink.items[i].identifier, i);
    EXPECT_EQ(sink.items[i].bytes, "item " + std::to_string(i));
    EXPECT_EQ(sink.items[i].values[0], static_cast<__int64>(i));
    EXPECT_EQ(sink.items[i].values[1], -1);
    EXPECT_EQ(sink.items[i].values[2], 1LL << 40);
  }
  EXPECT_NE(sink.workerId, GetCurrentThreadId());
  EXPECT_TRUE(queue->StopService());
  EXPECT_EQ(sink.stops, 1);
  EXPECT_EQ(sink.idles, 0);  // INFINITE: never idle
}

TEST_F(QueueService, IndexBeyondTheQueuesGoesToTheLastQueue) {
  ASSERT_TRUE(queue->StartService(&sink, 2, INFINITE));
  ASSERT_TRUE(Add(5, 1, "x"));
  ASSERT_TRUE(sink.WaitFor(1));
  EXPECT_EQ(sink.items[0].queue, 1u);
}

TEST_F(QueueService, IdleIsCalledOnTheWorkerAboutTenTimesASecond) {
  ASSERT_TRUE(queue->StartService(&sink, 1, 100));
  Sleep(550);
  EXPECT_TRUE(queue->StopService());
  EXPECT_GE(sink.idles, 3);
  EXPECT_LE(sink.idles, 6);
}

TEST_F(QueueService, CountsDropPerDeliveryAndAreZeroAfterStop) {
  HANDLE hold = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  sink.holdDeliveries = hold;
  ASSERT_TRUE(queue->StartService(&sink, 1, INFINITE));
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(Add(0, i, std::string(100, 'a')));
  ASSERT_TRUE(sink.WaitFor(1));
  EXPECT_EQ(queue->GetQueuePacketCount(), 2u);  // one is in delivery
  EXPECT_EQ(queue->GetQueueMemSize(), 2u * 1024u);
  SetEvent(hold);
  ASSERT_TRUE(sink.WaitFor(3));
  EXPECT_TRUE(queue->StopService());
  EXPECT_EQ(queue->GetQueuePacketCount(), 0u);
  EXPECT_EQ(queue->GetQueueMemSize(), 0u);
  CloseHandle(hold);
}

// Tests that a stop with 1000 items waiting delivers only the one in hand and frees the rest.
TEST_F(QueueService, StopWithWaitingItemsDeliversOnlyTheOneInHand) {
  HANDLE hold = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  sink.holdDeliveries = hold;
  ASSERT_TRUE(queue->StartService(&sink, 1, INFINITE));
  for (int i = 0; i < 1000; ++i) ASSERT_TRUE(Add(0, i, "waiting"));
  ASSERT_TRUE(sink.WaitFor(1));
  std::thread release([&] {
    Sleep(50);
    SetEvent(hold);
  });
  EXPECT_TRUE(queue->StopService());
  release.join();
  EXPECT_EQ(sink.Count(), 1u);
  EXPECT_EQ(sink.stops, 1);
  CloseHandle(hold);
}

TEST_F(QueueService, ThrowingSinkStillGetsEveryItemAndEachThrowIsLogged) {
  kcm_test::LogCapture log;
  sink.throwFromSink = true;
  ASSERT_TRUE(queue->StartService(&sink, 1, INFINITE));
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(Add(0, i, "x"));
  ASSERT_TRUE(sink.WaitFor(5));
  EXPECT_TRUE(queue->StopService());
  EXPECT_EQ(log.Count("Expression: OnQueueServiceThread error"), 5);
}

TEST_F(QueueService, RefusesItemsWhenStoppedAndBadStarts) {
  EXPECT_FALSE(Add(0, 1, "early"));
  EXPECT_FALSE(queue->StartService(nullptr, 1, INFINITE));
  EXPECT_FALSE(queue->StartService(&sink, 0, INFINITE));
  sink.startAnswer = false;
  EXPECT_FALSE(queue->StartService(&sink, 1, INFINITE));
  EXPECT_EQ(sink.stops, 1);
  EXPECT_FALSE(queue->IsServiceStarted());
  EXPECT_TRUE(queue->StopService());
  sink.startAnswer = true;
  ASSERT_TRUE(queue->StartService(&sink, 1, INFINITE));
  EXPECT_FALSE(queue->StartService(&sink, 1, INFINITE));
  EXPECT_TRUE(queue->StopService());
  EXPECT_FALSE(Add(0, 1, "late"));
  EXPECT_EQ(sink.Count(), 0u);
}

TEST(QueueServiceHelper, LoadsTheServiceFromTheLibraryByName) {
  CQueueServiceHelper helper;
  ASSERT_TRUE(helper.CreateInstance());
  EXPECT_TRUE(helper.IsInterfaceValid());
  EXPECT_FALSE(helper.GetInterface()->IsServiceStarted());
}

// Tests that several producers on several queues while the owner stops the service
// neither crash nor leak (run under ThreadSanitizer in CI).
TEST_F(QueueService, ProducersOnSeveralQueuesWhileTheServiceStops) {
  ASSERT_TRUE(queue->StartService(&sink, 3, 10));
  std::atomic<bool> stopped{false};
  std::vector<std::thread> producers;
  for (int p = 0; p < 3; ++p) {
    producers.emplace_back([&, p] {
      for (int i = 0; i < 5000; ++i) {
        if (!Add(p, i, std::string(64 + i % 300, 'p')) && stopped) break;
      }
    });
  }
  Sleep(20);
  EXPECT_TRUE(queue->StopService());
  stopped = true;
  for (std::thread& producer : producers) producer.join();
  EXPECT_EQ(queue->GetQueuePacketCount(), 0u);
  EXPECT_GT(sink.Count(), 0u);
}

namespace {

// Counts allocations on the worker between two marker items, and holds deliveries
// while the test builds a backlog.
class SteadyStateSink : public RecordingSink {
 public:
  static constexpr unsigned long kStartCounting = 0xC0FFEE;
  static constexpr unsigned long kStopCounting = 0xDECAF;

  void OnQueueServiceSink(unsigned long, unsigned long identifier, void*, unsigned long, __int64, __int64, __int64,
                          __int64) override {
    if (holdDeliveries != nullptr) WaitForSingleObject(holdDeliveries, INFINITE);
    if (identifier == kStartCounting) counter.startOnThisThread();
    if (identifier == kStopCounting) counter.stopOnThisThread();
    ++delivered;
  }

  kcm_test::AllocationCounter counter;
  std::atomic<long> delivered{0};
};

}  // namespace

// Tests that once packets and port slots exist for the backlog a stream reaches, a steady
// stream of similar items allocates nothing on the producer or on the worker.
TEST(QueueServiceSteadyState, StreamOfSimilarItemsAllocatesNothing) {
  auto* queue = static_cast<IQueueServiceEngine*>(CreateQueueService(IID_IQueueServiceEngine, KCM_INTERFACE_VERSION));
  ASSERT_NE(queue, nullptr);
  SteadyStateSink sink;
  HANDLE hold = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  sink.holdDeliveries = hold;
  ASSERT_TRUE(queue->StartService(&sink, 1, INFINITE));
  char bytes[300] = {};
  for (int i = 0; i < 200; ++i) queue->AddToQueue(0, i, bytes, 200 + i % 100, 0, 0, 0, 0);  // warm-up backlog
  SetEvent(hold);
  while (sink.delivered < 200) Sleep(1);
  sink.holdDeliveries = nullptr;

  queue->AddToQueue(0, SteadyStateSink::kStartCounting, bytes, 250, 0, 0, 0, 0);
  kcm_test::AllocationCounter producer;
  producer.startOnThisThread();
  for (int i = 0; i < 5000; ++i) {
    queue->AddToQueue(0, i, bytes, 200 + i % 100, i, 0, 0, 0);
    while (i % 50 == 49 && sink.delivered < 200 + i - 50) Sleep(0);  // keep the backlog below the warm-up's
  }
  producer.stopOnThisThread();
  queue->AddToQueue(0, SteadyStateSink::kStopCounting, bytes, 250, 0, 0, 0, 0);
  while (sink.delivered < 200 + 5002) Sleep(1);
  EXPECT_EQ(producer.count(), 0u);
  EXPECT_EQ(sink.counter.count(), 0u);
  queue->StopService();
  queue->Ex_Release();
  CloseHandle(hold);
}
