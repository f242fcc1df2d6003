// The sample source filter alone, its output pin connected to the harness's downstream
// test pin.
#include <gtest/gtest.h>
#include <stddef.h>

#include "ComConformance.h"
#include "FilterHarness.h"
#include "KestroMediaMemPool.h"
#include "KestroSampleSourceFilter.h"
#include "StreamRecords.h"
#include "core/LogCapture.h"
#include "dvdmedia.h"

using Kestro::makeFourCC;
using kcm_test::AudioRecord;
using kcm_test::FilterHarness;
using kcm_test::VideoRecord;

namespace {

const char kRefusal[] = "failed to CSampleSourceStream::CheckMediaType";

// A FORMAT_VideoInfo type of the given picture, as a downstream pin would propose it.
CMediaType VideoType(const GUID& subtype, LONG width, LONG height, DWORD sizeImage) {
  VIDEOINFO info;
  memset(&info, 0, sizeof(info));
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biSizeImage = sizeImage;
  CMediaType type(&MEDIATYPE_Video);
  type.SetSubtype(&subtype);
  type.SetFormatType(&FORMAT_VideoInfo);
  type.SetFormat(reinterpret_cast<BYTE*>(&info), sizeof(info));
  return type;
}

CMediaType PcmType(WORD channels, DWORD rate, WORD bits) {
  WAVEFORMATEX format;
  memset(&format, 0, sizeof(format));
  format.wFormatTag = 1;
  format.nChannels = channels;
  format.nSamplesPerSec = rate;
  format.wBitsPerSample = bits;
  CMediaType type(&MEDIATYPE_Audio);
  type.SetSubtype(&MEDIASUBTYPE_PCM);
  type.SetFormatType(&FORMAT_WaveFormatEx);
  type.SetFormat(reinterpret_cast<BYTE*>(&format), sizeof(format));
  return type;
}

std::vector<BYTE> Frame(size_t size, BYTE seed) {
  std::vector<BYTE> frame(size);
  for (size_t index = 0; index < size; ++index) frame[index] = static_cast<BYTE>(seed + index);
  return frame;
}

// Destroys an object nobody holds a reference to yet.
void Destroy(CUnknown* object) {
  object->NonDelegatingAddRef();
  object->NonDelegatingRelease();
}

// A new filter with one reference, the test's.
CSampleSourceFilter* NewFilter() {
  HRESULT hr = S_OK;
  auto* filter = static_cast<CSampleSourceFilter*>(CSampleSourceFilter::CreateInstance(nullptr, &hr));
  EXPECT_EQ(hr, S_OK);
  filter->NonDelegatingAddRef();
  return filter;
}

struct SourceFilter : testing::Test {
  SourceFilter() : filter(NewFilter()), harness(filter) {}
  ~SourceFilter() override { filter->Release(); }

  CSampleSourceStream& stream() { return *static_cast<CSampleSourceStream*>(filter->GetPin(0)); }
  void Set(tagKestroStreamType record) { filter->set_KestroStreamType(record); }
  HRESULT Check(const CMediaType& type) { return stream().CheckMediaType(&type); }
  // Connected to the downstream test pin with `record`, and running.
  void Stream(tagKestroStreamType record) {
    Set(record);
    ASSERT_EQ(harness.ConnectDownstream(), S_OK);
    ASSERT_EQ(harness.Run(), S_OK);
  }
  ALLOCATOR_PROPERTIES Granted() {
    ALLOCATOR_PROPERTIES properties{};
    harness.downstream().Allocator()->GetProperties(&properties);
    return properties;
  }

  CSampleSourceFilter* filter;
  FilterHarness harness;
  const tagKestroStreamType yuy2 = VideoRecord(makeFourCC("YUY2"), 64, 48, 64 * 48 * 2);
};

TEST(SourceFilterCom, AnswersItsInterfacesAndCountsReferences) {
  CSampleSourceFilter* filter = NewFilter();
  IUnknown* unknown = static_cast<IBaseFilter*>(filter);
  KCM_CHECK_INTERFACE(unknown, IID_IUnknown, true);
  KCM_CHECK_INTERFACE(unknown, IID_IBaseFilter, true);
  KCM_CHECK_INTERFACE(unknown, IID_IMediaFilter, true);
  KCM_CHECK_INTERFACE(unknown, IID_IPersist, true);
  KCM_CHECK_INTERFACE(unknown, IID_ISampleSource, true);
  KCM_CHECK_INTERFACE(unknown, IID_IPin, false);
  KCM_CHECK_INTERFACE(unknown, IID_IMemInputPin, false);
  KCM_CHECK_IDENTITY(unknown, IID_ISampleSource);
  EXPECT_EQ(kcm_test::RefCount(unknown), 1u);

  CLSID clsid;
  filter->GetClassID(&clsid);
  EXPECT_EQ(clsid, CLSID_SampleSourceFilter);
  EXPECT_EQ(filter->GetPinCount(), 1);
  EXPECT_EQ(filter->GetPin(1), nullptr);
  LPWSTR id = nullptr;
  ASSERT_EQ(filter->GetPin(0)->QueryId(&id), S_OK);
  EXPECT_STREQ(id, L"SampleSourceStream");
  CoTaskMemFree(id);
  PIN_DIRECTION direction;
  filter->GetPin(0)->QueryDirection(&direction);
  EXPECT_EQ(direction, PINDIR_OUTPUT);
  EXPECT_EQ(filter->Release(), 0u);
}

TEST(SourceFilterCom, AggregatesUnderAnOuterObject) {
  kcm_test::TestOuterUnknown outer;
  HRESULT hr = S_OK;
  CUnknown* inner = CSampleSourceFilter::CreateInstance(&outer, &hr);
  IUnknown* innerUnknown = nullptr;
  ASSERT_EQ(kcm_createInstance(inner, IID_IUnknown, reinterpret_cast<void**>(&innerUnknown)), S_OK);
  outer.inner = innerUnknown;
  ISampleSource* source = nullptr;
  ASSERT_EQ(innerUnknown->QueryInterface(IID_ISampleSource, reinterpret_cast<void**>(&source)), S_OK);
  EXPECT_EQ(outer.count, 2u) << "the interface's reference is the outer object's";
  IUnknown* viaSource = nullptr;
  source->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&viaSource));
  EXPECT_EQ(viaSource, static_cast<IUnknown*>(&outer));
  viaSource->Release();
  source->Release();
  EXPECT_EQ(innerUnknown->Release(), 0u);
}

TEST(SourceFilterCom, CreateInstanceHandsOutOneReferenceAndRefusesNulls) {
  HRESULT hr = S_OK;
  CUnknown* object = CSampleSourceFilter::CreateInstance(nullptr, &hr);
  void* answer = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(kcm_createInstance(nullptr, IID_IBaseFilter, &answer), E_POINTER);
  EXPECT_EQ(answer, nullptr);
  EXPECT_EQ(kcm_createInstance(object, IID_IBaseFilter, nullptr), E_POINTER);
  IBaseFilter* filter = nullptr;
  ASSERT_EQ(kcm_createInstance(object, IID_IBaseFilter, reinterpret_cast<void**>(&filter)), S_OK);
  EXPECT_EQ(filter->Release(), 0u) << "exactly one reference";
  // A refused query leaves nobody holding the object: it is gone (ASan would see a leak).
  EXPECT_EQ(kcm_createInstance(CSampleSourceFilter::CreateInstance(nullptr, &hr), IID_IMemInputPin, &answer),
            E_NOINTERFACE);
  EXPECT_EQ(answer, nullptr);
}

TEST(SourceFilterCom, CoCreateInstanceFindsTheClass) {
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  ISampleSource* source = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_SampleSourceFilter, nullptr, CLSCTX_INPROC_SERVER, IID_ISampleSource,
                             reinterpret_cast<void**>(&source)),
            S_OK);
  EXPECT_EQ(source->Release(), 0u);
  CoUninitialize();
}

TEST(SourceFilterCom, AStreamFactoryMakesThePin) {
  static CSampleSourceFilter* seenFilter;
  static std::wstring seenName;
  const SampleSourceStreamFactory factory = [](HRESULT* phr, CSampleSourceFilter* filter, LPCWSTR name) {
    seenFilter = filter;
    seenName = name;
    return new CSampleSourceStream(phr, filter, name);
  };
  HRESULT hr = S_OK;
  CUnknown* object = CSampleSourceFilter::CreateInstance(nullptr, &hr, factory);
  EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(static_cast<CUnknown*>(seenFilter), object);
  EXPECT_EQ(seenName, L"SampleSourceStream");
  Destroy(object);

  const SampleSourceStreamFactory failing = [](HRESULT*, CSampleSourceFilter*, LPCWSTR) {
    return static_cast<CSampleSourceStream*>(nullptr);
  };
  object = CSampleSourceFilter::CreateInstance(nullptr, &hr, failing);
  EXPECT_EQ(hr, E_OUTOFMEMORY);
  ASSERT_NE(object, nullptr) << "the filter is returned without its pin";
  auto* pinless = static_cast<CSampleSourceFilter*>(object);
  EXPECT_EQ(pinless->GetPin(0), nullptr);
  EXPECT_EQ(pinless->streamOutData(0, 0, 0, nullptr, 0), E_UNEXPECTED);
  Destroy(object);
}

TEST_F(SourceFilter, OffersTheRecordsRawVideoTwice) {
  Set(yuy2);
  CMediaType first, second, third;
  ASSERT_EQ(stream().GetMediaType(0, &first), S_OK);
  ASSERT_EQ(stream().GetMediaType(1, &second), S_OK);
  EXPECT_EQ(stream().GetMediaType(2, &third), VFW_S_NO_MORE_ITEMS);
  EXPECT_EQ(stream().GetMediaType(-1, &third), E_INVALIDARG);
  EXPECT_TRUE(first == second);
  EXPECT_EQ(first.majortype, MEDIATYPE_Video);
  EXPECT_EQ(first.subtype, MEDIASUBTYPE_YUY2);
  EXPECT_EQ(first.formattype, FORMAT_VideoInfo);
  EXPECT_FALSE(first.bTemporalCompression);
  EXPECT_TRUE(first.bFixedSizeSamples);
  EXPECT_EQ(first.lSampleSize, 64u * 48 * 2);
  ASSERT_EQ(first.cbFormat, sizeof(VIDEOINFO));
  EXPECT_EQ(memcmp(first.pbFormat, &yuy2.videoInfo, sizeof(VIDEOINFO)), 0) << "the record's whole VIDEOINFO";
}

TEST_F(SourceFilter, OffersCompressedVideoAsMpeg2VideoWithTheSequenceHeader) {
  tagKestroStreamType h264 = VideoRecord(makeFourCC("h264"), 1280, 720, 123456);
  h264.videoInfo.rcSource = RECT{0, 0, 1280, 720};
  h264.videoInfo.dwBitRate = 4000000;
  h264.extraDataSize = 10;
  for (int index = 0; index < 10; ++index) h264.extraData[index] = static_cast<uint8_t>(0xA0 + index);
  filter->set_KestroStreamType(h264);
  CMediaType offered;
  ASSERT_EQ(stream().GetMediaType(0, &offered), S_OK);
  EXPECT_EQ(offered.subtype.Data1, makeFourCC("h264"));
  EXPECT_TRUE(offered.bTemporalCompression);
  EXPECT_EQ(offered.formattype, FORMAT_MPEG2Video);
  ASSERT_EQ(offered.cbFormat, 136u + 10);
  const auto* info = reinterpret_cast<const MPEG2VIDEOINFO*>(offered.pbFormat);
  EXPECT_EQ(info->hdr.rcSource.right, 1280);
  EXPECT_EQ(info->hdr.dwBitRate, 4000000u);
  EXPECT_EQ(info->hdr.AvgTimePerFrame, 400000);
  EXPECT_EQ(info->hdr.bmiHeader.biWidth, 1280);
  EXPECT_EQ(info->hdr.bmiHeader.biSizeImage, 0u);
  EXPECT_EQ(info->cbSequenceHeader, 10u);
  EXPECT_EQ(offered.pbFormat[132], 0xA0);
  EXPECT_EQ(offered.pbFormat[141], 0xA9);
}

TEST_F(SourceFilter, OffersAudioWithItsOwnBlockArithmetic) {
  tagKestroStreamType pcm = AudioRecord(makeFourCC("araw"), 2, 44100, 16, 0);
  pcm.extraDataSize = 2;
  filter->set_KestroStreamType(pcm);
  CMediaType offered;
  ASSERT_EQ(stream().GetMediaType(0, &offered), S_OK);
  EXPECT_EQ(offered.majortype, MEDIATYPE_Audio);
  EXPECT_EQ(offered.subtype, MEDIASUBTYPE_PCM);
  EXPECT_EQ(offered.formattype, FORMAT_WaveFormatEx);
  ASSERT_EQ(offered.cbFormat, 18u + 2);
  const auto* format = reinterpret_cast<const WAVEFORMATEX*>(offered.pbFormat);
  EXPECT_EQ(format->nBlockAlign, 4);
  EXPECT_EQ(format->nAvgBytesPerSec, 176400u) << "computed, not the record's 0";
  EXPECT_EQ(format->cbSize, 2);

  tagKestroStreamType unknown = pcm;
  unknown.mediaKind = AMTYPE_Unknown;
  filter->set_KestroStreamType(unknown);
  EXPECT_EQ(stream().GetMediaType(0, &offered), E_FAIL);
}

TEST_F(SourceFilter, AcceptsAVideoProposalOfTheRightSizeWhateverItsSubtype) {
  Set(yuy2);
  const CMediaType rgb = VideoType(MEDIASUBTYPE_RGB32, 64, 48, 64 * 48 * 2);
  harness.downstream().offered = {rgb};
  ASSERT_EQ(harness.ConnectDownstream(), S_OK);
  EXPECT_TRUE(harness.downstream().ConnectionType() == rgb) << "downstream's proposal comes first";
}

TEST_F(SourceFilter, RefusesVideoThatDoesNotMatchTheRecord) {
  Set(yuy2);
  EXPECT_EQ(stream().CheckMediaType(nullptr), E_POINTER);
  kcm_test::LogCapture log;
  EXPECT_EQ(Check(VideoType(MEDIASUBTYPE_YUY2, 64, 48, 64 * 48 * 2)), S_OK);
  const CMediaType audio = PcmType(2, 44100, 16);
  EXPECT_EQ(Check(audio), E_INVALIDARG);
  EXPECT_EQ(log.Count(kRefusal), 0) << "a refused kind is not logged";
  EXPECT_EQ(Check(VideoType(MEDIASUBTYPE_YUY2, 32, 48, 64 * 48 * 2)), E_INVALIDARG);
  EXPECT_EQ(log.Count(kRefusal), 1);
  EXPECT_EQ(Check(VideoType(MEDIASUBTYPE_YUY2, 64, 48, 1)), E_INVALIDARG);
  EXPECT_EQ(log.Count(kRefusal), 2) << "raw video must match the image size too";
  EXPECT_EQ(log.Count("src\\SampleSourceFilter"), 2);
}

TEST_F(SourceFilter, RefusesAudioThatDoesNotMatchTheRecord) {
  Set(AudioRecord(makeFourCC("araw"), 2, 48000, 16, 192000));
  kcm_test::LogCapture log;
  EXPECT_EQ(Check(PcmType(2, 48000, 16)), S_OK);
  CMediaType variable = PcmType(2, 48000, 16);
  variable.SetVariableSize();
  EXPECT_EQ(Check(variable), E_INVALIDARG) << "raw audio comes in fixed-size samples";
  EXPECT_EQ(log.Count(kRefusal), 0);
  EXPECT_EQ(Check(PcmType(1, 48000, 16)), E_INVALIDARG);
  EXPECT_EQ(log.Count(kRefusal), 1);

  Set(AudioRecord(makeFourCC("mp3 "), 2, 48000, 16, 0));
  variable.SetSubtype(&MEDIASUBTYPE_MPEG1Packet);
  EXPECT_EQ(Check(variable), S_OK) << "compressed audio: any subtype, any sample size";
}

TEST_F(SourceFilter, AsksForFourVideoBuffersSizedByTheRecord) {
  Set(VideoRecord(makeFourCC("YUY2"), 640, 480, 0));
  ASSERT_EQ(harness.ConnectDownstream(), S_OK);
  EXPECT_EQ(Granted().cBuffers, 4);
  EXPECT_EQ(Granted().cbBuffer, 4915200) << "width × height × 16 without an image size";
}

TEST_F(SourceFilter, FallsBackToTheLargestVideoBufferWithoutAPictureSize) {
  Set(VideoRecord(makeFourCC("h264"), 0, 0, 0));
  ALLOCATOR_PROPERTIES request{0, 0, 1, 0};
  IMemAllocator* allocator = nullptr;
  ASSERT_EQ(stream().InitAllocator(&allocator), S_OK);
  ASSERT_EQ(stream().DecideBufferSize(allocator, &request), S_OK);
  EXPECT_EQ(request.cbBuffer, 66977856);
  allocator->Release();
}

TEST_F(SourceFilter, AsksForTwentyAudioBuffers) {
  Set(AudioRecord(makeFourCC("araw"), 2, 44100, 16, 0));
  ASSERT_EQ(harness.ConnectDownstream(), S_OK);
  EXPECT_EQ(Granted().cBuffers, 20);
  EXPECT_EQ(Granted().cbBuffer, 20480);
}

TEST_F(SourceFilter, BringsAMemoryPoolWhenDownstreamHasNoAllocator) {
  harness.downstream().ownAllocator = false;
  Stream(yuy2);
  IMemAllocator* allocator = harness.downstream().Allocator();
  ASSERT_NE(allocator, nullptr);
  EXPECT_NE(dynamic_cast<CKestroMemPool*>(allocator), nullptr);
  const std::vector<BYTE> frame = Frame(64 * 48 * 2, 1);
  EXPECT_EQ(filter->streamOutData(0, 0, 400000, const_cast<BYTE*>(frame.data()), frame.size()), S_OK);
  ASSERT_EQ(harness.received().size(), 1u);
  EXPECT_EQ(harness.received()[0].bytes, frame);
}

TEST_F(SourceFilter, StreamOutDataDeliversCopiesWithTimesAsSyncPoints) {
  Stream(yuy2);
  const std::vector<BYTE> first = Frame(64 * 48 * 2, 1), second = Frame(100, 7);
  EXPECT_EQ(filter->streamOutData(0, 0, 400000, const_cast<BYTE*>(first.data()), first.size()), S_OK);
  EXPECT_EQ(filter->streamOutData(5, -1, -1, const_cast<BYTE*>(second.data()), second.size()), S_OK);
  const auto& received = harness.received();
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0].bytes, first);
  EXPECT_EQ(received[0].timeResult, S_OK);
  EXPECT_EQ(received[0].end, 400000);
  EXPECT_TRUE(received[0].syncPoint);
  EXPECT_EQ(received[1].bytes, second);
  EXPECT_EQ(received[1].timeResult, VFW_E_SAMPLE_TIME_NOT_SET) << "start −1: no time stamps";
  EXPECT_TRUE(received[1].syncPoint) << "still a sync point";
}

TEST_F(SourceFilter, StreamOutDataDropsWhatDoesNotFitAndFailsWithoutABuffer) {
  const std::vector<BYTE> frame = Frame(64 * 48 * 2 + 1, 0);
  EXPECT_EQ(filter->streamOutData(0, 0, 1, const_cast<BYTE*>(frame.data()), 10), E_FAIL) << "not connected";
  Stream(yuy2);
  EXPECT_EQ(filter->streamOutData(0, 0, 1, const_cast<BYTE*>(frame.data()), frame.size()), S_OK);
  EXPECT_TRUE(harness.received().empty()) << "one byte too many: silently dropped";
  EXPECT_EQ(filter->streamOutData(0, 0, 1, nullptr, 10), E_POINTER);
  harness.Stop();
  EXPECT_EQ(filter->streamOutData(0, 0, 1, const_cast<BYTE*>(frame.data()), 10), E_FAIL) << "decommitted";
}

TEST_F(SourceFilter, FilledSamplesWaitForTheirNotification) {
  Stream(yuy2);
  const std::vector<BYTE> a = Frame(300, 1), b = Frame(200, 2);
  IMediaSample* first = nullptr;
  IMediaSample* second = nullptr;
  ASSERT_EQ(filter->fillMediaSample(0, 10, 20, const_cast<BYTE*>(a.data()), a.size(), &first), S_OK);
  ASSERT_EQ(filter->fillMediaSample(0, -1, -1, const_cast<BYTE*>(b.data()), b.size(), &second), S_OK);
  EXPECT_TRUE(harness.received().empty());
  EXPECT_EQ(filter->notifyMediaSample(second, 0), S_OK);
  EXPECT_EQ(filter->notifyMediaSample(first, 1), S_OK) << "dropped";
  EXPECT_EQ(filter->notifyMediaSample(first, 0), E_FAIL) << "no longer pending";
  ASSERT_EQ(harness.received().size(), 1u);
  EXPECT_EQ(harness.received()[0].bytes, b);
  EXPECT_EQ(harness.received()[0].timeResult, VFW_E_SAMPLE_TIME_NOT_SET);
  EXPECT_FALSE(harness.received()[0].syncPoint) << "untimed filled samples are no sync points";

  ASSERT_EQ(filter->fillMediaSample(0, 10, 20, const_cast<BYTE*>(a.data()), a.size(), &first), S_OK);
  EXPECT_EQ(filter->notifyMediaSample(first, 0), S_OK);
  EXPECT_EQ(harness.received()[1].start, 10);
  EXPECT_TRUE(harness.received()[1].syncPoint);
}

TEST_F(SourceFilter, NotifyingAForeignSampleDeliversNothing) {
  Stream(yuy2);
  IMediaSample* foreign = nullptr;
  ASSERT_EQ(harness.downstream().Allocator()->GetBuffer(&foreign, nullptr, nullptr, 0), S_OK);
  EXPECT_EQ(filter->notifyMediaSample(foreign, 0), E_FAIL);
  EXPECT_EQ(kcm_test::RefCount(foreign), 1u);
  ASSERT_EQ(filter->pushMediaSample(foreign), S_OK);
  EXPECT_EQ(kcm_test::RefCount(foreign), 2u) << "pushed samples are pending with a reference of their own";
  EXPECT_EQ(filter->notifyMediaSample(foreign, 0), S_OK);
  EXPECT_EQ(kcm_test::RefCount(foreign), 1u);
  foreign->Release();
  EXPECT_EQ(harness.received().size(), 1u);
}

TEST_F(SourceFilter, FillNeverWaitsAndRefusesSamplesTooSmall) {
  Stream(yuy2);
  const std::vector<BYTE> frame = Frame(64 * 48 * 2 + 1, 0);
  kcm_test::LogCapture log;
  IMediaSample* sample = nullptr;
  EXPECT_EQ(filter->fillMediaSample(0, 0, 1, const_cast<BYTE*>(frame.data()), frame.size(), &sample), E_FAIL);
  EXPECT_EQ(log.Count("\"hr = E_FAIL\""), 1);
  for (int taken = 0; taken < 4; ++taken) {
    ASSERT_EQ(filter->fillMediaSample(0, 0, 1, const_cast<BYTE*>(frame.data()), 8, &sample), S_OK);
  }
  EXPECT_EQ(filter->fillMediaSample(0, 0, 1, const_cast<BYTE*>(frame.data()), 8, &sample), VFW_E_TIMEOUT);
}

TEST_F(SourceFilter, StoppingReleasesPendingSamples) {
  Stream(yuy2);
  IMediaSample* pending = nullptr;
  BYTE byte = 0;
  for (int taken = 0; taken < 4; ++taken) ASSERT_EQ(filter->fillMediaSample(0, 0, 1, &byte, 1, &pending), S_OK);
  ASSERT_EQ(harness.Stop(), S_OK);
  EXPECT_EQ(filter->notifyMediaSample(pending, 0), E_FAIL) << "the list was emptied";
  ASSERT_EQ(harness.Run(), S_OK);
  for (int taken = 0; taken < 4; ++taken) {
    EXPECT_EQ(filter->fillMediaSample(0, 0, 1, &byte, 1, &pending), S_OK) << "every buffer came back";
  }
}

TEST_F(SourceFilter, PassesNoStreamControlDownstream) {
  Stream(yuy2);
  EXPECT_EQ(stream().DeliverEndOfStream(), S_OK);
  EXPECT_EQ(stream().DeliverBeginFlush(), S_OK);
  EXPECT_EQ(stream().DeliverEndFlush(), S_OK);
  EXPECT_EQ(stream().DeliverNewSegment(0, 10, 1.0), S_OK);
  EXPECT_EQ(stream().Notify(nullptr, Quality{}), S_OK);
  EXPECT_EQ(stream().Deliver(nullptr), E_POINTER);
  const kcm_test::PinCalls& calls = harness.downstream().calls;
  EXPECT_EQ(calls.endOfStream + calls.beginFlush + calls.endFlush + calls.newSegment, 0);
}

}  // namespace
