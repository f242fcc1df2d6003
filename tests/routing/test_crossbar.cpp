// CCrossbar over chains of crossbar filters in front of a capture pin.
#include <gtest/gtest.h>

#include <vector>

#include "CrossbarTestFilter.h"
#include "KestroCrossbar.h"

namespace kcm_test {
namespace {

class CrossbarTest : public ::testing::Test {
 protected:
  void SetUp() override { capture = CaptureTestFilter::Create(); }

  void TearDown() override {
    for (IPin* output : connected) output->Disconnect();
    for (IPin* input : connectedInputs) input->Disconnect();
    for (CrossbarTestFilter* crossbar : crossbars) crossbar->Release();
    capture->Release();
  }

  CrossbarTestFilter* add(CrossbarTestFilter* crossbar) {
    crossbars.push_back(crossbar);
    return crossbar;
  }

  void connect(AnalogTestPin* output, IPin* input) {
    ASSERT_EQ(output->ConnectTo(input), S_OK);
    connected.push_back(output);
    connectedInputs.push_back(input);
  }

  // Every route's connector types, in route order.
  std::vector<long> inputTypes(CCrossbar& routes) {
    long count = 0;
    EXPECT_EQ(routes.GetInputCount(&count), S_OK);
    std::vector<long> types;
    for (long index = 0; index < count; ++index) {
      long type = 0;
      EXPECT_EQ(routes.GetInputType(index, &type), S_OK);
      types.push_back(type);
    }
    return types;
  }

  CaptureTestFilter* capture = nullptr;
  std::vector<CrossbarTestFilter*> crossbars;
  std::vector<IPin*> connected;
  std::vector<IPin*> connectedInputs;
};

TEST_F(CrossbarTest, OneCrossbarListsItsVideoInputsAndRoutesTheRelatedAudio) {
  CrossbarTestFilter* device = add(CrossbarTestFilter::CreateDeviceCrossbar());
  connect(device->Output(0), &capture->input);

  HRESULT hr = E_UNEXPECTED;
  CCrossbar routes(&capture->input, &hr);
  EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(inputTypes(routes),
            (std::vector<long>{PhysConn_Video_Tuner, PhysConn_Video_Composite, PhysConn_Video_SVideo}));

  EXPECT_EQ(routes.SetInputIndex(2), S_OK);
  // Video decoder from S-video, then audio decoder from the S-video's audio (line).
  EXPECT_EQ(device->routeCalls, (std::vector<std::pair<long, long>>{{0, 2}, {1, 4}}));
  long index = -1;
  EXPECT_EQ(routes.GetInputIndex(&index), S_OK);
  EXPECT_EQ(index, 2);

  wchar_t name[32];
  EXPECT_EQ(routes.GetInputName(1, name, 32), S_OK);
  EXPECT_STREQ(name, L"Video Composite");
}

TEST_F(CrossbarTest, RoutesWithoutRelatedAudioRouteVideoOnly) {
  CrossbarTestFilter* crossbar = add(CrossbarTestFilter::Create(
      {{PhysConn_Video_USB, -1}, {PhysConn_Audio_USB, -1}}, {{PhysConn_Video_VideoDecoder, -1}}));
  connect(crossbar->Output(0), &capture->input);
  HRESULT hr = E_UNEXPECTED;
  CCrossbar routes(&capture->input, &hr);
  EXPECT_EQ(inputTypes(routes), (std::vector<long>{PhysConn_Video_USB}));
  EXPECT_EQ(routes.SetInputIndex(0), S_OK);
  EXPECT_EQ(crossbar->routeCalls, (std::vector<std::pair<long, long>>{{0, 0}}));
}

TEST_F(CrossbarTest, TwoCrossbarsInAChainGiveTwoStepRoutesAndSelectingRoutesBoth) {
  CrossbarTestFilter* near = add(CrossbarTestFilter::Create(
      {{PhysConn_Video_VideoDecoder, -1}, {PhysConn_Video_USB, -1}}, {{PhysConn_Video_VideoDecoder, -1}}));
  CrossbarTestFilter* far = add(CrossbarTestFilter::CreateDeviceCrossbar());
  connect(near->Output(0), &capture->input);
  connect(far->Output(0), near->Input(0));

  HRESULT hr = E_UNEXPECTED;
  CCrossbar routes(&capture->input, &hr);
  EXPECT_EQ(hr, S_OK);
  // Far crossbar's three inputs through near input 0, then near's own USB input.
  EXPECT_EQ(inputTypes(routes), (std::vector<long>{PhysConn_Video_Tuner, PhysConn_Video_Composite,
                                                   PhysConn_Video_SVideo, PhysConn_Video_USB}));

  EXPECT_EQ(routes.SetInputIndex(1), S_OK);
  EXPECT_EQ(far->routeCalls, (std::vector<std::pair<long, long>>{{0, 1}, {1, 4}}));
  EXPECT_EQ(near->routeCalls, (std::vector<std::pair<long, long>>{{0, 0}}));

  near->routeCalls.clear();
  far->routeCalls.clear();
  EXPECT_EQ(routes.SetInputIndex(3), S_OK);
  EXPECT_TRUE(far->routeCalls.empty());
  EXPECT_EQ(near->routeCalls, (std::vector<std::pair<long, long>>{{0, 1}}));
}

TEST_F(CrossbarTest, NoCrossbarUpstreamGivesZeroRoutesAndFail) {
  HRESULT hr = S_OK;
  CCrossbar unconnected(&capture->input, &hr);
  EXPECT_EQ(hr, E_FAIL);
  EXPECT_TRUE(inputTypes(unconnected).empty());

  long count = -1;
  EXPECT_EQ(unconnected.GetInputCount(&count), S_OK);
  EXPECT_EQ(count, 0);
  long type = 0;
  EXPECT_EQ(unconnected.GetInputType(0, &type), E_FAIL);
  EXPECT_EQ(unconnected.SetInputIndex(0), E_FAIL);
}

TEST_F(CrossbarTest, AFilterWithoutCrossbarUpstreamGivesZeroRoutesAndFail) {
  CaptureTestFilter* plain = CaptureTestFilter::Create();
  connect(&plain->output, &capture->input);
  HRESULT hr = S_OK;
  CCrossbar routes(&capture->input, &hr);
  EXPECT_EQ(hr, E_FAIL);
  EXPECT_TRUE(inputTypes(routes).empty());
  plain->output.Disconnect();
  capture->input.Disconnect();
  connected.clear();
  connectedInputs.clear();
  plain->Release();
}

TEST_F(CrossbarTest, CrossbarsInACycleEndWithoutHanging) {
  // a.in0 <- b.out0, b.in0 <- a.out0; a.out1 feeds the capture pin.
  CrossbarTestFilter* a = add(CrossbarTestFilter::Create(
      {{PhysConn_Video_VideoDecoder, -1}, {PhysConn_Video_Composite, -1}},
      {{PhysConn_Video_VideoDecoder, -1}, {PhysConn_Video_VideoDecoder, -1}}));
  CrossbarTestFilter* b = add(CrossbarTestFilter::Create({{PhysConn_Video_VideoDecoder, -1}},
                                                         {{PhysConn_Video_VideoDecoder, -1}}));
  connect(a->Output(1), &capture->input);
  connect(b->Output(0), a->Input(0));
  connect(a->Output(0), b->Input(0));

  HRESULT hr = E_UNEXPECTED;
  CCrossbar routes(&capture->input, &hr);
  EXPECT_EQ(hr, S_OK);
  // Only a's composite input is a real end; the loop through b leads nowhere.
  EXPECT_EQ(inputTypes(routes), (std::vector<long>{PhysConn_Video_Composite}));
}

TEST_F(CrossbarTest, InputNameIsTruncatedToTheBuffer) {
  CrossbarTestFilter* device = add(CrossbarTestFilter::CreateDeviceCrossbar());
  connect(device->Output(0), &capture->input);
  CCrossbar routes(&capture->input, nullptr);

  wchar_t name[6] = L"xxxxx";
  EXPECT_EQ(routes.GetInputName(1, name, 6), S_OK);
  EXPECT_STREQ(name, L"Video");
  EXPECT_EQ(routes.GetInputName(1, nullptr, 6), E_FAIL);
  EXPECT_EQ(routes.GetInputName(3, name, 6), E_FAIL);
  EXPECT_EQ(routes.GetInputName(1, name, 0), E_FAIL);
}

TEST_F(CrossbarTest, NullOutputsAreRefused) {
  CCrossbar routes(&capture->input, nullptr);
  EXPECT_EQ(routes.GetInputCount(nullptr), E_POINTER);
  EXPECT_EQ(routes.GetInputType(0, nullptr), E_POINTER);
  EXPECT_EQ(routes.GetInputIndex(nullptr), E_POINTER);
  HRESULT hr = S_OK;
  CCrossbar noPin(nullptr, &hr);
  EXPECT_EQ(hr, E_POINTER);
}

TEST_F(CrossbarTest, SavedRoutesHoldTheirCrossbarsUntilDestroyed) {
  CrossbarTestFilter* device = add(CrossbarTestFilter::CreateDeviceCrossbar());
  connect(device->Output(0), &capture->input);
  device->AddRef();
  const ULONG before = device->Release();
  {
    CCrossbar routes(&capture->input, nullptr);
    device->AddRef();
    EXPECT_EQ(device->Release(), before + 3);  // one per route
  }
  device->AddRef();
  EXPECT_EQ(device->Release(), before);
}

}  // namespace
}  // namespace kcm_test
