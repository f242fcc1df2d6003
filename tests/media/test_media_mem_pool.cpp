#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "KestroMediaMemPool.h"
#include "core/AllocationCounter.h"
#include "core/LogCapture.h"

namespace {

using namespace std::chrono_literals;

struct Pool : testing::Test {
  void SetUp() override {
    pool = static_cast<IKestroMemPool*>(CreateKestroMemPool(IID_IKestroMemPool, KCM_INTERFACE_VERSION));
    ASSERT_NE(pool, nullptr);
  }
  void TearDown() override { pool->Ex_Release(); }

  IMediaSample* Take(unsigned long size) {
    IMediaSample* sample = nullptr;
    lastResult = pool->GetMediaSample(&sample, size);
    return sample;
  }

  IKestroMemPool* pool = nullptr;
  HRESULT lastResult = S_OK;
};

TEST(PoolFactory, AnswersThePoolInterfaceForAcceptedVersionsOnly) {
  void* own = CreateKestroMemPool(IID_IKestroMemPool, 0x010101FF);
  ASSERT_NE(own, nullptr);
  auto* pool = static_cast<IKestroMemPool*>(own);
  EXPECT_EQ(pool->Ex_QueryInterface(IID_IUnknownEx, KCM_INTERFACE_VERSION), own);
  EXPECT_EQ(pool->Ex_QueryInterface(IID_IKestroMemPool, 0x01010200), nullptr);
  EXPECT_TRUE(pool->Ex_IsValid());
  EXPECT_TRUE(pool->Ex_Release());
  EXPECT_EQ(CreateKestroMemPool(IID_IQueueServiceEngine, KCM_INTERFACE_VERSION), nullptr);
  EXPECT_EQ(CreateKestroMemPool(IID_IKestroMemPool, 0x02010100), nullptr);
}

TEST_F(Pool, StartsStoppedAndHandsOutSamplesOfTheStartedSize) {
  EXPECT_FALSE(pool->IsStarted());
  ASSERT_EQ(pool->Start(1000, 2), S_OK);
  EXPECT_TRUE(pool->IsStarted());
  IMediaSample* sample = Take(1000);
  ASSERT_NE(sample, nullptr);
  EXPECT_EQ(sample->GetSize(), 1000);
  sample->Release();
  ASSERT_EQ(pool->Stop(), S_OK);
  EXPECT_FALSE(pool->IsStarted());
}

TEST_F(Pool, ALargerRequestRestartsThePoolAtTheNewSize) {
  ASSERT_EQ(pool->Start(1000, 2), S_OK);
  IMediaSample* sample = Take(5000);
  ASSERT_NE(sample, nullptr) << std::hex << lastResult;
  EXPECT_GE(sample->GetSize(), 5000);
  sample->Release();
  EXPECT_TRUE(pool->IsStarted());
}

TEST_F(Pool, TheRestartFailsWhileASampleIsOutAndSaysWhy) {
  ASSERT_EQ(pool->Start(1000, 2), S_OK);
  IMediaSample* out = Take(1000);
  ASSERT_NE(out, nullptr);
  kcm_test::LogCapture log;
  EXPECT_EQ(Take(5000), nullptr);
  EXPECT_EQ(lastResult, VFW_E_BUFFERS_OUTSTANDING);
  EXPECT_EQ(log.Count("CKestroMemPool::StartInter DecommitInProgress 1"), 1) << log.All();
  EXPECT_EQ(log.Count("\"hr = StartInter(cbBuffer, cBuffers)\""), 1);
  EXPECT_EQ(log.Count("\"hr = Start(Properties.cbBuffer, Properties.cBuffers)\""), 1);
  EXPECT_EQ(log.Count("File: src\\MediaMemPool "), 2);
  EXPECT_FALSE(pool->IsStarted());
  out->Release();
}

TEST_F(Pool, TheThirdSampleWaitsUntilOneIsReleased) {
  ASSERT_EQ(pool->Start(100, 2), S_OK);
  IMediaSample* first = Take(100);
  IMediaSample* second = Take(100);
  std::atomic<IMediaSample*> third{nullptr};
  std::thread taker([&] {
    IMediaSample* sample = nullptr;
    pool->GetMediaSample(&sample, 100);
    third = sample;
  });
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(third.load(), nullptr);
  second->Release();
  taker.join();
  EXPECT_EQ(third.load(), second) << "the returned buffer is the one handed out";
  third.load()->Release();
  first->Release();
}

TEST_F(Pool, AWaitingTakerWakesWithAnErrorWhenThePoolStops) {
  ASSERT_EQ(pool->Start(100, 1), S_OK);
  IMediaSample* only = Take(100);
  std::atomic<HRESULT> result{S_OK};
  kcm_test::LogCapture log;
  std::thread taker([&] {
    IMediaSample* sample = nullptr;
    result = pool->GetMediaSample(&sample, 100);
  });
  std::this_thread::sleep_for(50ms);
  pool->Stop();
  taker.join();
  EXPECT_EQ(result.load(), VFW_E_NOT_COMMITTED);
  EXPECT_EQ(log.Count("\"hr = CKMemAllocator::GetBuffer(ppBuffer, NULL, NULL, 0)\""), 1);
  only->Release();
}

TEST_F(Pool, ParkedSamplesComeBackByTheirPointerValue) {
  IMediaSample* sample = nullptr;
  ASSERT_EQ(pool->Start(64, 2), S_OK);
  sample = Take(64);
  ASSERT_EQ(pool->AddRefMediaSample(sample), S_OK);
  sample->Release();  // the pool's reference keeps it out

  IMediaSample* untouched = reinterpret_cast<IMediaSample*>(0x1);
  EXPECT_EQ(pool->ReleaseRefMediaSample(12345, &untouched), E_FAIL);
  EXPECT_EQ(untouched, reinterpret_cast<IMediaSample*>(0x1));

  IMediaSample* back = nullptr;
  ASSERT_EQ(pool->ReleaseRefMediaSample(reinterpret_cast<unsigned long>(sample), &back), S_OK);
  EXPECT_EQ(back, sample);
  EXPECT_EQ(pool->ReleaseRefMediaSample(reinterpret_cast<unsigned long>(sample), &back), E_FAIL) << "taken once";
  back->Release();
}

TEST_F(Pool, ParkingNeedsAStartedPool) {
  ASSERT_EQ(pool->Start(64, 2), S_OK);
  IMediaSample* sample = Take(64);
  pool->Stop();
  EXPECT_EQ(pool->AddRefMediaSample(sample), E_FAIL);
  IMediaSample* back = nullptr;
  EXPECT_EQ(pool->ReleaseRefMediaSample(reinterpret_cast<unsigned long>(sample), &back), E_FAIL);
  sample->Release();
}

TEST_F(Pool, StopReleasesParkedSamplesAndFreesTheMemoryWithTheLastHeldOne) {
  ASSERT_EQ(pool->Start(64, 2), S_OK);
  IMediaSample* parked = Take(64);
  IMediaSample* held = Take(64);
  pool->AddRefMediaSample(parked);
  parked->Release();
  ASSERT_EQ(pool->Stop(), S_OK);
  EXPECT_EQ(pool->Start(64, 2), VFW_E_BUFFERS_OUTSTANDING) << "the held sample still has its buffer";
  held->Release();
  EXPECT_EQ(pool->Start(64, 2), S_OK) << "all back: the old memory is gone";
}

TEST_F(Pool, TakingAndReturningSamplesAllocatesNothing) {
  ASSERT_EQ(pool->Start(4096, 4), S_OK);
  kcm_test::AllocationCounter counter;
  counter.startOnThisThread();
  for (int round = 0; round < 1000; ++round) {
    IMediaSample* a = nullptr;
    IMediaSample* b = nullptr;
    pool->GetMediaSample(&a, 4096);
    pool->GetMediaSample(&b, 1000);
    b->Release();
    a->Release();
  }
  counter.stopOnThisThread();
  EXPECT_EQ(counter.count(), 0u);
}

TEST_F(Pool, ManyThreadsShareTheBuffers) {
  ASSERT_EQ(pool->Start(256, 3), S_OK);
  std::atomic<int> failures{0};
  std::vector<std::thread> workers;
  for (int worker = 0; worker < 4; ++worker) {
    workers.emplace_back([&, worker] {
      for (int round = 0; round < 200; ++round) {
        IMediaSample* sample = nullptr;
        if (pool->GetMediaSample(&sample, 256) != S_OK) {
          ++failures;
          continue;
        }
        BYTE* bytes = nullptr;
        sample->GetPointer(&bytes);
        bytes[0] = static_cast<BYTE>(worker);
        sample->Release();
      }
    });
  }
  for (std::thread& worker : workers) worker.join();
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace
