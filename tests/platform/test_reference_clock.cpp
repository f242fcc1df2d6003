#include <gtest/gtest.h>

#include "FilterGraphTestSupport.h"

using test_filters::FilterGraphTest;

namespace {

class ReferenceClock : public FilterGraphTest {
 protected:
  void SetUp() override {
    FilterGraphTest::SetUp();
    ASSERT_EQ(graph_->SetDefaultSyncSource(), S_OK);
    IMediaFilter* mediaFilter = nullptr;
    ASSERT_EQ(graph_->QueryInterface(IID_IMediaFilter, reinterpret_cast<void**>(&mediaFilter)), S_OK);
    mediaFilter->GetSyncSource(&clock_);
    mediaFilter->Release();
    ASSERT_NE(clock_, nullptr);
  }
  void TearDown() override {
    clock_->Release();
    FilterGraphTest::TearDown();
  }

  REFERENCE_TIME now() const {
    REFERENCE_TIME time = 0;
    clock_->GetTime(&time);
    return time;
  }

  IReferenceClock* clock_ = nullptr;
};

constexpr REFERENCE_TIME kMillisecond = 10000;

}  // namespace

TEST_F(ReferenceClock, CountsHundredNanosecondUnitsForward) {
  const REFERENCE_TIME first = now();
  Sleep(20);
  const REFERENCE_TIME elapsed = now() - first;
  EXPECT_GE(elapsed, 20 * kMillisecond);
  EXPECT_LT(elapsed, 2000 * kMillisecond);
  EXPECT_EQ(clock_->GetTime(nullptr), E_POINTER);
}

TEST_F(ReferenceClock, AdviseTimeSignalsTheEventWhenItIsDue) {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD_PTR cookie = 0;
  const REFERENCE_TIME base = now();
  ASSERT_EQ(clock_->AdviseTime(base, 30 * kMillisecond, reinterpret_cast<HEVENT>(event), &cookie), S_OK);
  const DWORD early = WaitForSingleObject(event, 0);
  // On a loaded machine the look may come after the due time; only an early look counts.
  if (now() - base < 30 * kMillisecond) {
    EXPECT_EQ(early, static_cast<DWORD>(WAIT_TIMEOUT));
  }
  EXPECT_EQ(WaitForSingleObject(event, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(clock_->Unadvise(cookie), S_FALSE) << "a one-shot advise is gone once signalled";
  EXPECT_EQ(clock_->AdviseTime(0, 0, reinterpret_cast<HEVENT>(event), &cookie), E_INVALIDARG);
  CloseHandle(event);
}

TEST_F(ReferenceClock, AdvisePeriodicReleasesTheSemaphoreEachPeriodUntilUnadvised) {
  HANDLE semaphore = CreateSemaphoreW(nullptr, 0, 100, nullptr);
  DWORD_PTR cookie = 0;
  ASSERT_EQ(clock_->AdvisePeriodic(now(), 5 * kMillisecond, reinterpret_cast<HSEMAPHORE>(semaphore), &cookie), S_OK);
  for (int period = 0; period < 3; ++period) {
    EXPECT_EQ(WaitForSingleObject(semaphore, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
  }
  EXPECT_EQ(clock_->Unadvise(cookie), S_OK);
  EXPECT_EQ(clock_->AdvisePeriodic(now(), 0, reinterpret_cast<HSEMAPHORE>(semaphore), &cookie), E_INVALIDARG);
  CloseHandle(semaphore);
}
