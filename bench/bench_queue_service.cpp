// Hand-off of 1,000,000 items of 256 bytes from one producer to one consumer thread:
// the queue service (AddToQueue -> sink on its worker) against moodycamel's
// BlockingConcurrentQueue and a std::mutex + std::condition_variable deque, each
// copying the 256 bytes in and handing them to a consumer that reads them.
//
// Counters: items_per_second (end to end, until the consumer has seen every item) and
// producer_ns_per_item (time the producer spends handing items in).
#include <blockingconcurrentqueue.h>
#include <benchmark/benchmark.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "KestroQueueService.h"
#include "handleapi.h"
#include "synchapi.h"

namespace {

constexpr int kItems = 1000000;
constexpr size_t kItemBytes = 256;

struct alignas(64) Payload : std::array<unsigned char, kItemBytes> {};
using Clock = std::chrono::steady_clock;

Payload MakePayload() {
  Payload payload;
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<unsigned char>(i);
  return payload;
}

// Reads every byte, so that no consumer gets away without looking at the copy.
unsigned Checksum(const unsigned char* bytes) {
  unsigned sum = 0;
  for (size_t i = 0; i < kItemBytes; ++i) sum += bytes[i];
  return sum;
}

void Report(benchmark::State& state, Clock::duration producing, Clock::duration total) {
  state.SetIterationTime(std::chrono::duration<double>(total).count());
  state.counters["producer_ns_per_item"] =
      benchmark::Counter(std::chrono::duration<double, std::nano>(producing).count() / kItems,
                         benchmark::Counter::kAvgIterations);
  state.SetItemsProcessed(state.items_processed() + kItems);
}

// Its counters, written by the worker on every item, sit on cache lines of their own:
// the sink lives on the producer's stack, next to the payload the producer reads.
class alignas(64) CountingSink : public IQueueServiceSink {
 public:
  CountingSink() : done_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
  ~CountingSink() { CloseHandle(done_); }
  bool Ex_IsValid() override { return true; }
  bool Ex_Release() override { return true; }
  void* Ex_QueryInterface(const GUID&, unsigned long) override { return this; }
  bool OnQueueServiceStart() override { return true; }
  bool OnQueueServiceStop() override { return true; }
  void OnQueueServiceSink(unsigned long, unsigned long, void* data, unsigned long, __int64, __int64, __int64,
                          __int64) override {
    checksum_ += Checksum(static_cast<unsigned char*>(data));
    if (++received_ == expected_) SetEvent(done_);
  }
  void OnQueueServiceIdle() override {}

  void Expect(int count) {
    received_ = 0;
    expected_ = count;
  }
  void Wait() { WaitForSingleObject(done_, INFINITE); }
  unsigned checksum() const { return checksum_; }

 private:
  HANDLE done_;
  alignas(64) int received_ = 0;
  int expected_ = 0;
  unsigned checksum_ = 0;
  char padding_[64 - 3 * sizeof(int)];
};

void BM_QueueService(benchmark::State& state) {
  auto* service = static_cast<IQueueServiceEngine*>(CreateQueueService(IID_IQueueServiceEngine, KCM_INTERFACE_VERSION));
  CountingSink sink;
  service->StartService(&sink, 1, INFINITE);
  Payload payload = MakePayload();
  for (auto _ : state) {
    sink.Expect(kItems);
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < kItems; ++i) service->AddToQueue(0, i, payload.data(), kItemBytes, i, 0, 0, 0);
    const Clock::time_point produced = Clock::now();
    sink.Wait();
    Report(state, produced - start, Clock::now() - start);
  }
  benchmark::DoNotOptimize(sink.checksum());
  service->StopService();
  service->Ex_Release();
}

void BM_MoodycamelBlockingQueue(benchmark::State& state) {
  moodycamel::BlockingConcurrentQueue<Payload> queue;
  Payload payload = MakePayload();
  for (auto _ : state) {
    unsigned checksum = 0;
    std::thread consumer([&] {
      Payload item;
      for (int i = 0; i < kItems; ++i) {
        queue.wait_dequeue(item);
        checksum += Checksum(item.data());
      }
    });
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < kItems; ++i) queue.enqueue(payload);
    const Clock::time_point produced = Clock::now();
    consumer.join();
    Report(state, produced - start, Clock::now() - start);
    benchmark::DoNotOptimize(checksum);
  }
}

void BM_MutexConditionDeque(benchmark::State& state) {
  std::mutex mutex;
  std::condition_variable ready;
  std::deque<Payload> queue;
  Payload payload = MakePayload();
  for (auto _ : state) {
    unsigned checksum = 0;
    std::thread consumer([&] {
      for (int i = 0; i < kItems; ++i) {
        std::unique_lock<std::mutex> lock(mutex);
        ready.wait(lock, [&] { return !queue.empty(); });
        const Payload item = queue.front();
        queue.pop_front();
        lock.unlock();
        checksum += Checksum(item.data());
      }
    });
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < kItems; ++i) {
      {
        std::lock_guard<std::mutex> lock(mutex);
        queue.push_back(payload);
      }
      ready.notify_one();
    }
    const Clock::time_point produced = Clock::now();
    consumer.join();
    Report(state, produced - start, Clock::now() - start);
    benchmark::DoNotOptimize(checksum);
  }
}

}  // namespace

// Six runs each; the first, which warms the allocators (and our packet pool), is shown
// separately by the repetitions' spread.
BENCHMARK(BM_QueueService)->UseManualTime()->Iterations(1)->Repetitions(6)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MoodycamelBlockingQueue)->UseManualTime()->Iterations(1)->Repetitions(6)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MutexConditionDeque)->UseManualTime()->Iterations(1)->Repetitions(6)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
