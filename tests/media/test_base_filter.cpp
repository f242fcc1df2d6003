#include <gtest/gtest.h>

#include "ComConformance.h"
#include "FilterHarness.h"
#include "control.h"
#include "evcode.h"
#include "uuids.h"

using kcm_test::DownstreamTestFilter;
using kcm_test::MakeMediaType;
using kcm_test::UpstreamTestFilter;

namespace {

struct ConnectedPair : testing::Test {
  void SetUp() override {
    up->pin.offered = {MakeMediaType(MEDIATYPE_Audio, MEDIASUBTYPE_PCM, FORMAT_WaveFormatEx, 18)};
    ASSERT_EQ(up->pin.Connect(&down->pin, nullptr), S_OK);
  }
  void TearDown() override {
    up->Stop();
    down->Stop();
    up->pin.Disconnect();
    down->pin.Disconnect();
    EXPECT_EQ(up->Release(), 0u);
    EXPECT_EQ(down->Release(), 0u);
  }
  UpstreamTestFilter* up = UpstreamTestFilter::Create();
  DownstreamTestFilter* down = DownstreamTestFilter::Create();
};

TEST_F(ConnectedPair, AnswersFilterInterfacesOnly) {
  IBaseFilter* filter = up;
  KCM_CHECK_INTERFACE(filter, IID_IBaseFilter, true);
  KCM_CHECK_INTERFACE(filter, IID_IMediaFilter, true);
  KCM_CHECK_INTERFACE(filter, IID_IPersist, true);
  KCM_CHECK_INTERFACE(filter, IID_IUnknown, true);
  KCM_CHECK_INTERFACE(filter, IID_IPin, false);
  KCM_CHECK_IDENTITY(filter, IID_IMediaFilter);
  EXPECT_EQ(filter->QueryVendorInfo(nullptr), E_NOTIMPL);
  EXPECT_EQ(filter->GetState(0, nullptr), E_POINTER);
}

TEST_F(ConnectedPair, PauseCommitsTheAllocatorAndStopDecommitsIt) {
  IMediaSample* sample = nullptr;
  EXPECT_EQ(up->pin.GetDeliveryBuffer(&sample, nullptr, nullptr, 0), VFW_E_NOT_COMMITTED);
  ASSERT_EQ(down->Pause(), S_OK);
  ASSERT_EQ(up->Pause(), S_OK);
  FILTER_STATE state = State_Running;
  ASSERT_EQ(up->GetState(0, &state), S_OK);
  EXPECT_EQ(state, State_Paused);
  ASSERT_EQ(up->pin.GetDeliveryBuffer(&sample, nullptr, nullptr, 0), S_OK);
  sample->Release();
  ASSERT_EQ(up->Run(0), S_OK);
  up->GetState(0, &state);
  EXPECT_EQ(state, State_Running);
  ASSERT_EQ(up->Stop(), S_OK);
  EXPECT_EQ(up->pin.GetDeliveryBuffer(&sample, nullptr, nullptr, 0), VFW_E_NOT_COMMITTED);
}

TEST_F(ConnectedPair, ReceiveRefusesStoppedAndFlushingStates) {
  ASSERT_EQ(up->Pause(), S_OK);
  EXPECT_EQ(up->pin.Push({1, 2, 3}, 0, 10), VFW_E_WRONG_STATE) << "downstream is still stopped";
  ASSERT_EQ(down->Pause(), S_OK);
  ASSERT_EQ(up->pin.Push({1, 2, 3}, 0, 10), S_OK);
  ASSERT_EQ(up->pin.DeliverBeginFlush(), S_OK);
  EXPECT_EQ(up->pin.Push({4}, 10, 20), S_FALSE);
  ASSERT_EQ(up->pin.DeliverEndFlush(), S_OK);
  ASSERT_EQ(up->pin.Push({5}, 20, 30), S_OK);
  ASSERT_EQ(down->pin.received.size(), 2u);
  EXPECT_EQ(down->pin.received[1].bytes, std::vector<BYTE>{5});
  EXPECT_EQ(down->pin.calls.beginFlush, 1);
}

TEST_F(ConnectedPair, ASampleWithARefusedTypeRaisesARunTimeError) {
  down->pin.accepts = [](const CMediaType& type) { return *type.Type() == MEDIATYPE_Audio; };
  ASSERT_EQ(down->Pause(), S_OK);
  ASSERT_EQ(up->Pause(), S_OK);
  IMediaSample* sample = nullptr;
  ASSERT_EQ(up->pin.GetDeliveryBuffer(&sample, nullptr, nullptr, 0), S_OK);
  CMediaType video(&MEDIATYPE_Video);
  sample->SetMediaType(&video);
  EXPECT_EQ(up->pin.Deliver(sample), VFW_E_INVALIDMEDIATYPE);
  EXPECT_EQ(up->pin.Deliver(sample), VFW_E_RUNTIME_ERROR);
  sample->Release();
  EXPECT_EQ(down->pin.calls.endOfStream, 1);
  EXPECT_TRUE(down->pin.received.empty());
}

TEST_F(ConnectedPair, FindsPinsByNameAndEnumeratesThem) {
  IPin* pin = nullptr;
  ASSERT_EQ(up->FindPin(L"Out", &pin), S_OK);
  EXPECT_EQ(pin, static_cast<IPin*>(&up->pin));
  pin->Release();
  EXPECT_EQ(up->FindPin(L"In", &pin), VFW_E_NOT_FOUND);
  EXPECT_EQ(pin, nullptr);

  IEnumPins* pins = nullptr;
  ASSERT_EQ(up->EnumPins(&pins), S_OK);
  IPin* fetched[2] = {};
  ULONG count = 0;
  EXPECT_EQ(pins->Next(2, fetched, &count), S_FALSE);
  ASSERT_EQ(count, 1u);
  fetched[0]->Release();
  up->IncrementPinVersion();
  EXPECT_EQ(pins->Skip(0), VFW_E_ENUM_OUT_OF_SYNC);
  pins->Reset();
  EXPECT_EQ(pins->Skip(1), S_OK);
  pins->Release();
}

TEST_F(ConnectedPair, JoinsAGraphWithoutHoldingItAndSendsItsEvents) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
  IGraphBuilder* graph = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                             reinterpret_cast<void**>(&graph)),
            S_OK);
  EXPECT_EQ(up->NotifyEvent(EC_COMPLETE, S_OK, 0), E_NOTIMPL) << "outside a graph";
  ASSERT_EQ(graph->AddFilter(up, L"Upstream"), S_OK);
  FILTER_INFO info{};
  ASSERT_EQ(up->QueryFilterInfo(&info), S_OK);
  EXPECT_STREQ(info.achName, L"Upstream");
  EXPECT_EQ(info.pGraph, static_cast<IFilterGraph*>(graph));
  info.pGraph->Release();

  IMediaEvent* events = nullptr;
  ASSERT_EQ(graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(&events)), S_OK);
  ASSERT_EQ(up->NotifyEvent(EC_USER + 1, 7, 8), S_OK);
  long code = 0;
  LONG_PTR first = 0, second = 0;
  ASSERT_EQ(events->GetEvent(&code, &first, &second, 1000), S_OK);
  EXPECT_EQ(code, EC_USER + 1);
  EXPECT_EQ(first, 7);
  EXPECT_EQ(second, 8);
  events->FreeEventParams(code, first, second);
  events->Release();

  ASSERT_EQ(graph->RemoveFilter(up), S_OK);
  EXPECT_EQ(graph->Release(), 0u);
  CoUninitialize();
}

}  // namespace
