// The library's ffdshow parameter helpers on the stand-in's filters.
#include <string.h>

#include <gtest/gtest.h>

#include "FFDShowTestSupport.h"
#include "KestroFFDshowConfigApi.h"
#include "core/LogCapture.h"

namespace kcm_test {
namespace {

class FFDShowConfigApi : public ::testing::Test {
 protected:
  void SetUp() override {
    video = CreateFFDShowFilter(FFDShowEntry::VideoDecoder);
    audio = CreateFFDShowFilter(FFDShowEntry::AudioDecoder);
    ASSERT_NE(nullptr, video);
    ASSERT_NE(nullptr, audio);
  }
  void TearDown() override {
    if (video != nullptr) video->Release();
    if (audio != nullptr) audio->Release();
  }
  IBaseFilter* video = nullptr;
  IBaseFilter* audio = nullptr;
};

// Tests the defaults the graphs write: the video block of type 17 and the audio block
// of type 1 byte for byte.
TEST_F(FFDShowConfigApi, DefaultBlocksHoldTheDocumentedBytes) {
  FFDShowFilterParam param;
  ASSERT_EQ(S_OK, kcm_defaultFFDShowFilterParam(AMTYPE_Video, 17, &param));
  for (int index = 0; index < FFDSHOW_PARAM_BLOCK_SIZE; ++index) {
    const int expected = index == 0 ? 17 : index == 4 || (index >= 13 && index <= 15) || (index >= 17 && index <= 24);
    EXPECT_EQ(expected, param.bytes[index]) << "byte " << index;
  }
  ASSERT_EQ(S_OK, kcm_defaultFFDShowFilterParam(AMTYPE_Audio, 1, &param));
  EXPECT_EQ(1, param.audio.type);
  EXPECT_EQ(1, param.bytes[4]);
  EXPECT_EQ(120, param.bytes[12] | (param.bytes[13] << 8));
  EXPECT_EQ(S_FALSE, kcm_defaultFFDShowFilterParam(AMTYPE_Video, 3, &param));
  EXPECT_EQ(3, param.video.type);
}

// Tests that a block set is the block read back, and that the flip byte reaches the filter.
TEST_F(FFDShowConfigApi, SetAndGetRoundTrip) {
  FFDShowFilterParam written;
  kcm_defaultFFDShowFilterParam(AMTYPE_Video, 17, &written);
  written.video.flip = 1;
  written.bytes[700] = 0x5A;
  ASSERT_EQ(S_OK, kcm_setFFDShowFilterParam(video, AMTYPE_Video, 17, &written));
  FFDShowFilterParam read;
  ASSERT_EQ(S_OK, kcm_getFFDShowFilterParam(video, AMTYPE_Video, 17, &read));
  EXPECT_EQ(0, memcmp(&written, &read, sizeof(read)));

  FFDShowFilterParam audioBlock;
  kcm_defaultFFDShowFilterParam(AMTYPE_Audio, 1, &audioBlock);
  ASSERT_EQ(S_OK, kcm_setFFDShowFilterParam(audio, AMTYPE_Audio, 1, &audioBlock));
  ASSERT_EQ(S_OK, kcm_setFFDShowFilterMasterVolume(audio, 80));
  ASSERT_EQ(S_OK, kcm_getFFDShowFilterParam(audio, AMTYPE_Audio, 1, &read));
  EXPECT_EQ(80, read.audio.masterVolume);
  const int volumes[] = {100, 0};
  ASSERT_EQ(S_OK, kcm_setFFDShowFilterVolumeData(audio, volumes, 2));
  ASSERT_EQ(S_OK, kcm_getFFDShowFilterParam(audio, AMTYPE_Audio, 1, &read));
  EXPECT_EQ(1, read.audio.useChannelVolumes);
  EXPECT_EQ(0, read.audio.channelVolumes[1]);
}

// Tests the helpers without a block: threads, OSD position, colour spaces, preset.
TEST_F(FFDShowConfigApi, ThreadsOsdColourSpacesAndPreset) {
  EXPECT_EQ(S_OK, kcm_setFFDShowPreset(video));
  EXPECT_EQ(S_OK, kcm_setFFDShowFilterMultiThreadDec(video, 4));
  EXPECT_EQ(S_OK, kcm_setFFDShowFilterOSDXPos(video, 33));
  const DWORD spaces[] = {0x32595559 /* YUY2 */, 0x32335652 /* RV32 */};
  EXPECT_EQ(S_OK, kcm_setFFDShowFilterCSPFccs(video, spaces, 2));
  IKcmFFDShowSettings* settings = SettingsOf(video);
  int value = 0;
  settings->GetDecoderThreads(&value);
  EXPECT_EQ(4, value);
  settings->GetOSDXPos(&value);
  EXPECT_EQ(33, value);
  DWORD read[4] = {};
  EXPECT_EQ(S_OK, settings->GetOutputColorSpaces(read, 4, &value));
  EXPECT_EQ(2, value);
  EXPECT_EQ(spaces[0], read[0]);
  EXPECT_EQ(spaces[1], read[1]);
  EXPECT_EQ(S_OK, kcm_setFFDShowFilterCSPFccs(video, nullptr, 0));
  settings->GetOutputColorSpaces(read, 4, &value);
  EXPECT_EQ(5, value);
  settings->Release();
}

// Tests the refusals: null arguments, the wrong media kind, bad values; each logged.
TEST_F(FFDShowConfigApi, RefusalsAreLogged) {
  LogCapture log;
  FFDShowFilterParam param;
  kcm_defaultFFDShowFilterParam(AMTYPE_Video, 17, &param);
  EXPECT_EQ(E_FAIL, kcm_setFFDShowFilterParam(nullptr, AMTYPE_Video, 17, &param));
  EXPECT_EQ(E_FAIL, kcm_setFFDShowFilterParam(video, AMTYPE_Video, 17, nullptr));
  EXPECT_EQ(E_INVALIDARG, kcm_setFFDShowFilterParam(audio, AMTYPE_Video, 17, &param));
  EXPECT_EQ(E_INVALIDARG, kcm_setFFDShowFilterParam(video, AMTYPE_Video, 18, &param));
  EXPECT_EQ(E_INVALIDARG, kcm_setFFDShowFilterMasterVolume(audio, -1));
  EXPECT_EQ(E_NOTIMPL, kcm_setFFDShowFilterMasterVolume(video, 100));
  EXPECT_EQ(E_INVALIDARG, kcm_setFFDShowFilterMultiThreadDec(video, 17));
  const DWORD unknown = 0x5A5A5A5A;
  EXPECT_EQ(E_INVALIDARG, kcm_setFFDShowFilterCSPFccs(video, &unknown, 1));
  IUnknown* notFFDShow = nullptr;
  IEnumPins* pins = nullptr;
  video->EnumPins(&pins);
  notFFDShow = pins;
  EXPECT_EQ(E_NOINTERFACE, kcm_setFFDShowFilterOSDXPos(notFFDShow, 1));
  pins->Release();
  EXPECT_EQ(2, log.Count("\"hr = E_FAIL\""));
  EXPECT_EQ(2, log.Count("settings->SetParam(type, param)"));
  EXPECT_EQ(2, log.Count("settings->SetMasterVolume(value)"));
  EXPECT_EQ(1, log.Count("IID_IKcmFFDShowSettings"));
}

}  // namespace
}  // namespace kcm_test
