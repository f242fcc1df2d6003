#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "ComConformance.h"
#include "streams.h"

namespace {

// An allocator as a COM client holds one: through IMemAllocator, one reference.
struct AllocatorFixture : testing::Test {
  void SetUp() override {
    HRESULT hr = E_FAIL;
    CUnknown* object = CMemAllocator::CreateInstance(nullptr, &hr);
    ASSERT_EQ(hr, S_OK);
    object->NonDelegatingAddRef();
    ASSERT_EQ(object->NonDelegatingQueryInterface(IID_IMemAllocator, reinterpret_cast<void**>(&allocator)), S_OK);
    object->NonDelegatingRelease();
  }
  void TearDown() override {
    if (allocator != nullptr) {
      EXPECT_EQ(allocator->Release(), 0u);
    }
  }
  HRESULT Configure(LONG count, LONG size, LONG align = 1, LONG prefix = 0) {
    ALLOCATOR_PROPERTIES request{count, size, align, prefix};
    return allocator->SetProperties(&request, &granted);
  }
  IMediaSample* Take(DWORD flags = 0) {
    IMediaSample* sample = nullptr;
    lastResult = allocator->GetBuffer(&sample, nullptr, nullptr, flags);
    return sample;
  }

  IMemAllocator* allocator = nullptr;
  ALLOCATOR_PROPERTIES granted{};
  HRESULT lastResult = S_OK;
};

TEST_F(AllocatorFixture, AnswersItsInterfacesAndRefusesOthers) {
  KCM_CHECK_INTERFACE(allocator, IID_IUnknown, true);
  KCM_CHECK_INTERFACE(allocator, IID_IMemAllocator, true);
  KCM_CHECK_INTERFACE(allocator, IID_IMemAllocatorCallbackTemp, true);
  KCM_CHECK_INTERFACE(allocator, IID_IMediaSample, false);
  KCM_CHECK_INTERFACE(allocator, IID_IBaseFilter, false);
  KCM_CHECK_IDENTITY(allocator, IID_IMemAllocatorCallbackTemp);
  EXPECT_EQ(kcm_test::RefCount(allocator), 1u);
  EXPECT_EQ(allocator->QueryInterface(IID_IMemAllocator, nullptr), E_POINTER);
}

TEST_F(AllocatorFixture, RoundsTheSizeToTheAlignmentAndRefusesBadAlignments) {
  ASSERT_EQ(Configure(3, 1001, 16, 8), S_OK);
  EXPECT_EQ(granted.cbBuffer, 1016);  // 1001 + 8 rounded up to 1024, less the prefix
  EXPECT_EQ(granted.cBuffers, 3);
  EXPECT_EQ(Configure(1, 100, 0), VFW_E_BADALIGN);
  EXPECT_EQ(Configure(1, 100, 3), VFW_E_BADALIGN);
  EXPECT_EQ(Configure(1, 100, CMemAllocator::AllocationGranularity() * 2), VFW_E_BADALIGN);
  EXPECT_EQ(allocator->SetProperties(&granted, nullptr), E_POINTER);
}

TEST_F(AllocatorFixture, TakingNeedsACommitAndCommitNeedsProperties) {
  EXPECT_EQ(allocator->Commit(), VFW_E_SIZENOTSET);
  EXPECT_EQ(Take(), nullptr);
  EXPECT_EQ(lastResult, VFW_E_NOT_COMMITTED);
  ASSERT_EQ(Configure(2, 64), S_OK);
  ASSERT_EQ(allocator->Commit(), S_OK);
  EXPECT_EQ(Configure(2, 64), VFW_E_ALREADY_COMMITTED);
  IMediaSample* sample = Take();
  ASSERT_NE(sample, nullptr);
  EXPECT_EQ(sample->GetSize(), 64);
  EXPECT_EQ(kcm_test::RefCount(sample), 1u);
  sample->Release();
  EXPECT_EQ(allocator->Decommit(), S_OK);
}

TEST_F(AllocatorFixture, HandsOutTheMostRecentlyReturnedSampleFirst) {
  ASSERT_EQ(Configure(3, 32), S_OK);
  ASSERT_EQ(allocator->Commit(), S_OK);
  IMediaSample* first = Take();
  IMediaSample* second = Take();
  first->Release();
  second->Release();
  IMediaSample* again = Take();
  EXPECT_EQ(again, second);
  again->Release();
  allocator->Decommit();
}

TEST_F(AllocatorFixture, NoWaitAnswersTimeoutWhenAllSamplesAreOut) {
  ASSERT_EQ(Configure(1, 32), S_OK);
  ASSERT_EQ(allocator->Commit(), S_OK);
  IMediaSample* only = Take();
  EXPECT_EQ(Take(AM_GBF_NOWAIT), nullptr);
  EXPECT_EQ(lastResult, VFW_E_TIMEOUT);
  only->Release();
  allocator->Decommit();
}

TEST_F(AllocatorFixture, AWaitingTakerWakesWhenASampleReturns) {
  ASSERT_EQ(Configure(1, 32), S_OK);
  ASSERT_EQ(allocator->Commit(), S_OK);
  IMediaSample* only = Take();
  std::atomic<IMediaSample*> taken{nullptr};
  std::thread taker([&] {
    IMediaSample* sample = nullptr;
    allocator->GetBuffer(&sample, nullptr, nullptr, 0);
    taken = sample;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(taken.load(), nullptr) << "the taker must wait";
  only->Release();
  taker.join();
  ASSERT_EQ(taken.load(), only);
  taken.load()->Release();
  allocator->Decommit();
}

TEST_F(AllocatorFixture, AWaitingTakerFailsWhenTheAllocatorIsDecommitted) {
  ASSERT_EQ(Configure(1, 32), S_OK);
  ASSERT_EQ(allocator->Commit(), S_OK);
  IMediaSample* only = Take();
  std::atomic<HRESULT> result{S_OK};
  std::thread taker([&] {
    IMediaSample* sample = nullptr;
    result = allocator->GetBuffer(&sample, nullptr, nullptr, 0);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  allocator->Decommit();
  taker.join();
  EXPECT_EQ(result.load(), VFW_E_NOT_COMMITTED);
  only->Release();
}

TEST_F(AllocatorFixture, DecommitWaitsForTheLastSampleAndRecommitCancelsIt) {
  ASSERT_EQ(Configure(2, 32), S_OK);
  ASSERT_EQ(allocator->Commit(), S_OK);
  IMediaSample* out = Take();
  ASSERT_EQ(allocator->Decommit(), S_OK);
  EXPECT_EQ(Configure(2, 64), VFW_E_BUFFERS_OUTSTANDING);
  ASSERT_EQ(allocator->Commit(), S_OK) << "cancels the pending decommit";
  out->Release();
  ASSERT_EQ(allocator->Decommit(), S_OK);
  EXPECT_EQ(Configure(2, 64), S_OK) << "every sample back: memory freed at once";
}

TEST_F(AllocatorFixture, KeepsItselfAliveWhileASampleIsOut) {
  ASSERT_EQ(Configure(1, 32), S_OK);
  ASSERT_EQ(allocator->Commit(), S_OK);
  IMediaSample* out = Take();
  allocator->Decommit();
  EXPECT_EQ(allocator->Release(), 1u) << "the pending decommit still holds it";
  allocator = nullptr;
  out->Release();  // frees the memory and the allocator; ASan sees any use after that
}

TEST_F(AllocatorFixture, FreeCountAndNotifyCallbackFollowReturns) {
  struct CountingNotify : IMemAllocatorNotifyCallbackTemp {
    STDMETHODIMP QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
    STDMETHODIMP_(ULONG) Release() override { return --references; }
    STDMETHODIMP NotifyRelease() override {
      ++notified;
      return S_OK;
    }
    ULONG references = 1;
    int notified = 0;
  } notify;
  IMemAllocatorCallbackTemp* callback = nullptr;
  ASSERT_EQ(allocator->QueryInterface(IID_IMemAllocatorCallbackTemp, reinterpret_cast<void**>(&callback)), S_OK);
  ASSERT_EQ(callback->SetNotify(&notify), S_OK);
  EXPECT_EQ(notify.references, 2u);
  ASSERT_EQ(Configure(3, 32), S_OK);
  ASSERT_EQ(allocator->Commit(), S_OK);
  LONG free = 0;
  IMediaSample* out = Take();
  callback->GetFreeCount(&free);
  EXPECT_EQ(free, 2);
  out->Release();
  callback->GetFreeCount(&free);
  EXPECT_EQ(free, 3);
  EXPECT_EQ(notify.notified, 1);
  callback->SetNotify(nullptr);
  EXPECT_EQ(notify.references, 1u);
  callback->Release();
  allocator->Decommit();
}

TEST(MemAllocatorAggregation, DelegatesToTheOuterObject) {
  kcm_test::TestOuterUnknown outer;
  HRESULT hr = E_FAIL;
  CUnknown* inner = CMemAllocator::CreateInstance(&outer, &hr);
  ASSERT_EQ(hr, S_OK);
  outer.inner = inner->GetNonDelegatingUnknown();
  outer.inner->AddRef();

  IMemAllocator* allocator = nullptr;
  ASSERT_EQ(outer.QueryInterface(IID_IMemAllocator, reinterpret_cast<void**>(&allocator)), S_OK);
  EXPECT_EQ(outer.count, 2u) << "the interface's reference is the outer object's";
  IUnknown* identity = nullptr;
  ASSERT_EQ(allocator->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
  EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
  identity->Release();
  allocator->Release();
  EXPECT_EQ(outer.count, 1u);

  IUnknown* innerUnknown = nullptr;
  ASSERT_EQ(outer.inner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&innerUnknown)), S_OK);
  EXPECT_EQ(innerUnknown, outer.inner) << "the non-delegating IUnknown answers itself";
  innerUnknown->Release();
  EXPECT_EQ(outer.inner->Release(), 0u);
}

TEST(MediaSample, KeepsTimesFlagsAndLengthsWithinItsBuffer) {
  BYTE memory[16];
  CMediaSample sample(NAME("sample"), nullptr, nullptr, memory, sizeof(memory));
  REFERENCE_TIME start = 0, end = 0;
  EXPECT_EQ(sample.GetTime(&start, &end), VFW_E_SAMPLE_TIME_NOT_SET);
  REFERENCE_TIME from = 100, to = 200;
  sample.SetTime(&from, nullptr);
  EXPECT_EQ(sample.GetTime(&start, &end), VFW_S_NO_STOP_TIME);
  EXPECT_EQ(end, 101);
  sample.SetTime(&from, &to);
  EXPECT_EQ(sample.GetTime(&start, &end), S_OK);
  EXPECT_EQ(end, 200);
  EXPECT_EQ(sample.SetActualDataLength(17), VFW_E_BUFFER_OVERFLOW);
  EXPECT_EQ(sample.SetActualDataLength(-1), VFW_E_BUFFER_OVERFLOW);
  EXPECT_EQ(sample.SetPointer(memory, -1), VFW_E_BUFFER_OVERFLOW);
  EXPECT_EQ(sample.IsSyncPoint(), S_FALSE);
  sample.SetSyncPoint(TRUE);
  EXPECT_EQ(sample.IsSyncPoint(), S_OK);
}

TEST(MediaSample, PropertiesCarryAnAttachedTypeAndRefuseForeignBuffers) {
  BYTE memory[16];
  CMediaSample sample(NAME("sample"), nullptr, nullptr, memory, sizeof(memory));
  CMediaType type(&MEDIATYPE_Audio);
  ASSERT_EQ(sample.SetMediaType(&type), S_OK);
  AM_SAMPLE2_PROPERTIES properties{};
  ASSERT_EQ(sample.GetProperties(sizeof(properties), reinterpret_cast<BYTE*>(&properties)), S_OK);
  EXPECT_EQ(properties.cbData, sizeof(properties));
  EXPECT_NE(properties.dwSampleFlags & AM_SAMPLE_TYPECHANGED, 0u);
  ASSERT_NE(properties.pMediaType, nullptr);
  EXPECT_EQ(properties.pMediaType->majortype, MEDIATYPE_Audio);
  EXPECT_EQ(properties.pbBuffer, memory);

  BYTE other[4];
  properties.pbBuffer = other;
  EXPECT_EQ(sample.SetProperties(sizeof(properties), reinterpret_cast<BYTE*>(&properties)), E_INVALIDARG);
  properties.pbBuffer = memory;
  properties.dwSampleFlags = AM_SAMPLE_SPLICEPOINT;  // no type change: the type goes
  properties.lActual = 5;
  ASSERT_EQ(sample.SetProperties(sizeof(properties), reinterpret_cast<BYTE*>(&properties)), S_OK);
  EXPECT_EQ(sample.GetActualDataLength(), 5);
  EXPECT_EQ(sample.IsSyncPoint(), S_OK);
  AM_MEDIA_TYPE* attached = nullptr;
  EXPECT_EQ(sample.GetMediaType(&attached), S_OK) << "the attached type stays until replaced or released";
  DeleteMediaType(attached);
}

}  // namespace
