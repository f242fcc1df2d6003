// The sample render filter alone, its input pin fed by the harness's upstream test pin.
#include <gtest/gtest.h>

#include "ComConformance.h"
#include "FilterHarness.h"
#include "KestroSampleRenderFilter.h"
#include "KestroSampleSourceFilter.h"
#include "SampleSinkRecorder.h"
#include "StreamRecords.h"
#include "core/LogCapture.h"

using Kestro::makeFourCC;
using kcm_test::AudioRecord;
using kcm_test::FilterHarness;
using kcm_test::MakeMediaType;
using kcm_test::SampleSinkRecorder;
using kcm_test::VideoRecord;

namespace {

const char kRefusal[] = "failed to CSampleRenderFilter::CheckMediaType";

CMediaType VideoInfoType(const GUID& subtype, LONG width, LONG height, REFERENCE_TIME frameTime,
                         ULONG extraBytes = 0) {
  CMediaType type = MakeMediaType(MEDIATYPE_Video, subtype, FORMAT_VideoInfo, sizeof(VIDEOINFO) + extraBytes);
  auto* info = reinterpret_cast<VIDEOINFO*>(type.pbFormat);
  memset(info, 0, sizeof(VIDEOINFO));
  info->AvgTimePerFrame = frameTime;
  info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info->bmiHeader.biWidth = width;
  info->bmiHeader.biHeight = height;
  info->bmiHeader.biBitCount = 16;
  return type;
}

CMediaType PcmType(WORD channels, DWORD rate, WORD bits, ULONG extraBytes = 0) {
  CMediaType type = MakeMediaType(MEDIATYPE_Audio, MEDIASUBTYPE_PCM, FORMAT_WaveFormatEx, 18 + extraBytes);
  auto* format = reinterpret_cast<WAVEFORMATEX*>(type.pbFormat);
  format->wFormatTag = 1;
  format->nChannels = channels;
  format->nSamplesPerSec = rate;
  format->wBitsPerSample = bits;
  format->cbSize = static_cast<WORD>(extraBytes);
  return type;
}

CSampleRenderFilter* NewFilter() {
  HRESULT hr = S_OK;
  auto* filter = static_cast<CSampleRenderFilter*>(CSampleRenderFilter::CreateInstance(nullptr, &hr));
  EXPECT_EQ(hr, S_OK);
  filter->NonDelegatingAddRef();
  return filter;
}

struct RenderFilter : testing::Test {
  RenderFilter() : filter(NewFilter()), harness(filter) {}
  ~RenderFilter() override { filter->Release(); }

  void Preset(tagKestroStreamType record) { filter->put_KestroStreamType(record); }
  tagKestroStreamType Record() {
    tagKestroStreamType record;
    filter->get_KestroStreamType(record);
    return record;
  }
  HRESULT Check(const CMediaType& type) { return filter->CheckMediaType(&type); }
  // Connects upstream with `type` only and runs.
  HRESULT ConnectWith(const CMediaType& type) {
    harness.upstream().offered = {type};
    const HRESULT hr = harness.ConnectUpstream();
    if (SUCCEEDED(hr)) harness.Run();
    return hr;
  }

  CSampleRenderFilter* filter;
  FilterHarness harness;
  SampleSinkRecorder sink;
};

TEST(RenderFilterCom, AnswersItsInterfacesAndCountsReferences) {
  CSampleRenderFilter* filter = NewFilter();
  IUnknown* unknown = static_cast<IBaseFilter*>(filter);
  KCM_CHECK_INTERFACE(unknown, IID_IUnknown, true);
  KCM_CHECK_INTERFACE(unknown, IID_IBaseFilter, true);
  KCM_CHECK_INTERFACE(unknown, IID_IMediaFilter, true);
  KCM_CHECK_INTERFACE(unknown, IID_IPersist, true);
  KCM_CHECK_INTERFACE(unknown, IID_ISampleRender, true);
  KCM_CHECK_INTERFACE(unknown, IID_ISampleSource, false);
  KCM_CHECK_INTERFACE(unknown, IID_IMemInputPin, false);
  KCM_CHECK_IDENTITY(unknown, IID_ISampleRender);
  EXPECT_EQ(kcm_test::RefCount(unknown), 1u);

  CLSID clsid;
  filter->GetClassID(&clsid);
  EXPECT_EQ(clsid, CLSID_SampleRenderFilter);
  EXPECT_EQ(filter->GetPinCount(), 1);
  EXPECT_EQ(filter->GetPin(1), nullptr);
  LPWSTR id = nullptr;
  ASSERT_EQ(filter->GetPin(0)->QueryId(&id), S_OK);
  EXPECT_STREQ(id, L"Input");
  CoTaskMemFree(id);
  KCM_CHECK_INTERFACE(static_cast<IPin*>(filter->GetPin(0)), IID_IMemInputPin, true);
  EXPECT_EQ(filter->put_StreamIndex(3), S_OK);
  EXPECT_EQ(filter->Release(), 0u);
}

TEST(RenderFilterCom, AggregatesAndComesFromTheClassRegistry) {
  kcm_test::TestOuterUnknown outer;
  HRESULT hr = S_OK;
  IUnknown* inner = nullptr;
  ASSERT_EQ(kcm_createInstance(CSampleRenderFilter::CreateInstance(&outer, &hr), IID_IUnknown,
                               reinterpret_cast<void**>(&inner)),
            S_OK);
  ISampleRender* render = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_ISampleRender, reinterpret_cast<void**>(&render)), S_OK);
  EXPECT_EQ(outer.count, 2u);
  render->Release();
  EXPECT_EQ(inner->Release(), 0u);

  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  IBaseFilter* created = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_SampleRenderFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                             reinterpret_cast<void**>(&created)),
            S_OK);
  EXPECT_EQ(created->Release(), 0u);
  CoUninitialize();
}

TEST_F(RenderFilter, WithoutARecordTakesAnyConnectionAndDescribesIt) {
  EXPECT_EQ(Record().valid, 0u);
  ASSERT_EQ(ConnectWith(VideoInfoType(MEDIASUBTYPE_YUY2, 320, 240, 333333, 12)), S_OK);
  const tagKestroStreamType record = Record();
  EXPECT_EQ(record.valid, 1u);
  EXPECT_EQ(record.mediaKind, 1u);
  EXPECT_EQ(record.streamKind, 1u);
  EXPECT_EQ(record.fourCC, makeFourCC("YUY2"));
  EXPECT_EQ(record.videoInfo.AvgTimePerFrame, 333333);
  EXPECT_EQ(record.videoInfo.bmiHeader.biWidth, 320);
  EXPECT_EQ(record.videoInfo.bmiHeader.biHeight, 240);
  EXPECT_EQ(record.videoInfo.dwBitRate, 0u) << "only the frame time and the bitmap header are taken";
  EXPECT_EQ(record.extraDataSize, 12u);
  EXPECT_EQ(record.extraData[0], static_cast<uint8_t>(sizeof(VIDEOINFO)));
}

TEST_F(RenderFilter, KeepsAudioExtraDataOnlyWhenItFits) {
  const CMediaType fits = PcmType(2, 44100, 16, 383), tooLarge = PcmType(2, 44100, 16, 400);
  ASSERT_EQ(filter->SetMediaType(&fits), S_OK);
  EXPECT_EQ(Record().extraDataSize, 383u);
  ASSERT_EQ(filter->SetMediaType(&tooLarge), S_OK);
  const tagKestroStreamType record = Record();
  EXPECT_EQ(record.extraDataSize, 0u);
  EXPECT_EQ(record.fourCC, makeFourCC("araw"));
  EXPECT_EQ(record.waveFormat.nSamplesPerSec, 44100u);
  EXPECT_EQ(record.waveFormat.cbSize, 400);
}

TEST_F(RenderFilter, RefusesToDescribeAStreamNeitherVideoNorAudio) {
  const CMediaType stream = MakeMediaType(MEDIATYPE_Stream, MEDIASUBTYPE_MPEG2_TRANSPORT);
  EXPECT_EQ(ConnectWith(stream), VFW_E_NO_ACCEPTABLE_TYPES);
  EXPECT_EQ(filter->SetMediaType(&stream), E_FAIL);
  const tagKestroStreamType record = Record();
  EXPECT_EQ(record.valid, 1u);
  EXPECT_EQ(record.mediaKind, 0u);
  EXPECT_EQ(record.fourCC, makeFourCC("mp2t"));
  EXPECT_EQ(record.videoInfo.bmiHeader.biSize, 0u);
}

TEST_F(RenderFilter, APresetVideoRecordRefusesOtherPictureSizes) {
  Preset(VideoRecord(makeFourCC("YUY2"), 640, 480, 0));
  kcm_test::LogCapture log;
  EXPECT_EQ(filter->CheckMediaType(nullptr), E_POINTER);
  EXPECT_EQ(Check(VideoInfoType(MEDIASUBTYPE_RGB24, 640, 480, 0)), S_OK) << "the subtype is not compared";
  EXPECT_EQ(Check(PcmType(2, 44100, 16)), E_INVALIDARG);
  EXPECT_EQ(Check(MakeMediaType(MEDIATYPE_Video, MEDIASUBTYPE_YUY2)), E_INVALIDARG) << "no format block";
  EXPECT_EQ(log.Count(kRefusal), 0);
  const CMediaType small = VideoInfoType(MEDIASUBTYPE_YUY2, 320, 240, 0);
  EXPECT_EQ(harness.ConnectUpstream(&small), VFW_E_TYPE_NOT_ACCEPTED);
  EXPECT_EQ(log.Count(kRefusal), 1) << "one debug line for the one proposal";
  EXPECT_EQ(log.Count("src\\SampleRenderFilter"), 1);
  EXPECT_EQ(Record().videoInfo.bmiHeader.biWidth, 640) << "a refused connection leaves the record alone";
}

TEST_F(RenderFilter, APresetAudioRecordWantsFixedSizePcmOfItsNumbers) {
  Preset(AudioRecord(makeFourCC("araw"), 2, 48000, 16, 192000));
  kcm_test::LogCapture log;
  EXPECT_EQ(Check(PcmType(2, 48000, 16)), S_OK);
  CMediaType variable = PcmType(2, 48000, 16);
  variable.SetVariableSize();
  EXPECT_EQ(Check(variable), E_INVALIDARG);
  CMediaType floats = PcmType(2, 48000, 16);
  floats.SetSubtype(&MEDIASUBTYPE_IEEE_FLOAT);
  EXPECT_EQ(Check(floats), E_INVALIDARG);
  EXPECT_EQ(log.Count(kRefusal), 0);
  EXPECT_EQ(Check(PcmType(2, 44100, 16)), E_INVALIDARG);
  EXPECT_EQ(Check(PcmType(2, 48000, 8)), E_INVALIDARG);
  EXPECT_EQ(log.Count(kRefusal), 2);
}

TEST_F(RenderFilter, HandsEverySampleToTheSinkWithTheRecordAndIndex) {
  filter->put_SampleRenderSink(&sink);
  filter->put_SourceIndex(7);
  ASSERT_EQ(ConnectWith(VideoInfoType(MEDIASUBTYPE_YUY2, 16, 16, 400000)), S_OK);
  ASSERT_EQ(harness.Push({1, 2, 3}, 100, 200), S_OK);
  sink.answer = S_FALSE;
  EXPECT_EQ(harness.Push({4}, -1, -1, false), S_FALSE) << "the sink's answer is the pin's";
  const std::vector<kcm_test::RenderedSample> received = sink.Received();
  ASSERT_EQ(received.size(), 2u);
  ISampleRender* render = filter;
  EXPECT_EQ(received[0].render, render);
  EXPECT_EQ(received[0].mediaKind, 1);
  EXPECT_EQ(received[0].sourceIndex, 7);
  EXPECT_EQ(received[0].streamType.fourCC, makeFourCC("YUY2"));
  EXPECT_EQ(received[0].bytes, (std::vector<BYTE>{1, 2, 3}));
  EXPECT_EQ(received[0].start, 100);
  EXPECT_EQ(received[0].end, 200);
  EXPECT_EQ(received[1].bytes, std::vector<BYTE>{4});
}

TEST_F(RenderFilter, ReceivesWithoutSinkAndWithoutTheBasePinsChecks) {
  ASSERT_EQ(ConnectWith(VideoInfoType(MEDIASUBTYPE_YUY2, 16, 16, 0)), S_OK);
  EXPECT_EQ(harness.Push({1}), S_OK) << "no sink: dropped";
  IMediaSample* sample = nullptr;
  ASSERT_EQ(harness.upstream().GetDeliveryBuffer(&sample, nullptr, nullptr, 0), S_OK);
  harness.Stop();
  filter->put_SampleRenderSink(&sink);
  IMemInputPin* input = nullptr;
  ASSERT_EQ(filter->GetPin(0)->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input)), S_OK);
  EXPECT_EQ(input->Receive(sample), S_OK) << "a stopped filter still renders";
  EXPECT_EQ(sink.Received().size(), 1u);
  input->Release();
  sample->Release();
}

}  // namespace
