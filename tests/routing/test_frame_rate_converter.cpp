// The frame-rate converter inserted into a real graph with the DMO wrapper filter, and the
// converter DMO on its own.
#include <gtest/gtest.h>

#include <string.h>

#include <vector>

#include "KestroCommonUtil.h"
#include "KestroDShowGraphBase.h"
#include "KestroSampleRenderFilter.h"
#include "KestroSampleSourceFilter.h"
#include "LogCapture.h"
#include "media/ComConformance.h"
#include "control.h"
#include "dmodshow.h"
#include "media/SampleSinkRecorder.h"
#include "media/SourceRenderGraph.h"
#include "media/StreamRecords.h"
#include "wmcodecdsp.h"

using Kestro::makeFourCC;

namespace kcm_test {
namespace {

using kcm_test::Create;
using kcm_test::Query;

const LONG kWidth = 32;
const LONG kHeight = 16;
const DWORD kFrameBytes = kWidth * kHeight * 2;
const REFERENCE_TIME k25fps = 400000;
const REFERENCE_TIME k30fps = 333333;

std::vector<BYTE> Frame(int index) { return std::vector<BYTE>(kFrameBytes, static_cast<BYTE>(index + 1)); }

struct RateConverterGraph : testing::Test, SourceRenderGraph {
  RateConverterGraph() : SourceRenderGraph(VideoRecord(makeFourCC("YUY2"), kWidth, kHeight, kFrameBytes, k25fps)) {}
  // The graph holds the converter too, and stops it when the base goes.
  ~RateConverterGraph() override {
    if (fpsFilter != nullptr) fpsFilter->Release();
  }

  HRESULT AddConverter(IBaseFilter* inputFilter) {
    return KestroCommonUtil::addFrameRateConnvertorFilter(makeFourCC("YUY2"), record.videoInfo, k30fps, graph,
                                                          inputFilter, &fpsFilter, mtOut);
  }

  // The converter's rate property as (numerator, denominator).
  std::pair<ULONG, ULONG> Rate(REFPROPERTYKEY key) {
    IPropertyStore* store = Query<IPropertyStore>(fpsFilter, IID_IPropertyStore);
    PROPVARIANT value;
    EXPECT_EQ(store->GetValue(key, &value), S_OK);
    store->Release();
    EXPECT_EQ(value.vt, VT_UI8);
    return {value.uhVal.HighPart, value.uhVal.LowPart};
  }

  bool ConverterInGraph() {
    IBaseFilter* found = nullptr;
    if (graph->FindFilterByName(L"Video FrameRateConvert Filter", &found) != S_OK) return false;
    found->Release();
    return true;
  }

  IBaseFilter* fpsFilter = nullptr;
  CMediaType mtOut;
};

TEST_F(RateConverterGraph, TwentyFiveFramesPerSecondLeaveAtThirtyWithRepeatedFrames) {
  ASSERT_EQ(AddConverter(sourceFilter), S_OK);
  ASSERT_EQ(CDShowGraphBase::ConnectFilters(graph, fpsFilter, renderFilter), S_OK);
  ASSERT_EQ(control->Run(), S_OK);
  for (int index = 0; index < 10; ++index) {
    const std::vector<BYTE> frame = Frame(index);
    ASSERT_EQ(source->streamOutData(0, index * k25fps, (index + 1) * k25fps, const_cast<BYTE*>(frame.data()),
                                    kFrameBytes),
              S_OK);
  }
  // Slots before the last frame's start (3.6 s) are settled: 0, 1/30 s, ... 10/30 s.
  ASSERT_TRUE(sink.WaitFor(11));
  const std::vector<RenderedSample> received = sink.Received();
  ASSERT_EQ(received.size(), 11u);
  const int shown[] = {0, 0, 1, 2, 3, 4, 4, 5, 6, 7, 8};
  for (int slot = 0; slot < 11; ++slot) {
    SCOPED_TRACE(slot);
    EXPECT_EQ(received[slot].start, slot * k30fps);
    EXPECT_EQ(received[slot].end, (slot + 1) * k30fps);
    EXPECT_EQ(received[slot].bytes, Frame(shown[slot]));
    EXPECT_EQ(received[slot].streamType.videoInfo.AvgTimePerFrame, k30fps);
  }
}

TEST_F(RateConverterGraph, RatePropertiesCarryTenMillionOverTheFrameDurations) {
  ASSERT_EQ(AddConverter(sourceFilter), S_OK);
  EXPECT_EQ(Rate(MFPKEY_CONV_INPUTFRAMERATE), (std::pair<ULONG, ULONG>(10000000, 400000)));
  EXPECT_EQ(Rate(MFPKEY_CONV_OUTPUTFRAMERATE), (std::pair<ULONG, ULONG>(10000000, 333333)));
  const VIDEOINFO* output = reinterpret_cast<const VIDEOINFO*>(mtOut.Format());
  EXPECT_EQ(mtOut.FormatLength(), sizeof(VIDEOINFO));
  EXPECT_EQ(output->AvgTimePerFrame, k30fps);
  EXPECT_EQ(*mtOut.Subtype(), MEDIASUBTYPE_YUY2);
  EXPECT_EQ(mtOut.GetSampleSize(), kFrameBytes);
}

TEST_F(RateConverterGraph, WithoutInputFilterTheConverterIsAddedUnconnected) {
  ASSERT_EQ(AddConverter(nullptr), S_OK);
  ASSERT_NE(fpsFilter, nullptr);
  EXPECT_TRUE(ConverterInGraph());
  IEnumPins* pins = nullptr;
  ASSERT_EQ(fpsFilter->EnumPins(&pins), S_OK);
  IPin* pin = nullptr;
  int count = 0;
  while (pins->Next(1, &pin, nullptr) == S_OK) {
    IPin* peer = nullptr;
    EXPECT_EQ(pin->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
    pin->Release();
    ++count;
  }
  pins->Release();
  EXPECT_EQ(count, 2);
}

TEST_F(RateConverterGraph, AnInputFilterWithAllOutputsConnectedFailsAfterTheConverterWasAdded) {
  ASSERT_EQ(CDShowGraphBase::ConnectFilters(graph, sourceFilter, renderFilter), S_OK);
  LogCapture log;
  EXPECT_EQ(AddConverter(sourceFilter), E_POINTER);
  EXPECT_EQ(fpsFilter, nullptr);
  EXPECT_TRUE(ConverterInGraph());
  EXPECT_EQ(log.Count("hr = ConnectFilters(graphBuilder, inputFilter, fpsFilter)"), 1);
  EXPECT_GE(log.Count("src\\KestroCommonUtil"), 1);
}

TEST(DmoWrapperFilter, RefusesDmosOutsideTheirCategoryAndLogsTheInit) {
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  CDShowGraphBase graphBase;
  LogCapture log;
  IBaseFilter* wrapper = nullptr;
  EXPECT_EQ(graphBase.createDMOWrapperFilter(CLSID_CFrameRateConvertDmo, DMOCATEGORY_AUDIO_EFFECT, &wrapper),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(wrapper, nullptr);
  EXPECT_EQ(log.Count("hr = pDMOWrapperFilter->Init(clsidDMO, catDMO)"), 1);

  ASSERT_EQ(graphBase.createDMOWrapperFilter(CLSID_CFrameRateConvertDmo, DMOCATEGORY_VIDEO_EFFECT, &wrapper), S_OK);
  // The hosted DMO is aggregated: its interfaces lead back to the filter.
  IMediaObject* dmo = Query<IMediaObject>(wrapper, IID_IMediaObject);
  IBaseFilter* back = Query<IBaseFilter>(dmo, IID_IBaseFilter);
  EXPECT_EQ(back, wrapper);
  IDMOWrapperFilter* init = Query<IDMOWrapperFilter>(wrapper, IID_IDMOWrapperFilter);
  EXPECT_EQ(init->Init(CLSID_CFrameRateConvertDmo, DMOCATEGORY_VIDEO_EFFECT), E_UNEXPECTED);
  init->Release();
  back->Release();
  dmo->Release();
  EXPECT_EQ(wrapper->Release(), 0u);
  CoUninitialize();
}

// A plain memory buffer handed to the DMO directly.
class MemoryBuffer : public IMediaBuffer {
 public:
  explicit MemoryBuffer(std::vector<BYTE> bytes, DWORD maxLength = kFrameBytes)
      : bytes_(std::move(bytes)), length_(static_cast<DWORD>(bytes_.size())) {
    bytes_.resize(maxLength);
  }
  STDMETHODIMP QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP SetLength(DWORD length) override {
    length_ = length;
    return S_OK;
  }
  STDMETHODIMP GetMaxLength(DWORD* maxLength) override {
    *maxLength = static_cast<DWORD>(bytes_.size());
    return S_OK;
  }
  STDMETHODIMP GetBufferAndLength(BYTE** buffer, DWORD* length) override {
    if (buffer != nullptr) *buffer = bytes_.data();
    if (length != nullptr) *length = length_;
    return S_OK;
  }
  BYTE First() const { return bytes_[0]; }

 private:
  std::vector<BYTE> bytes_;
  DWORD length_;
};

struct ConverterDmo : testing::Test {
  ConverterDmo() {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    dmo = Create<IMediaObject>(CLSID_CFrameRateConvertDmo, IID_IMediaObject);
    tagKestroStreamType record = VideoRecord(makeFourCC("YUY2"), kWidth, kHeight, kFrameBytes, k30fps);
    CMediaType type;
    type.SetType(&MEDIATYPE_Video);
    type.SetSubtype(&MEDIASUBTYPE_YUY2);
    type.SetFormatType(&FORMAT_VideoInfo);
    type.SetFormat(reinterpret_cast<const BYTE*>(&record.videoInfo), sizeof(VIDEOINFO));
    type.SetSampleSize(kFrameBytes);
    EXPECT_EQ(dmo->SetInputType(0, &type, 0), S_OK);
    reinterpret_cast<VIDEOINFO*>(type.Format())->AvgTimePerFrame = k25fps;
    EXPECT_EQ(dmo->SetOutputType(0, &type, 0), S_OK);
  }
  ~ConverterDmo() override {
    dmo->Release();
    CoUninitialize();
  }

  HRESULT Input(int index, REFERENCE_TIME start) {
    MemoryBuffer buffer(Frame(index));
    return dmo->ProcessInput(0, &buffer, DMO_INPUT_DATA_BUFFERF_TIME | DMO_INPUT_DATA_BUFFERF_TIMELENGTH, start,
                             k30fps);
  }

  // Every output ready now, as (first byte, start).
  std::vector<std::pair<int, REFERENCE_TIME>> Outputs() {
    std::vector<std::pair<int, REFERENCE_TIME>> outputs;
    for (;;) {
      MemoryBuffer buffer({}, kFrameBytes);
      DMO_OUTPUT_DATA_BUFFER output = {&buffer, 0, 0, 0};
      DWORD status = 0;
      if (dmo->ProcessOutput(0, 1, &output, &status) != S_OK) return outputs;
      outputs.emplace_back(buffer.First() - 1, output.rtTimestamp);
    }
  }

  IMediaObject* dmo = nullptr;
};

TEST_F(ConverterDmo, ThirtyToTwentyFiveDropsFramesAndTheEndOfStreamDrainsTheLast) {
  std::vector<std::pair<int, REFERENCE_TIME>> outputs;
  for (int index = 0; index < 7; ++index) {
    ASSERT_EQ(Input(index, index * k30fps), S_OK);
    for (const auto& output : Outputs()) outputs.push_back(output);
  }
  EXPECT_EQ(outputs.size(), 5u);
  ASSERT_EQ(dmo->Discontinuity(0), S_OK);
  for (const auto& output : Outputs()) outputs.push_back(output);
  // Slots of 40 ms over seven frames of 1/30 s: frame 5 (at 1.667 s) is never shown, frame
  // 6 (at 2.0 s) only comes out at the end of the stream.
  const std::vector<std::pair<int, REFERENCE_TIME>> expected = {
      {0, 0}, {1, k25fps}, {2, 2 * k25fps}, {3, 3 * k25fps}, {4, 4 * k25fps}, {6, 5 * k25fps}};
  EXPECT_EQ(outputs, expected);
  DWORD status = 0;
  EXPECT_EQ(dmo->GetInputStatus(0, &status), S_OK);
  EXPECT_EQ(status, static_cast<DWORD>(DMO_INPUT_STATUSF_ACCEPT_DATA));
}

TEST_F(ConverterDmo, RefusesInputWhileOutputIsPendingAndForgetsItOnFlush) {
  ASSERT_EQ(Input(0, 0), S_OK);
  ASSERT_EQ(Input(1, 10 * k30fps), S_OK);  // ends frame 0's slots: output pending
  DWORD status = 0;
  EXPECT_EQ(dmo->GetInputStatus(0, &status), S_OK);
  EXPECT_EQ(status, 0u);
  EXPECT_EQ(Input(2, 11 * k30fps), DMO_E_NOTACCEPTING);
  ASSERT_EQ(dmo->Flush(), S_OK);
  EXPECT_TRUE(Outputs().empty());
  // A new grid starts at the next frame's time.
  ASSERT_EQ(Input(3, 5000000), S_OK);
  ASSERT_EQ(Input(4, 5000000 + k25fps), S_OK);
  EXPECT_EQ(Outputs(), (std::vector<std::pair<int, REFERENCE_TIME>>{{3, 5000000}}));
}

TEST_F(ConverterDmo, AcceptsOnlyTypesShowingTheSamePictures) {
  CMediaType other;
  ASSERT_EQ(dmo->GetOutputCurrentType(0, &other), S_OK);
  reinterpret_cast<VIDEOINFO*>(other.Format())->bmiHeader.biWidth = kWidth * 2;
  EXPECT_EQ(dmo->SetOutputType(0, &other, DMO_SET_TYPEF_TEST_ONLY), DMO_E_TYPE_NOT_ACCEPTED);
  other.SetFormatType(&GUID_NULL);
  EXPECT_EQ(dmo->SetInputType(0, &other, 0), DMO_E_TYPE_NOT_ACCEPTED);
  EXPECT_EQ(dmo->SetInputType(1, &other, 0), DMO_E_INVALIDSTREAMINDEX);
}

}  // namespace
}  // namespace kcm_test
