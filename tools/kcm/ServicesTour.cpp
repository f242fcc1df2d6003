// Tour step of the core services: a queue service fed from two threads and a timer
// service with three timers, run for two seconds.
#include <stdio.h>

#include <atomic>
#include <map>
#include <mutex>
#include <thread>

#include "KestroCommonModule.h"
#include "Tour.h"

namespace {

constexpr DWORD kRunMs = 2000;

class DeliveryCounter : public IQueueServiceSink {
 public:
  bool Ex_IsValid() override { return true; }
  bool Ex_Release() override { return true; }
  void* Ex_QueryInterface(const GUID& iid, unsigned long version) override {
    return QueryUnknownEx<IQueueServiceSink>(this, IID_IQueueServiceSink, iid, version);
  }
  bool OnQueueServiceStart() override { return true; }
  bool OnQueueServiceStop() override { return true; }
  void OnQueueServiceSink(unsigned long queue, unsigned long, void*, unsigned long size, __int64, __int64, __int64,
                          __int64) override {
    ++items[queue];
    bytes += size;
  }
  void OnQueueServiceIdle() override { ++idles; }

  std::map<unsigned long, long> items;  // touched on the worker only, read after the stop
  long long bytes = 0;
  long idles = 0;
};

class FiringCounter : public ITimerServiceSink {
 public:
  bool Ex_IsValid() override { return true; }
  bool Ex_Release() override { return true; }
  void* Ex_QueryInterface(const GUID& iid, unsigned long version) override {
    return QueryUnknownEx<ITimerServiceSink>(this, IID_ITimerServiceSink, iid, version);
  }
  bool OnTimerEvent(unsigned long timerId, unsigned long, unsigned long) override {
    std::lock_guard<std::mutex> lock(mutex);
    ++firings[timerId];
    return true;
  }
  std::mutex mutex;
  std::map<unsigned long, int> firings;
};

void Produce(IQueueServiceEngine* queue, unsigned long index, const std::atomic<bool>& running, long* added) {
  unsigned char frame[1500] = {};
  while (running) {
    if (queue->AddToQueue(index, 0, frame, sizeof frame, 0, 0, 0, 0)) ++*added;
    if (*added % 64 == 0) Sleep(1);
  }
}

bool QueueStep(std::atomic<bool>& running, long added[2], DeliveryCounter& sink) {
  CQueueServiceHelper helper;  // loaded by name, as any host may
  if (!helper.CreateInstance()) return false;
  IQueueServiceEngine* queue = helper.GetInterface();
  if (!queue->StartService(&sink, 2, 100)) return false;
  std::thread first(Produce, queue, 0, std::cref(running), &added[0]);
  std::thread second(Produce, queue, 1, std::cref(running), &added[1]);
  Sleep(kRunMs);
  running = false;
  first.join();
  second.join();
  const unsigned long waiting = queue->GetQueuePacketCount();
  queue->StopService();
  printf("   queue service: added %ld + %ld items of 1500 bytes; delivered %ld + %ld (%.1f MB), %lu still "
         "waiting at stop, %ld idle calls\n",
         added[0], added[1], sink.items[0], sink.items[1], sink.bytes / 1e6, waiting, sink.idles);
  return sink.items[0] + sink.items[1] + static_cast<long>(waiting) >= added[0] + added[1] - 2 &&
         sink.items[0] > 0 && sink.items[1] > 0;
}

bool TimerStep() {
  auto* timers = static_cast<ITimerService*>(CreateTimerService(IID_ITimerService, KCM_INTERFACE_VERSION));
  if (timers == nullptr) return false;
  FiringCounter sink;
  timers->SetTimerServiceSink(&sink);
  timers->StartService();
  timers->SetTimer(1, 250, 0xFFFFFFFF, 0, 0);  // every 10 ticks, until stopped
  timers->SetTimer(2, 1000, 1, 0, 0);           // once, after 40 ticks
  timers->SetTimer(3, 40, 10, 0, 0);            // ten times, every 2 ticks
  Sleep(kRunMs);
  timers->StopService();
  timers->Ex_Release();
  printf("   timer service over %u ms: every 250 ms fired %d times, once-after-1 s %d, ten-times-every-50 ms %d\n",
         kRunMs, sink.firings[1], sink.firings[2], sink.firings[3]);
  return sink.firings[1] >= 4 && sink.firings[2] == 1 && sink.firings[3] == 10;
}

bool ServicesStep() {
  std::atomic<bool> running{true};
  long added[2] = {0, 0};
  DeliveryCounter sink;
  const bool queueOk = QueueStep(running, added, sink);
  return TimerStep() && queueOk;
}

}  // namespace

std::vector<TourStep> ServicesTour() {
  return {{"services", "a queue service and a timer service at work for two seconds each", ServicesStep}};
}
