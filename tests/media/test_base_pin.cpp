// The base pins tested on the harness's test pins, connected to each other directly.
#include <gtest/gtest.h>

#include "ComConformance.h"
#include "FilterHarness.h"

using kcm_test::DownstreamTestFilter;
using kcm_test::MakeMediaType;
using kcm_test::UpstreamTestFilter;

namespace {

struct PinPair : testing::Test {
  void SetUp() override {
    up = UpstreamTestFilter::Create();
    down = DownstreamTestFilter::Create();
  }
  void TearDown() override {
    up->Stop();
    down->Stop();
    down->pin.Disconnect();
    up->pin.Disconnect();
    EXPECT_EQ(up->Release(), 0u);
    EXPECT_EQ(down->Release(), 0u);
  }
  HRESULT Connect(const AM_MEDIA_TYPE* proposed = nullptr) { return up->pin.Connect(&down->pin, proposed); }

  UpstreamTestFilter* up = nullptr;
  DownstreamTestFilter* down = nullptr;
  const CMediaType rgb = MakeMediaType(MEDIATYPE_Video, MEDIASUBTYPE_RGB32, FORMAT_VideoInfo, 8);
  const CMediaType yuy2 = MakeMediaType(MEDIATYPE_Video, MEDIASUBTYPE_YUY2, FORMAT_VideoInfo, 8);
  const CMediaType pcm = MakeMediaType(MEDIATYPE_Audio, MEDIASUBTYPE_PCM, FORMAT_WaveFormatEx, 18);
};

bool isSubtype(const CMediaType& type, const GUID& subtype) { return *type.Subtype() == subtype; }

TEST_F(PinPair, TriesTheReceivingPinsTypesBeforeItsOwn) {
  up->pin.offered = {rgb};
  down->pin.offered = {pcm, yuy2};
  down->pin.accepts = [](const CMediaType& type) { return *type.Type() == MEDIATYPE_Video; };
  ASSERT_EQ(Connect(), S_OK);
  // Upstream checked the receiver's PCM and YUY2 in order and connected with YUY2.
  ASSERT_EQ(up->pin.calls.checkedTypes.size(), 2u);
  EXPECT_TRUE(up->pin.calls.checkedTypes[0] == pcm);
  EXPECT_TRUE(down->pin.ConnectionType() == yuy2);
  EXPECT_EQ(down->pin.calls.checkedTypes.size(), 2u) << "PCM refused, then YUY2 accepted";
}

TEST_F(PinPair, FallsBackToItsOwnTypesWhenTheReceiversFail) {
  up->pin.offered = {pcm, rgb};
  down->pin.offered = {yuy2};
  down->pin.accepts = [](const CMediaType& type) { return isSubtype(type, MEDIASUBTYPE_RGB32); };
  ASSERT_EQ(Connect(), S_OK);
  EXPECT_TRUE(down->pin.ConnectionType() == rgb);
}

TEST_F(PinPair, AFullyGivenTypeIsTheOnlyOneTried) {
  up->pin.offered = {rgb};
  down->pin.offered = {rgb};
  down->pin.accepts = [](const CMediaType& type) { return isSubtype(type, MEDIASUBTYPE_RGB32); };
  EXPECT_EQ(Connect(&yuy2), VFW_E_TYPE_NOT_ACCEPTED);
  EXPECT_EQ(up->pin.GetConnected(), nullptr);
  EXPECT_EQ(down->pin.GetConnected(), nullptr);
  ASSERT_EQ(Connect(&rgb), S_OK);
}

TEST_F(PinPair, APartialTypeNarrowsTheCandidates) {
  up->pin.offered = {rgb, pcm};
  const CMediaType audio(&MEDIATYPE_Audio);
  ASSERT_EQ(Connect(&audio), S_OK);
  EXPECT_TRUE(down->pin.ConnectionType() == pcm);
}

TEST_F(PinPair, NoCommonTypeGivesNoAcceptableTypes) {
  up->pin.offered = {rgb};
  down->pin.accepts = [](const CMediaType&) { return false; };
  EXPECT_EQ(Connect(), VFW_E_NO_ACCEPTABLE_TYPES);
  EXPECT_EQ(Connect(&rgb), VFW_E_TYPE_NOT_ACCEPTED);
  up->pin.offered.clear();
  EXPECT_EQ(Connect(), VFW_E_NO_ACCEPTABLE_TYPES);
}

TEST_F(PinPair, RefusesSecondConnectionsWrongDirectionsAndRunningFilters) {
  up->pin.offered = {rgb};
  ASSERT_EQ(Connect(), S_OK);
  EXPECT_EQ(Connect(), VFW_E_ALREADY_CONNECTED);
  EXPECT_EQ(down->pin.ReceiveConnection(&up->pin, &rgb), VFW_E_ALREADY_CONNECTED);
  ASSERT_EQ(up->Pause(), S_OK);
  EXPECT_EQ(up->pin.Disconnect(), VFW_E_NOT_STOPPED);
  up->Stop();

  auto* other = DownstreamTestFilter::Create();
  EXPECT_EQ(other->pin.Connect(&down->pin, &rgb), VFW_E_INVALID_DIRECTION);
  ASSERT_EQ(other->Pause(), S_OK);
  EXPECT_EQ(other->pin.ReceiveConnection(&up->pin, &rgb), VFW_E_NOT_STOPPED);
  other->Stop();
  other->Release();
}

TEST_F(PinPair, ConnectionQueriesAnswerAsConnected) {
  IPin* peer = reinterpret_cast<IPin*>(0x1);
  EXPECT_EQ(up->pin.ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(peer, nullptr);
  AM_MEDIA_TYPE type{};
  EXPECT_EQ(up->pin.ConnectionMediaType(&type), VFW_E_NOT_CONNECTED);
  up->pin.offered = {pcm};
  ASSERT_EQ(Connect(), S_OK);
  ASSERT_EQ(up->pin.ConnectedTo(&peer), S_OK);
  EXPECT_EQ(peer, static_cast<IPin*>(&down->pin));
  peer->Release();
  ASSERT_EQ(down->pin.ConnectionMediaType(&type), S_OK);
  EXPECT_EQ(type.cbFormat, 18u);
  EXPECT_NE(type.pbFormat, pcm.Format());
  FreeMediaType(type);
  EXPECT_EQ(up->pin.Disconnect(), S_OK);
  EXPECT_EQ(up->pin.Disconnect(), S_FALSE);
}

TEST_F(PinPair, AnswersPinInterfacesAndCountsOnTheFilter) {
  IPin* pin = &down->pin;
  KCM_CHECK_INTERFACE(pin, IID_IPin, true);
  KCM_CHECK_INTERFACE(pin, IID_IMemInputPin, true);
  KCM_CHECK_INTERFACE(pin, IID_IQualityControl, true);
  KCM_CHECK_INTERFACE(pin, IID_IBaseFilter, false);
  KCM_CHECK_INTERFACE(static_cast<IPin*>(&up->pin), IID_IMemInputPin, false);
  const ULONG before = kcm_test::RefCount(down);
  pin->AddRef();
  EXPECT_EQ(kcm_test::RefCount(down), before + 1);
  pin->Release();

  PIN_INFO info{};
  ASSERT_EQ(pin->QueryPinInfo(&info), S_OK);
  EXPECT_EQ(info.pFilter, static_cast<IBaseFilter*>(down));
  EXPECT_EQ(info.dir, PINDIR_INPUT);
  EXPECT_STREQ(info.achName, L"In");
  info.pFilter->Release();
  LPWSTR id = nullptr;
  ASSERT_EQ(pin->QueryId(&id), S_OK);
  EXPECT_STREQ(id, L"In");
  CoTaskMemFree(id);
  EXPECT_EQ(pin->QueryPinInfo(nullptr), E_POINTER);
  EXPECT_EQ(pin->Connect(nullptr, nullptr), E_POINTER);
}

TEST_F(PinPair, QueryAcceptTurnsEveryRefusalIntoFalse) {
  down->pin.accepts = [](const CMediaType& type) { return *type.Type() == MEDIATYPE_Audio; };
  EXPECT_EQ(down->pin.QueryAccept(&pcm), S_OK);
  EXPECT_EQ(down->pin.QueryAccept(&rgb), S_FALSE);
}

TEST_F(PinPair, TypeEnumeratorsGoOutOfSyncWhenTheTypesChange) {
  down->pin.offered = {pcm, rgb};
  IEnumMediaTypes* types = nullptr;
  ASSERT_EQ(down->pin.EnumMediaTypes(&types), S_OK);
  AM_MEDIA_TYPE* fetched[3] = {};
  ULONG count = 0;
  EXPECT_EQ(types->Next(3, fetched, &count), S_FALSE);
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(fetched[0]->majortype, MEDIATYPE_Audio);
  DeleteMediaType(fetched[0]);
  DeleteMediaType(fetched[1]);
  EXPECT_EQ(types->Next(2, fetched, nullptr), E_INVALIDARG);
  ASSERT_EQ(types->Reset(), S_OK);
  EXPECT_EQ(types->Skip(2), S_OK);
  EXPECT_EQ(types->Skip(1), S_FALSE);

  down->pin.IncrementTypeVersion();
  EXPECT_EQ(types->Next(1, fetched, &count), VFW_E_ENUM_OUT_OF_SYNC);
  IEnumMediaTypes* clone = nullptr;
  EXPECT_EQ(types->Clone(&clone), VFW_E_ENUM_OUT_OF_SYNC);
  ASSERT_EQ(types->Reset(), S_OK);
  ASSERT_EQ(types->Clone(&clone), S_OK);
  ASSERT_EQ(clone->Next(1, fetched, nullptr), S_OK);
  DeleteMediaType(fetched[0]);
  clone->Release();
  types->Release();
}

}  // namespace
