// The base classes at work in a transform filter, driven through the filter harness.
#include <gtest/gtest.h>

#include "FilterHarness.h"
#include "PassThroughTestFilter.h"

using kcm_test::FilterHarness;
using kcm_test::MakeMediaType;
using kcm_test::PassThroughTestFilter;

namespace {

struct PassThrough : testing::Test {
  PassThrough() : filter(PassThroughTestFilter::Create()), harness(filter) {
    harness.upstream().offered = {yuy2};
  }
  ~PassThrough() override { filter->Release(); }

  const CMediaType yuy2 = MakeMediaType(MEDIATYPE_Video, MEDIASUBTYPE_YUY2, FORMAT_VideoInfo, 88);
  PassThroughTestFilter* filter;
  FilterHarness harness;
};

TEST_F(PassThrough, OffersDownstreamExactlyTheTypeItReceived) {
  EXPECT_EQ(harness.ConnectDownstream(), VFW_E_NO_ACCEPTABLE_TYPES) << "nothing to offer before the input connects";
  ASSERT_EQ(harness.Connect(), S_OK);
  EXPECT_TRUE(harness.downstream().ConnectionType() == yuy2);
  EXPECT_TRUE(filter->input.ConnectionType() == yuy2);
}

TEST_F(PassThrough, RefusalsReachTheProposerUnchanged) {
  const CMediaType audio(&MEDIATYPE_Audio);
  EXPECT_EQ(harness.ConnectUpstream(&audio), VFW_E_NO_ACCEPTABLE_TYPES) << "upstream offers video only";
  ASSERT_EQ(harness.ConnectUpstream(), S_OK);
  harness.downstream().accepts = [](const CMediaType&) { return false; };
  EXPECT_EQ(harness.ConnectDownstream(), VFW_E_NO_ACCEPTABLE_TYPES);
  const CMediaType rgb = MakeMediaType(MEDIATYPE_Video, MEDIASUBTYPE_RGB32, FORMAT_VideoInfo, 88);
  harness.downstream().accepts = nullptr;
  EXPECT_EQ(harness.ConnectDownstream(&rgb), VFW_E_TYPE_NOT_ACCEPTED) << "the filter itself refuses RGB32";
}

TEST_F(PassThrough, UsesTheDownstreamAllocatorAndItsRequirements) {
  harness.downstream().requirements = ALLOCATOR_PROPERTIES{3, 8192, 16, 0};
  ASSERT_EQ(harness.Connect(), S_OK);
  IMemAllocator* used = filter->output.Allocator();
  ASSERT_NE(used, nullptr);
  EXPECT_EQ(used, harness.downstream().Allocator()) << "downstream's own allocator comes first";
  ALLOCATOR_PROPERTIES properties{};
  used->GetProperties(&properties);
  EXPECT_EQ(properties.cBuffers, 3);
  EXPECT_EQ(properties.cbBuffer, 8192);
  EXPECT_EQ(properties.cbAlign, 16);
}

TEST_F(PassThrough, BringsItsOwnAllocatorWhenDownstreamHasNone) {
  harness.downstream().ownAllocator = false;
  ASSERT_EQ(harness.Connect(), S_OK);
  IMemAllocator* used = filter->output.Allocator();
  ASSERT_NE(used, nullptr);
  EXPECT_EQ(used, harness.downstream().Allocator()) << "announced through NotifyAllocator";
  ALLOCATOR_PROPERTIES properties{};
  used->GetProperties(&properties);
  EXPECT_EQ(properties.cbBuffer, 4096) << "as large as the input's buffers";
}

TEST_F(PassThrough, DeliversBytesTimesAndFlags) {
  ASSERT_EQ(harness.Connect(), S_OK);
  ASSERT_EQ(harness.Run(), S_OK);
  ASSERT_EQ(harness.Push({1, 2, 3, 4}, 1000, 2000, true), S_OK);
  ASSERT_EQ(harness.Push({9}, -1, -1, false), S_OK);
  ASSERT_EQ(harness.received().size(), 2u);
  const auto& first = harness.received()[0];
  EXPECT_EQ(first.bytes, (std::vector<BYTE>{1, 2, 3, 4}));
  EXPECT_EQ(first.timeResult, S_OK);
  EXPECT_EQ(first.start, 1000);
  EXPECT_EQ(first.end, 2000);
  EXPECT_TRUE(first.syncPoint);
  const auto& second = harness.received()[1];
  EXPECT_EQ(second.timeResult, VFW_E_SAMPLE_TIME_NOT_SET);
  EXPECT_FALSE(second.syncPoint);
}

TEST_F(PassThrough, FlushingDropsSamplesAndPassesDownstream) {
  ASSERT_EQ(harness.Connect(), S_OK);
  ASSERT_EQ(harness.Pause(), S_OK);
  ASSERT_EQ(harness.upstream().DeliverBeginFlush(), S_OK);
  EXPECT_EQ(harness.Push({1}), S_FALSE);
  ASSERT_EQ(harness.upstream().DeliverEndFlush(), S_OK);
  ASSERT_EQ(harness.upstream().DeliverNewSegment(0, 100, 1.0), S_OK);
  ASSERT_EQ(harness.Push({2}), S_OK);
  ASSERT_EQ(harness.upstream().DeliverEndOfStream(), S_OK);
  EXPECT_EQ(harness.received().size(), 1u);
  EXPECT_EQ(harness.downstream().calls.beginFlush, 1);
  EXPECT_EQ(harness.downstream().calls.endFlush, 1);
  EXPECT_EQ(harness.downstream().calls.newSegment, 1);
  EXPECT_EQ(harness.downstream().calls.endOfStream, 1);
}

TEST_F(PassThrough, StoppedFiltersRefuseSamplesAndDisconnects) {
  ASSERT_EQ(harness.Connect(), S_OK);
  EXPECT_EQ(harness.Push({1}), VFW_E_NOT_COMMITTED) << "nothing committed before Pause";
  ASSERT_EQ(harness.Pause(), S_OK);
  EXPECT_EQ(harness.filterInput()->Disconnect(), VFW_E_NOT_STOPPED);
  IMediaSample* early = nullptr;
  ASSERT_EQ(harness.upstream().GetDeliveryBuffer(&early, nullptr, nullptr, 0), S_OK);
  ASSERT_EQ(filter->Stop(), S_OK);
  EXPECT_EQ(harness.upstream().Deliver(early), VFW_E_WRONG_STATE);
  early->Release();
  EXPECT_EQ(harness.Push({1}), VFW_E_NOT_COMMITTED) << "the stopped input decommitted the connection's allocator";
  ASSERT_EQ(harness.Stop(), S_OK);
  ASSERT_EQ(harness.Pause(), S_OK) << "and back again";
  EXPECT_EQ(harness.Push({1}), S_OK);
}

}  // namespace
