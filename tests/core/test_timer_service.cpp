// The timer service on its real thread. A ticker timer (elapse 25: due on every tick)
// counts the ticks, so expectations are in ticks and do not depend on wall time.
#include <functional>
#include <mutex>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "KestroTimerService.h"
#include "LogCapture.h"
#include "synchapi.h"

namespace {

constexpr unsigned long kTicker = 100;
constexpr unsigned long kForever = 0xFFFFFFFF;

struct Firing {
  unsigned long timerId, param, bindParam;
  int tick;  // ticker firings before this one, in the same walk
};

class RecordingSink : public ITimerServiceSink {
 public:
  bool Ex_IsValid() override { return true; }
  bool Ex_Release() override { return true; }
  void* Ex_QueryInterface(const GUID& iid, unsigned long version) override {
    return QueryUnknownEx<ITimerServiceSink>(this, IID_ITimerServiceSink, iid, version);
  }
  bool OnTimerEvent(unsigned long timerId, unsigned long param, unsigned long bindParam) override {
    std::lock_guard<std::recursive_mutex> lock(mutex);
    if (timerId == kTicker) {
      ++ticks;
      if (onTick) onTick(ticks);
      return true;
    }
    firings.push_back({timerId, param, bindParam, ticks});
    if (throwOnFiring) throw std::runtime_error("sink failed");
    return true;
  }

  std::vector<Firing> Firings() {
    std::lock_guard<std::recursive_mutex> lock(mutex);
    return firings;
  }
  int Ticks() {
    std::lock_guard<std::recursive_mutex> lock(mutex);
    return ticks;
  }

  std::recursive_mutex mutex;  // the sink may set timers, which may call back
  std::vector<Firing> firings;
  int ticks = 0;
  bool throwOnFiring = false;
  std::function<void(int)> onTick;
};

class TimerService : public ::testing::Test {
 protected:
  void SetUp() override {
    timers = static_cast<ITimerService*>(CreateTimerService(IID_ITimerService, KCM_INTERFACE_VERSION));
    ASSERT_NE(timers, nullptr);
    ASSERT_TRUE(timers->SetTimerServiceSink(&sink));
  }
  void TearDown() override { timers->Ex_Release(); }

  // Starts the service and the ticker; `onFirstTick` runs inside the first tick's walk,
  // so timers it sets are counted from a known tick.
  void StartWithTicker(std::function<void()> onFirstTick) {
    sink.onTick = [onFirstTick](int tick) {
      if (tick == 1) onFirstTick();
    };
    ASSERT_TRUE(timers->StartService());
    ASSERT_TRUE(timers->SetTimer(kTicker, 25, kForever, 0, 0));
  }
  void WaitForTicks(int ticks) {
    for (int i = 0; i < 4000 && sink.Ticks() < ticks; ++i) Sleep(5);
    ASSERT_GE(sink.Ticks(), ticks);
  }

  RecordingSink sink;
  ITimerService* timers = nullptr;
};

}  // namespace

TEST_F(TimerService, OneShotFiresOnceAfterFortyTicksWithItsValues) {
  StartWithTicker([this] { timers->SetTimer(7, 1000, 1, 11, 22); });
  WaitForTicks(45);
  const std::vector<Firing> firings = sink.Firings();
  ASSERT_EQ(firings.size(), 1u);
  EXPECT_EQ(firings[0].timerId, 7u);
  EXPECT_EQ(firings[0].param, 11u);
  EXPECT_EQ(firings[0].bindParam, 22u);
  EXPECT_EQ(firings[0].tick, 1 + 40);
  EXPECT_FALSE(timers->KillTimer(7));  // gone after its last firing
}

TEST_F(TimerService, PeriodRoundsUpToTicksAndRepeatCounts) {
  StartWithTicker([this] { timers->SetTimer(3, 30, 3, 0, 0); });  // 30 ms -> 2 ticks
  WaitForTicks(12);
  const std::vector<Firing> firings = sink.Firings();
  ASSERT_EQ(firings.size(), 3u);
  EXPECT_EQ(firings[0].tick, 3);
  EXPECT_EQ(firings[1].tick, 5);
  EXPECT_EQ(firings[2].tick, 7);
}

TEST_F(TimerService, EndlessTimerFiresEveryPeriodUntilKilled) {
  StartWithTicker([this] { timers->SetTimer(7, 100, kForever, 0, 0); });
  WaitForTicks(14);
  EXPECT_TRUE(timers->KillTimer(7));
  const size_t fired = sink.Firings().size();
  WaitForTicks(24);
  const std::vector<Firing> firings = sink.Firings();
  EXPECT_EQ(firings.size(), fired);
  ASSERT_GE(firings.size(), 3u);
  for (size_t i = 0; i < firings.size(); ++i) EXPECT_EQ(firings[i].tick, 1 + 4 * static_cast<int>(i + 1));
}

// Tests that timers due on the same tick fire in the order their ids were registered,
// and that setting an active id again re-arms it in place instead of adding another.
TEST_F(TimerService, SameTickFiresInRegistrationOrderAndResetReArms) {
  StartWithTicker([this] {
    timers->SetTimer(9, 50, 1, 0, 0);
    timers->SetTimer(4, 50, 1, 0, 0);
    timers->SetTimer(9, 50, 1, 99, 0);
  });
  WaitForTicks(6);
  const std::vector<Firing> firings = sink.Firings();
  ASSERT_EQ(firings.size(), 2u);
  EXPECT_EQ(firings[0].timerId, 9u);
  EXPECT_EQ(firings[0].param, 99u);
  EXPECT_EQ(firings[1].timerId, 4u);
  EXPECT_EQ(firings[0].tick, firings[1].tick);
}

TEST_F(TimerService, TimerSetBeforeStartWaitsForASetAfterStart) {
  ASSERT_TRUE(timers->SetTimer(1, 25, 1, 0, 0));
  ASSERT_TRUE(timers->StartService());
  Sleep(150);
  EXPECT_TRUE(sink.Firings().empty());
  ASSERT_TRUE(timers->SetTimer(kTicker, 25, kForever, 0, 0));
  WaitForTicks(3);
  EXPECT_EQ(sink.Firings().size(), 1u);
}

TEST_F(TimerService, ThrowingSinkIsLoggedAndTheClockGoesOn) {
  kcm_test::LogCapture log;
  sink.throwOnFiring = true;
  StartWithTicker([this] { timers->SetTimer(5, 25, kForever, 0, 0); });
  WaitForTicks(6);
  EXPECT_GE(sink.Firings().size(), 3u);
  EXPECT_GE(log.Count("Expression: \"E_FAIL\""), 3);
  // The worker logs until it ends: stop it while the capture still exists.
  EXPECT_TRUE(timers->StopService());
}

TEST_F(TimerService, KillsSelectTheirTimersAndAnswerWhetherOneWasFound) {
  for (unsigned long id : {1, 2, 3}) ASSERT_TRUE(timers->SetTimer(id, 100, 1, 0, 77));
  ASSERT_TRUE(timers->SetTimer(4, 100, 1, 0, 5));
  EXPECT_TRUE(timers->KillTimersByParam(77));
  EXPECT_FALSE(timers->KillTimer(1));
  EXPECT_FALSE(timers->KillTimer(3));
  EXPECT_FALSE(timers->KillTimerEx(4, 6));
  EXPECT_TRUE(timers->KillTimerEx(4, 5));
  EXPECT_FALSE(timers->KillTimer(42));
  EXPECT_TRUE(timers->KillAllTimers());
}

TEST_F(TimerService, RefusesRepeatZeroAndSinksItCannotUse) {
  EXPECT_FALSE(timers->SetTimer(1, 100, 0, 0, 0));
  EXPECT_FALSE(timers->KillTimer(1));
  EXPECT_TRUE(timers->SetTimer(2, 0, 1, 0, 0));  // an elapse of 0 counts as one tick
  EXPECT_FALSE(timers->SetTimerServiceSink(nullptr));
  ITimerService* other = static_cast<ITimerService*>(CreateTimerService(IID_IUnknownEx, KCM_INTERFACE_VERSION));
  ASSERT_NE(other, nullptr);
  EXPECT_FALSE(timers->SetTimerServiceSink(other));  // not a sink
  other->Ex_Release();
  ASSERT_TRUE(timers->StartService());
  EXPECT_TRUE(timers->StartService());
  EXPECT_FALSE(timers->SetTimerServiceSink(&sink));  // not while started
  EXPECT_TRUE(timers->StopService());
  EXPECT_FALSE(timers->IsServiceStarted());
  EXPECT_EQ(CreateTimerService(IID_IQueueServiceEngine, KCM_INTERFACE_VERSION), nullptr);
}

// Tests that timers set and killed from the sink and from another thread at once keep
// the service consistent (run under ThreadSanitizer in CI).
TEST_F(TimerService, SetAndKillFromSinkAndOtherThreadsConcurrently) {
  StartWithTicker([] {});
  sink.onTick = [this](int tick) {
    timers->SetTimer(200 + tick % 4, 25, 2, 0, 1);
    timers->KillTimer(200 + (tick + 2) % 4);
  };
  for (int round = 0; round < 300; ++round) {
    timers->SetTimer(300 + round % 7, 25 * (1 + round % 3), 1 + round % 2, 0, 2);
    if (round % 5 == 0) timers->KillTimersByParam(2);
    if (round % 3 == 0) Sleep(1);
  }
  WaitForTicks(10);
  EXPECT_TRUE(timers->StopService());
}
