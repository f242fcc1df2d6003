// The audio decoder and the raw audio processor of the ffdshow stand-in.
#include <gtest/gtest.h>

#include <string.h>

#include "FFDShowTestSupport.h"
#include "mmreg.h"
#include "uuids.h"

namespace kcm_test {
namespace {

// "mp4a" as the pipeline's FourCC-to-subtype mapping writes it.
DEFINE_GUID(kSubtypeMp4a, 0x00000006, 0x0CEA, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71);

std::vector<int16_t> ReceivedPcm(const std::vector<ReceivedSample>& samples) {
  std::vector<int16_t> pcm;
  for (const ReceivedSample& sample : samples) {
    const size_t first = pcm.size();
    pcm.resize(first + sample.bytes.size() / 2);
    memcpy(pcm.data() + first, sample.bytes.data(), sample.bytes.size() / 2 * 2);
  }
  return pcm;
}

struct AudioCodec {
  const char* encoder;
  GUID subtype;
};

class AudioDecoderTest : public ::testing::TestWithParam<AudioCodec> {};

// Tests that the 16-bit output equals libavcodec's decoding of the same packets, every
// sample of it, stamped with the packets' times.
TEST_P(AudioDecoderTest, DecodesLikeLibavcodec) {
  const EncodedStream stream = EncodeAudio(GetParam().encoder, 2, 48000, 500);
  if (stream.packets.empty()) GTEST_SKIP() << GetParam().encoder << " is not available";
  const std::vector<int16_t> reference = ReferenceDecodeAudio(stream);
  ASSERT_FALSE(reference.empty());
  FFDShowRig rig(FFDShowEntry::AudioDecoder);
  ASSERT_EQ(S_OK, rig.Start(AudioType(GetParam().subtype, 2, 48000, 16, stream.extraData)));
  const CMediaType& output = rig.harness->downstream().ConnectionType();
  EXPECT_EQ(MEDIASUBTYPE_PCM, output.subtype);
  EXPECT_EQ(16, reinterpret_cast<const WAVEFORMATEX*>(output.pbFormat)->wBitsPerSample);
  rig.PushAll(stream);
  const std::vector<int16_t> received = ReceivedPcm(rig.harness->received());
  ASSERT_EQ(reference.size(), received.size());
  size_t firstDifference = 0;
  while (firstDifference < received.size() && received[firstDifference] == reference[firstDifference]) ++firstDifference;
  EXPECT_EQ(received.size(), firstDifference) << "samples differ from sample " << firstDifference;
  ASSERT_FALSE(rig.harness->received().empty());
  EXPECT_EQ(ReferenceFirstAudioTime(stream), rig.harness->received().front().start);
}

INSTANTIATE_TEST_SUITE_P(Codecs, AudioDecoderTest,
                         ::testing::Values(AudioCodec{"aac", kSubtypeMp4a}, AudioCodec{"mp2", MEDIASUBTYPE_MPEG1Packet},
                                           AudioCodec{"libmp3lame", MEDIASUBTYPE_MPEG1Payload},
                                           AudioCodec{"mp2", MEDIASUBTYPE_MPEG2_AUDIO}),
                         [](const ::testing::TestParamInfo<AudioCodec>& info) {
                           return std::string(info.param.encoder) + std::to_string(info.index);
                         });

std::vector<BYTE> Pcm16(const std::vector<int16_t>& samples) {
  std::vector<BYTE> bytes(samples.size() * 2);
  memcpy(bytes.data(), samples.data(), bytes.size());
  return bytes;
}

// Tests that 16-bit PCM passes unchanged at 100 % and is scaled (saturating) otherwise.
TEST(AudioRawFilter, AppliesMasterAndChannelVolumes) {
  FFDShowRig rig(FFDShowEntry::AudioRaw);
  ASSERT_EQ(S_OK, rig.Start(AudioType(MEDIASUBTYPE_PCM, 2, 8000, 16)));
  const std::vector<int16_t> input = {1000, -1000, 30000, -30000, 7, -7};
  rig.harness->Push(Pcm16(input), 0, 10000);
  IKcmFFDShowSettings* settings = SettingsOf(rig.filter);
  EXPECT_EQ(S_OK, settings->SetMasterVolume(120));
  rig.harness->Push(Pcm16(input), 10000, 20000);
  const int channels[] = {50, 100};
  EXPECT_EQ(S_OK, settings->SetChannelVolumes(channels, 2));
  rig.harness->Push(Pcm16(input), 20000, 30000);
  EXPECT_EQ(E_INVALIDARG, settings->SetMasterVolume(1001));
  settings->Release();

  const std::vector<ReceivedSample>& received = rig.harness->received();
  ASSERT_EQ(3u, received.size());
  EXPECT_EQ(Pcm16(input), received[0].bytes);
  EXPECT_EQ(Pcm16({1200, -1200, 32767, -32768, 8, -8}), received[1].bytes);
  EXPECT_EQ(Pcm16({600, -1200, 18000, -32768, 4, -8}), received[2].bytes);
  EXPECT_EQ(10000, received[1].start);
}

// Tests that other PCM widths come out as 16-bit, and compressed audio is refused.
TEST(AudioRawFilter, ConvertsPcmWidthsAndRefusesCompressedAudio) {
  FFDShowRig rig(FFDShowEntry::AudioRaw);
  const CMediaType mp3 = AudioType(MEDIASUBTYPE_MPEG1Payload, 2, 44100, 16);
  EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, rig.harness->ConnectUpstream(&mp3));
  ASSERT_EQ(S_OK, rig.Start(AudioType(MEDIASUBTYPE_PCM, 1, 8000, 8)));
  rig.harness->Push({0x80, 0xC0, 0x00, 0xFF}, 0, 5000);
  rig.harness->upstream().DeliverEndOfStream();
  ASSERT_EQ(1u, rig.harness->received().size());
  EXPECT_EQ(Pcm16({0, 16384, -32768, 32512}), rig.harness->received()[0].bytes);
}

// Tests that a decoder refuses what no decoder knows and survives garbage packets.
TEST(AudioDecoderInput, RefusesUnknownCodingsAndSurvivesGarbage) {
  FFDShowRig rig(FFDShowEntry::AudioDecoder);
  const CMediaType unknown = AudioType(KcmFourCCSubtype(0x7777), 2, 48000, 16);
  EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, rig.harness->ConnectUpstream(&unknown));
  const EncodedStream stream = EncodeAudio("aac", 2, 48000, 200);
  ASSERT_FALSE(stream.packets.empty());
  ASSERT_EQ(S_OK, rig.Start(AudioType(kSubtypeMp4a, 2, 48000, 16, stream.extraData)));
  rig.harness->Push(std::vector<BYTE>(333, 0xA5), 0, 1);
  rig.harness->Push(std::vector<BYTE>(2, 0x00), 1, 2);
  for (const EncodedPacket& packet : stream.packets) rig.harness->Push(packet.bytes, packet.start, packet.end);
  rig.harness->upstream().DeliverEndOfStream();
  EXPECT_FALSE(rig.harness->received().empty());
}

}  // namespace
}  // namespace kcm_test
