// Transform graphs end to end: streams made with libavcodec's encoders go through
// CDShowGraphDecode (source → ffdshow decoder → render) and come back to a host sink.
#include <string.h>

#include <mutex>

#include <gtest/gtest.h>

#include "KestroDShowGraphTransform.h"
#include "KestroFFDshowConfigApi.h"
#include "core/LogCapture.h"
#include "ffdshow/FFDShowTestSupport.h"

namespace kcm_test {
namespace {

constexpr int kWidth = 176;
constexpr int kHeight = 144;
constexpr int kFrames = 30;
constexpr REFERENCE_TIME kFrameTime = 400000;

uint32_t FourCC(const char* text) {
  return text[0] | (text[1] << 8) | (text[2] << 16) | (static_cast<uint32_t>(text[3]) << 24);
}

// A host sink that copies every sample it is lent; with `clearFlip` it also answers
// IDShowGraphTransformSink2 and turns the library's default flip off.
class RecordingSink : public IDShowGraphTransformSink, public IDShowGraphTransformSink2 {
 public:
  explicit RecordingSink(bool clearFlip = false) : clearFlip_(clearFlip) {}

  bool Ex_IsValid() override { return true; }
  bool Ex_Release() override { return true; }
  void* Ex_QueryInterface(const GUID& iid, unsigned long) override {
    if (clearFlip_ && iid == IID_IDShowGraphTransformSink2) return static_cast<IDShowGraphTransformSink2*>(this);
    return nullptr;
  }
  HRESULT onDShowGraphTransformSink_doRenderSample(CDShowGraphTransform*, int mediaKind, IMediaSample* sample,
                                                   tagKestroStreamType* streamType) override {
    ReceivedSample copy;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    copy.bytes.assign(data, data + sample->GetActualDataLength());
    copy.timeResult = sample->GetTime(&copy.start, &copy.end);
    std::lock_guard<std::mutex> lock(mutex_);
    samples_.push_back(std::move(copy));
    lastKind_ = mediaKind;
    lastType_ = *streamType;
    return S_OK;
  }
  HRESULT onDShowGraphTransformSink_doRenderSample(CDShowGraphTransform*, _AMTYPE at, tagKestroStreamType*,
                                                   IUnknown* ffdshowFilter, bool) override {
    if (at != AMTYPE_Video) return S_OK;
    FFDShowFilterParam param;
    kcm_getFFDShowFilterParam(ffdshowFilter, AMTYPE_Video, 17, &param);
    param.video.flip = 0;
    ++adjusted;
    return kcm_setFFDShowFilterParam(ffdshowFilter, AMTYPE_Video, 17, &param);
  }

  std::vector<ReceivedSample> samples() {
    std::lock_guard<std::mutex> lock(mutex_);
    return samples_;
  }
  int lastKind() { return lastKind_; }
  tagKestroStreamType lastType() { return lastType_; }
  int adjusted = 0;

 private:
  const bool clearFlip_;
  std::mutex mutex_;
  std::vector<ReceivedSample> samples_;
  int lastKind_ = 0;
  tagKestroStreamType lastType_{};
};

tagKestroProgramType VideoProgram(uint32_t fourCC, const EncodedStream& stream) {
  tagKestroProgramType program;
  memset(&program, 0, sizeof(program));
  tagKestroStreamType& video = program.video;
  video.mediaKind = AMTYPE_Video;
  video.fourCC = fourCC;
  video.valid = 1;
  video.videoInfo.AvgTimePerFrame = kFrameTime;
  video.videoInfo.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  video.videoInfo.bmiHeader.biWidth = stream.width;
  video.videoInfo.bmiHeader.biHeight = stream.height;
  video.videoInfo.bmiHeader.biCompression = fourCC;
  video.extraDataSize = static_cast<uint32_t>(stream.extraData.size());
  memcpy(video.extraData, stream.extraData.data(), std::min(stream.extraData.size(), sizeof(video.extraData)));
  return program;
}

HRESULT WriteAll(CDShowGraphTransform& graph, const EncodedStream& stream) {
  for (const EncodedPacket& packet : stream.packets) {
    const HRESULT hr = graph.write(AMTYPE_Video, packet.start, packet.end, const_cast<BYTE*>(packet.bytes.data()),
                                   static_cast<unsigned long>(packet.bytes.size()));
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

class GraphDecodeTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))); }
  void TearDown() override { CoUninitialize(); }
};

struct Case {
  const char* encoder;
  const char* fourCC;
  int bFrames;
  bool hostClearsFlip;
};

class GraphDecodeCodecTest : public GraphDecodeTest, public ::testing::WithParamInterface<Case> {};

// Tests that every decoded picture equals libavcodec's, in presentation order with its
// time stamps, and that pictures still inside the decoder come out at close.
TEST_P(GraphDecodeCodecTest, DecodesBitExactInOrderAndLosesNothingAtClose) {
  const Case c = GetParam();
  const EncodedStream stream = EncodeVideo(c.encoder, kWidth, kHeight, kFrames, c.bFrames);
  if (stream.packets.empty()) GTEST_SKIP() << c.encoder << " is not available";
  const std::vector<DecodedPicture> reference = ReferenceDecodeVideo(stream);
  ASSERT_EQ(reference.size(), static_cast<size_t>(kFrames));

  RecordingSink sink(c.hostClearsFlip);
  CDShowGraphDecode graph;
  graph.init(&sink);
  tagKestroProgramType program = VideoProgram(FourCC(c.fourCC), stream);
  ASSERT_EQ(S_OK, graph.open(program));
  EXPECT_EQ(c.hostClearsFlip ? 1 : 0, sink.adjusted);
  ASSERT_EQ(S_OK, WriteAll(graph, stream));
  ASSERT_EQ(S_OK, graph.close());

  const std::vector<ReceivedSample> received = sink.samples();
  ASSERT_EQ(reference.size(), received.size());
  const std::vector<std::string> md5s = ReceivedYv12Md5s(received, kWidth, kHeight, !c.hostClearsFlip);
  for (size_t index = 0; index < received.size(); ++index) {
    EXPECT_EQ(reference[index].md5, md5s[index]) << "picture " << index;
    EXPECT_EQ(S_OK, received[index].timeResult);
    EXPECT_EQ(reference[index].start, received[index].start) << "picture " << index;
  }
  EXPECT_EQ(AMTYPE_Video, sink.lastKind());
  const tagKestroStreamType type = sink.lastType();
  EXPECT_EQ(FourCC("YV12"), type.fourCC);
  EXPECT_EQ(kWidth, type.videoInfo.bmiHeader.biWidth);
}

INSTANTIATE_TEST_SUITE_P(Codecs, GraphDecodeCodecTest,
                         ::testing::Values(Case{"libx264", "h264", 2, false}, Case{"libx264", "h264", 2, true},
                                           Case{"mpeg4", "mp4v", 2, false}),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           return std::string(info.param.fourCC) + (info.param.hostClearsFlip ? "_unflipped" : "_flipped");
                         });

// Tests the two-step write: filled samples reach the decoder only when notified.
TEST_F(GraphDecodeTest, TwoStepWriteDeliversEveryFilledSample) {
  const EncodedStream stream = EncodeVideo("mpeg4", kWidth, kHeight, 10, 0);
  if (stream.packets.empty()) GTEST_SKIP();
  RecordingSink sink;
  CDShowGraphDecode graph;
  graph.init(&sink);
  tagKestroProgramType program = VideoProgram(FourCC("mp4v"), stream);
  ASSERT_EQ(S_OK, graph.open(program));
  for (const EncodedPacket& packet : stream.packets) {
    IMediaSample* sample = nullptr;
    ASSERT_EQ(S_OK, graph.fillSample(AMTYPE_Video, packet.start, packet.end, const_cast<BYTE*>(packet.bytes.data()),
                                     static_cast<unsigned long>(packet.bytes.size()), &sample));
    ASSERT_NE(nullptr, sample);
    EXPECT_EQ(S_OK, graph.notifySample(AMTYPE_Video, sample));
  }
  graph.close();
  EXPECT_EQ(stream.packets.size(), sink.samples().size());
}

// Tests the stream checks of write: index out of range, absent stream, a second open,
// writing after close.
TEST_F(GraphDecodeTest, WriteChecksItsStreamAndOpenTwiceBuildsOneGraph) {
  const EncodedStream stream = EncodeVideo("mpeg4", kWidth, kHeight, 4, 0);
  if (stream.packets.empty()) GTEST_SKIP();
  RecordingSink sink;
  CDShowGraphDecode graph;
  graph.init(&sink);
  tagKestroProgramType program = VideoProgram(FourCC("mp4v"), stream);
  ASSERT_EQ(S_OK, graph.open(program));
  tagKestroProgramType other = program;
  other.video.valid = 0;
  EXPECT_EQ(S_OK, graph.open(other));
  EXPECT_EQ(1u, graph.getSrcProgramType().video.valid);  // the second open changed nothing
  BYTE byte = 0;
  EXPECT_EQ(E_FAIL, graph.write(3, 0, 1, &byte, 1));
  EXPECT_EQ(E_FAIL, graph.write(-1, 0, 1, &byte, 1));
  EXPECT_EQ(S_OK, graph.write(AMTYPE_Audio, 0, 1, &byte, 1));
  EXPECT_EQ(S_OK, graph.setMasterVolume(50));  // no audio stream: nothing to set
  graph.close();
  const auto& packet = stream.packets.front();
  EXPECT_EQ(S_OK, graph.write(AMTYPE_Video, 0, 1, const_cast<BYTE*>(packet.bytes.data()),
                              static_cast<unsigned long>(packet.bytes.size())));
  EXPECT_TRUE(sink.samples().empty());
  // open after close builds afresh
  ASSERT_EQ(S_OK, graph.open(program));
  EXPECT_EQ(S_OK, WriteAll(graph, stream));
  graph.close();
  EXPECT_EQ(stream.packets.size(), sink.samples().size());
}

// Tests that a coding no decoder knows leaves the stream out, logged, and the graph runs.
TEST_F(GraphDecodeTest, UnknownFourCCLeavesTheStreamOut) {
  const EncodedStream stream = EncodeVideo("mpeg4", kWidth, kHeight, 2, 0);
  if (stream.packets.empty()) GTEST_SKIP();
  LogCapture log;
  RecordingSink sink;
  CDShowGraphDecode graph;
  graph.init(&sink);
  tagKestroProgramType program = VideoProgram(FourCC("QQQQ"), stream);
  ASSERT_EQ(S_OK, graph.open(program));
  EXPECT_EQ(1, log.Count("\"hr = ConnectFilters(m_pGraphBuilder, sampleSourceFilter, ffdshowFilter)\"")) << log.All();
  const auto& packet = stream.packets.front();
  EXPECT_EQ(S_OK, graph.write(AMTYPE_Video, 0, 1, const_cast<BYTE*>(packet.bytes.data()),
                              static_cast<unsigned long>(packet.bytes.size())));
  graph.close();
  EXPECT_TRUE(sink.samples().empty());
}

// Tests that without a sink the decoded samples are dropped and nothing hangs.
TEST_F(GraphDecodeTest, WithoutSinkSamplesAreDiscarded) {
  const EncodedStream stream = EncodeVideo("mpeg4", kWidth, kHeight, 6, 0);
  if (stream.packets.empty()) GTEST_SKIP();
  CDShowGraphDecode graph;
  tagKestroProgramType program = VideoProgram(FourCC("mp4v"), stream);
  ASSERT_EQ(S_OK, graph.open(program));
  WriteAll(graph, stream);  // the decoder may report the render filter's refusal
  EXPECT_EQ(S_OK, graph.close());
}

// Tests an audio-only program: one chain, video writes do nothing, the master volume
// reaches the decoder (at 100 % the sound is libavcodec's own).
TEST_F(GraphDecodeTest, AudioOnlyProgramDecodesWithTheMasterVolume) {
  const EncodedStream stream = EncodeAudio("aac", 2, 48000, 500);
  if (stream.packets.empty()) GTEST_SKIP() << "aac is not available";
  tagKestroProgramType program;
  memset(&program, 0, sizeof(program));
  tagKestroStreamType& audio = program.audio;
  audio.mediaKind = AMTYPE_Audio;
  audio.fourCC = FourCC("mp4a");
  audio.valid = 1;
  audio.waveFormat.wFormatTag = WAVE_FORMAT_PCM;
  audio.waveFormat.nChannels = 2;
  audio.waveFormat.nSamplesPerSec = 48000;
  audio.waveFormat.wBitsPerSample = 16;
  audio.waveFormat.nBlockAlign = 4;
  audio.waveFormat.nAvgBytesPerSec = 4 * 48000;
  audio.extraDataSize = static_cast<uint32_t>(stream.extraData.size());
  memcpy(audio.extraData, stream.extraData.data(), stream.extraData.size());

  LogCapture log;
  RecordingSink sink;
  CDShowGraphDecode graph;
  graph.init(&sink);
  ASSERT_EQ(S_OK, graph.open(program));
  EXPECT_EQ(S_OK, graph.setMasterVolume(100));
  EXPECT_TRUE(FAILED(graph.setMasterVolume(5000)));
  EXPECT_EQ(1, log.Count("\"hr = kcm_setFFDShowFilterMasterVolume(_ffdshowFilter[AMTYPE_Audio], value)\""));
  BYTE byte = 0;
  EXPECT_EQ(S_OK, graph.write(AMTYPE_Video, 0, 1, &byte, 1));
  for (const EncodedPacket& packet : stream.packets) {
    ASSERT_EQ(S_OK, graph.write(AMTYPE_Audio, packet.start, packet.end, const_cast<BYTE*>(packet.bytes.data()),
                                static_cast<unsigned long>(packet.bytes.size())));
  }
  graph.close();

  std::vector<int16_t> decoded;
  for (const ReceivedSample& sample : sink.samples()) {
    const auto* pcm = reinterpret_cast<const int16_t*>(sample.bytes.data());
    decoded.insert(decoded.end(), pcm, pcm + sample.bytes.size() / sizeof(int16_t));
  }
  EXPECT_EQ(AMTYPE_Audio, sink.lastKind());
  EXPECT_EQ(ReferenceDecodeAudio(stream), decoded);
}

// Tests that the graph answers the render sink's identifier and only that.
TEST_F(GraphDecodeTest, AnswersTheRenderSinkIdentifier) {
  auto* graph = new CDShowGraphDecode;
  EXPECT_EQ(static_cast<ISampleRenderSink*>(graph), graph->Ex_QueryInterface(IID_ISampleRenderSink, KCM_INTERFACE_VERSION));
  EXPECT_EQ(nullptr, graph->Ex_QueryInterface(IID_IDShowGraphTransformSink2, KCM_INTERFACE_VERSION));
  EXPECT_EQ(nullptr, graph->Ex_QueryInterface(IID_ISampleRenderSink, 0x02000000));
  EXPECT_TRUE(graph->Ex_Release());
}

}  // namespace
}  // namespace kcm_test
