// Decoding threads in a transform graph. A frame-threaded decoder borrows the host's
// samples while the source's allocator keeps one free for the next write, and copies them
// otherwise; either way every picture equals libavcodec's, in order, and no write waits
// for ever on a buffer the decoder holds.
#include <string.h>

#include <mutex>

#include <gtest/gtest.h>

#include "KestroDShowGraphTransform.h"
#include "KestroFFDshowConfigApi.h"
#include "ffdshow/FFDShowTestSupport.h"

namespace kcm_test {
namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr int kFrames = 40;

// Sets the decoder's threads and clears the flip when the filter is made; keeps a copy
// of every picture.
class ThreadedDecodeSink : public IDShowGraphTransformSink, public IDShowGraphTransformSink2 {
 public:
  explicit ThreadedDecodeSink(int threads) : threads_(threads) {}

  bool Ex_IsValid() override { return true; }
  bool Ex_Release() override { return true; }
  void* Ex_QueryInterface(const GUID& iid, unsigned long) override {
    return iid == IID_IDShowGraphTransformSink2 ? static_cast<IDShowGraphTransformSink2*>(this) : nullptr;
  }
  HRESULT onDShowGraphTransformSink_doRenderSample(CDShowGraphTransform*, int, IMediaSample* sample,
                                                   tagKestroStreamType*) override {
    ReceivedSample copy;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    copy.bytes.assign(data, data + sample->GetActualDataLength());
    copy.timeResult = sample->GetTime(&copy.start, &copy.end);
    std::lock_guard<std::mutex> lock(mutex_);
    samples_.push_back(std::move(copy));
    return S_OK;
  }
  HRESULT onDShowGraphTransformSink_doRenderSample(CDShowGraphTransform*, _AMTYPE, tagKestroStreamType*,
                                                   IUnknown* filter, bool) override {
    FFDShowFilterParam param;
    kcm_getFFDShowFilterParam(filter, AMTYPE_Video, 17, &param);
    param.video.flip = 0;
    kcm_setFFDShowFilterParam(filter, AMTYPE_Video, 17, &param);
    return kcm_setFFDShowFilterMultiThreadDec(filter, threads_);
  }

  std::vector<ReceivedSample> samples() {
    std::lock_guard<std::mutex> lock(mutex_);
    return samples_;
  }

 private:
  const int threads_;
  std::mutex mutex_;
  std::vector<ReceivedSample> samples_;
};

tagKestroProgramType H264Program(const EncodedStream& stream) {
  tagKestroProgramType program;
  memset(&program, 0, sizeof(program));
  tagKestroStreamType& video = program.video;
  video.mediaKind = AMTYPE_Video;
  video.fourCC = Kestro::makeFourCC("h264");
  video.valid = 1;
  video.videoInfo.AvgTimePerFrame = 400000;
  video.videoInfo.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  video.videoInfo.bmiHeader.biWidth = stream.width;
  video.videoInfo.bmiHeader.biHeight = stream.height;
  video.videoInfo.bmiHeader.biCompression = video.fourCC;
  video.extraDataSize = static_cast<uint32_t>(stream.extraData.size());
  memcpy(video.extraData, stream.extraData.data(), stream.extraData.size());
  return program;
}

class GraphDecodeThreadsTest : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))); }
  void TearDown() override { CoUninitialize(); }
};

// Tests that the pictures of a frame-threaded decoder equal libavcodec's, in presentation
// order with their times, all out by close: with 2 threads the samples are lent (the
// source's four buffers leave one free), with 4 and with the codec's own choice copied.
TEST_P(GraphDecodeThreadsTest, EveryPictureEqualsLibavcodecsInOrder) {
  const EncodedStream stream = EncodeVideo("libx264", kWidth, kHeight, kFrames, 2);
  if (stream.packets.empty()) GTEST_SKIP() << "libx264 is not available";
  ASSERT_LT(stream.extraData.size(), sizeof(tagKestroStreamType::extraData));
  const std::vector<DecodedPicture> reference = ReferenceDecodeVideo(stream);
  ASSERT_EQ(static_cast<size_t>(kFrames), reference.size());

  ThreadedDecodeSink sink(GetParam());
  CDShowGraphDecode graph;
  graph.init(&sink);
  tagKestroProgramType program = H264Program(stream);
  ASSERT_EQ(S_OK, graph.open(program));
  for (const EncodedPacket& packet : stream.packets) {
    ASSERT_EQ(S_OK, graph.write(AMTYPE_Video, packet.start, packet.end, const_cast<BYTE*>(packet.bytes.data()),
                                static_cast<unsigned long>(packet.bytes.size())));
  }
  ASSERT_EQ(S_OK, graph.close());

  const std::vector<ReceivedSample> received = sink.samples();
  ASSERT_EQ(reference.size(), received.size());
  const std::vector<std::string> md5s = ReceivedYv12Md5s(received, kWidth, kHeight);
  for (size_t index = 0; index < received.size(); ++index) {
    EXPECT_EQ(reference[index].md5, md5s[index]) << "picture " << index;
    EXPECT_EQ(reference[index].start, received[index].start) << "picture " << index;
  }
}

INSTANTIATE_TEST_SUITE_P(Threads, GraphDecodeThreadsTest, ::testing::Values(2, 4, 0),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return info.param == 0 ? std::string("CodecChooses") : std::to_string(info.param);
                         });

}  // namespace
}  // namespace kcm_test
