// The video decoder of the ffdshow stand-in against plain libavcodec on the same packets.
#include <algorithm>

#include <gtest/gtest.h>

#include "FFDShowTestSupport.h"
#include "uuids.h"

namespace kcm_test {
namespace {

constexpr int kWidth = 176;
constexpr int kHeight = 144;
constexpr int kFrames = 30;
constexpr REFERENCE_TIME kFrameTime = 400000;

struct Codec {
  const char* encoder;
  GUID subtype;
  DWORD biCompression;
  int bFrames;
};

DWORD FourCC(const char* text) { return text[0] | (text[1] << 8) | (text[2] << 16) | (static_cast<DWORD>(text[3]) << 24); }

class VideoDecoderTest : public ::testing::TestWithParam<Codec> {};

// Tests that every picture equals libavcodec's, in presentation order with its time,
// none lost at the end of the stream.
TEST_P(VideoDecoderTest, DecodesBitExactInPresentationOrder) {
  const Codec codec = GetParam();
  const EncodedStream stream = EncodeVideo(codec.encoder, kWidth, kHeight, kFrames, codec.bFrames,
                                           std::string(codec.encoder) == "mjpeg" ? AV_PIX_FMT_YUVJ420P
                                                                                             : AV_PIX_FMT_YUV420P);
  if (stream.packets.empty()) GTEST_SKIP() << codec.encoder << " is not available";
  const std::vector<DecodedPicture> reference = ReferenceDecodeVideo(stream);
  ASSERT_EQ(reference.size(), static_cast<size_t>(kFrames));

  FFDShowRig rig(FFDShowEntry::VideoDecoder);
  ASSERT_EQ(S_OK, rig.Start(CompressedVideoType(codec.subtype, codec.biCompression, kWidth, kHeight, stream.extraData)));
  EXPECT_EQ(MEDIASUBTYPE_YV12, rig.harness->downstream().ConnectionType().subtype);
  rig.PushAll(stream);

  const std::vector<ReceivedSample>& received = rig.harness->received();
  ASSERT_EQ(received.size(), reference.size());
  const std::vector<std::string> md5s = ReceivedYv12Md5s(received, kWidth, kHeight);
  for (size_t index = 0; index < received.size(); ++index) {
    EXPECT_EQ(reference[index].md5, md5s[index]) << "picture " << index;
    EXPECT_EQ(S_OK, received[index].timeResult);
    EXPECT_EQ(static_cast<REFERENCE_TIME>(index) * kFrameTime, received[index].start) << "picture " << index;
    EXPECT_EQ(received[index].start + kFrameTime, received[index].end);
  }
  EXPECT_EQ(1, rig.harness->downstream().calls.endOfStream);
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, VideoDecoderTest,
    ::testing::Values(Codec{"libx264", MEDIASUBTYPE_H264, 0, 2}, Codec{"libx264", KcmFourCCSubtype(FourCC("h264")), FourCC("h264"), 2},
                      Codec{"mpeg4", KcmFourCCSubtype(FourCC("mpg4")), 0, 2},
                      Codec{"mpeg4", KcmFourCCSubtype(FourCC("XVID")), FourCC("XVID"), 0},
                      Codec{"mjpeg", GUID_NULL, FourCC("MJPG"), 0}, Codec{"mpeg2video", MEDIASUBTYPE_MPEG2_VIDEO, 0, 2},
                      Codec{"mpeg1video", MEDIASUBTYPE_MPEG1Packet, 0, 0}, Codec{"h263", GUID_NULL, FourCC("H263"), 0},
                      Codec{"wmv2", KcmFourCCSubtype(FourCC("wmv2")), FourCC("WMV2"), 0}),
    [](const ::testing::TestParamInfo<Codec>& info) {
      std::string name = info.param.encoder + std::to_string(info.index);
      std::replace_if(name.begin(), name.end(), [](char c) { return !isalnum(static_cast<unsigned char>(c)); }, '_');
      return name;
    });

EncodedStream SmallH264() { return EncodeVideo("libx264", kWidth, kHeight, 12, 2); }

// Tests that frames still inside the decoder come out when the filter stops.
TEST(VideoDecoderDrain, StopDeliversHeldPicturesBeforeDecommitting) {
  const EncodedStream stream = SmallH264();
  if (stream.packets.empty()) GTEST_SKIP();
  FFDShowRig rig(FFDShowEntry::VideoDecoder);
  ASSERT_EQ(S_OK, rig.Start(CompressedVideoType(MEDIASUBTYPE_H264, 0, kWidth, kHeight, stream.extraData)));
  for (const EncodedPacket& packet : stream.packets) rig.harness->Push(packet.bytes, packet.start, packet.end);
  const size_t beforeStop = rig.harness->received().size();
  EXPECT_LT(beforeStop, stream.packets.size());  // B-frame reordering holds some back
  EXPECT_EQ(S_OK, rig.filter->Stop());
  EXPECT_EQ(stream.packets.size(), rig.harness->received().size());
}

// Tests that the flip setting mirrors every plane and the RGB outputs are bottom-up.
TEST(VideoDecoderOutput, FlipAndColourSpacesFollowTheSettings) {
  const EncodedStream stream = SmallH264();
  if (stream.packets.empty()) GTEST_SKIP();
  const std::vector<DecodedPicture> reference = ReferenceDecodeVideo(stream);
  FFDShowRig rig(FFDShowEntry::VideoDecoder);
  IKcmFFDShowSettings* settings = SettingsOf(rig.filter);
  FFDShowFilterParam param{};
  param.video.type = FFDSHOW_PARAM_VIDEO_OUTPUT;
  param.video.enabled = 1;
  param.video.flip = 1;
  EXPECT_EQ(S_OK, settings->SetParam(FFDSHOW_PARAM_VIDEO_OUTPUT, &param));
  ASSERT_EQ(S_OK, rig.Start(CompressedVideoType(MEDIASUBTYPE_H264, 0, kWidth, kHeight, stream.extraData)));
  rig.PushAll(stream);
  const std::vector<std::string> md5s = ReceivedYv12Md5s(rig.harness->received(), kWidth, kHeight, true);
  ASSERT_EQ(reference.size(), md5s.size());
  for (size_t index = 0; index < md5s.size(); ++index) EXPECT_EQ(reference[index].md5, md5s[index]);
  settings->Release();
}

TEST(VideoDecoderOutput, OffersRgbWhenAskedAndWritesItBottomUp) {
  const EncodedStream stream = SmallH264();
  if (stream.packets.empty()) GTEST_SKIP();
  FFDShowRig rig(FFDShowEntry::VideoDecoder);
  IKcmFFDShowSettings* settings = SettingsOf(rig.filter);
  const DWORD rgb32 = FourCC("RV32");
  ASSERT_EQ(S_OK, settings->SetOutputColorSpaces(&rgb32, 1));
  settings->Release();
  ASSERT_EQ(S_OK, rig.Start(CompressedVideoType(MEDIASUBTYPE_H264, 0, kWidth, kHeight, stream.extraData)));
  EXPECT_EQ(MEDIASUBTYPE_RGB32, rig.harness->downstream().ConnectionType().subtype);
  rig.PushAll(stream);
  ASSERT_EQ(stream.packets.size(), rig.harness->received().size());
  const std::vector<BYTE>& picture = rig.harness->received()[0].bytes;
  ASSERT_EQ(static_cast<size_t>(kWidth * kHeight * 4), picture.size());
  // The test pattern's box (luma 235) sits in rows 16-47 from the top: near the end of
  // a bottom-up buffer, not near its start.
  auto brightness = [&](int memoryRow, int column) { return picture[(memoryRow * kWidth + column) * 4 + 1]; };
  EXPECT_GT(brightness(kHeight - 1 - 20, 10), 200);
  EXPECT_LT(brightness(20, 10), 200);
}

// Tests the connection refusals: a coding no decoder knows, a nonsense size.
TEST(VideoDecoderInput, RefusesUnknownCodingsAndBadSizes) {
  FFDShowRig rig(FFDShowEntry::VideoDecoder);
  const CMediaType unknown = CompressedVideoType(KcmFourCCSubtype(FourCC("ZZZZ")), FourCC("ZZZZ"), kWidth, kHeight, {});
  EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, rig.harness->ConnectUpstream(&unknown));
  const CMediaType noSize = CompressedVideoType(MEDIASUBTYPE_H264, 0, 0, kHeight, {});
  EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, rig.harness->ConnectUpstream(&noSize));
  EXPECT_EQ(S_FALSE, rig.harness->filterInput()->QueryAccept(&unknown));
}

// Tests that corrupt, truncated and oversized-header input neither crashes nor stops
// the stream: the pictures after a bad packet still come out.
TEST(VideoDecoderInput, SurvivesCorruptTruncatedPacketsAndLongExtraData) {
  const EncodedStream stream = EncodeVideo("mpeg4", kWidth, kHeight, 12, 0);
  ASSERT_FALSE(stream.packets.empty());
  std::vector<uint8_t> extra = stream.extraData;
  extra.resize(400, 0);  // 383 bytes and above do not fit a stream record
  FFDShowRig rig(FFDShowEntry::VideoDecoder);
  ASSERT_EQ(S_OK, rig.Start(CompressedVideoType(KcmFourCCSubtype(FourCC("mpg4")), 0, kWidth, kHeight, extra)));
  for (size_t index = 0; index < stream.packets.size(); ++index) {
    std::vector<BYTE> bytes = stream.packets[index].bytes;
    if (index == 3) std::fill(bytes.begin() + bytes.size() / 4, bytes.end(), 0xFF);
    if (index == 5) bytes.resize(bytes.size() / 3);
    if (index == 7) bytes.assign(7, 0x00);
    rig.harness->Push(bytes, stream.packets[index].start, stream.packets[index].end);
  }
  rig.harness->Push({}, 0, 1);  // an empty sample
  rig.harness->upstream().DeliverEndOfStream();
  EXPECT_GE(rig.harness->received().size(), 6u);
  EXPECT_EQ(1, rig.harness->downstream().calls.endOfStream);
}

}  // namespace
}  // namespace kcm_test
