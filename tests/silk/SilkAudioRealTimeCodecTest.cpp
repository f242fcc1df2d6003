// CSilkAudioRealTimeCodec: the wrapper's open, encode, decode and close behaviour.
#include <gtest/gtest.h>
#include <math.h>

#include <vector>

#include "KestroAudioRealTimeCodec.h"
#include "winerror.h"

namespace {

WAVEFORMATEX Format(DWORD rate, WORD channels = 1) {
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = channels;
  format.nSamplesPerSec = rate;
  format.wBitsPerSample = 16;
  return format;
}

std::vector<int16_t> Tone(int samples, int rate) {
  std::vector<int16_t> pcm(static_cast<size_t>(samples));
  for (int i = 0; i < samples; ++i) pcm[static_cast<size_t>(i)] = static_cast<int16_t>(6000 * sin(2 * M_PI * 300.0 * i / rate));
  return pcm;
}

class SilkCodec : public ::testing::Test {
 protected:
  void SetUp() override {
    codec = static_cast<CSilkAudioRealTimeCodec*>(kcm_createAudioRealTimeCodec(0));
    ASSERT_NE(nullptr, codec);
  }
  void TearDown() override {
    codec->close();
    codec->Ex_Release();
  }
  CSilkAudioRealTimeCodec* codec = nullptr;
};

TEST_F(SilkCodec, OpenAt16kHzAnd24kbpsGivesA320SamplePacket) {
  ASSERT_EQ(S_OK, codec->open(Format(16000), 24));
  EXPECT_EQ(320, codec->encoderControl().packetSize);
  EXPECT_EQ(24000, codec->encoderControl().bitRate);
  EXPECT_EQ(2, codec->encoderControl().complexity);
  EXPECT_EQ(0, codec->encoderControl().useInBandFEC);
  EXPECT_EQ(0, codec->encoderControl().useDTX);
  EXPECT_EQ(16000, codec->decoderControl().API_sampleRate);
  EXPECT_EQ(1, codec->decoderControl().framesPerPacket);
}

TEST_F(SilkCodec, BitRateAbove40kbpsIsLowered) {
  ASSERT_EQ(S_OK, codec->open(Format(16000), 64));
  EXPECT_EQ(40000, codec->encoderControl().bitRate);
}

TEST_F(SilkCodec, StereoAt44100RunsAt24kHzMono) {
  ASSERT_EQ(S_OK, codec->open(Format(44100, 2), 24));
  EXPECT_EQ(24000, codec->encoderControl().API_sampleRate);
  EXPECT_EQ(24000, codec->encoderControl().maxInternalSampleRate);
  EXPECT_EQ(480, codec->encoderControl().packetSize);
}

TEST_F(SilkCodec, EncodesOne20msPacketAndRefuses21875ms) {
  ASSERT_EQ(S_OK, codec->open(Format(16000), 24));
  const std::vector<int16_t> pcm = Tone(350, 16000);
  uint8_t packet[1024];
  unsigned long bytes = sizeof(packet);
  ASSERT_EQ(S_OK, codec->encode(pcm.data(), 640, packet, &bytes));
  EXPECT_GT(bytes, 0u);
  bytes = sizeof(packet);
  EXPECT_EQ(E_FAIL, codec->encode(pcm.data(), 700, packet, &bytes));
}

TEST_F(SilkCodec, DecodeReportsTwiceTheSampleCount) {
  ASSERT_EQ(S_OK, codec->open(Format(12000), 20));
  const std::vector<int16_t> pcm = Tone(240, 12000);
  uint8_t packet[1024];
  unsigned long bytes = sizeof(packet);
  ASSERT_EQ(S_OK, codec->encode(pcm.data(), 480, packet, &bytes));
  int16_t out[240];
  unsigned long outBytes = 0;
  ASSERT_EQ(S_OK, codec->decode(packet, static_cast<int>(bytes), out, &outBytes));
  EXPECT_EQ(480u, outBytes);
}

TEST_F(SilkCodec, EncodeAndDecodeFailBeforeOpenAndAfterClose) {
  const std::vector<int16_t> pcm = Tone(160, 8000);
  uint8_t packet[1024];
  int16_t out[160];
  unsigned long bytes = sizeof(packet);
  EXPECT_EQ(E_FAIL, codec->encode(pcm.data(), 320, packet, &bytes));
  EXPECT_EQ(E_FAIL, codec->decode(packet, 10, out, &bytes));
  ASSERT_EQ(S_OK, codec->open(Format(8000), 16));
  codec->close();
  bytes = sizeof(packet);
  EXPECT_EQ(E_FAIL, codec->encode(pcm.data(), 320, packet, &bytes));
  EXPECT_EQ(E_FAIL, codec->decode(packet, 10, out, &bytes));
  EXPECT_EQ(S_OK, codec->open(Format(8000), 16)) << "open again after close";
}

TEST_F(SilkCodec, DamagedOrEmptyPacketsFailWithoutCrashing) {
  ASSERT_EQ(S_OK, codec->open(Format(24000), 30));
  int16_t out[480];
  unsigned long outBytes = 0;
  std::vector<uint8_t> garbage(2000, 0xA7);
  EXPECT_EQ(E_FAIL, codec->decode(garbage.data(), 0, out, &outBytes));
  EXPECT_EQ(E_FAIL, codec->decode(garbage.data(), 2000, out, &outBytes));
  EXPECT_EQ(E_FAIL, codec->decode(nullptr, 10, out, &outBytes));
}

TEST_F(SilkCodec, AnswersItsInterfaceToAcceptedVersions) {
  EXPECT_EQ(static_cast<IAudioRealTimeCodec*>(codec), codec->Ex_QueryInterface(IID_IAudioRealTimeCodec, KCM_INTERFACE_VERSION));
  EXPECT_EQ(nullptr, codec->Ex_QueryInterface(IID_IAudioRealTimeCodec, 0x02000000));
  EXPECT_TRUE(codec->Ex_IsValid());
}

}  // namespace
