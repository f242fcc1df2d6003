#include "KestroMediaStreamType.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "dvdmedia.h"
#include "uuids.h"

using Kestro::makeFourCC;

namespace {

AM_MEDIA_TYPE MediaType(const GUID& majortype, const GUID& subtype, const GUID& formattype = GUID_NULL,
                        BYTE* format = nullptr, ULONG formatSize = 0) {
  AM_MEDIA_TYPE mediaType = {};
  mediaType.majortype = majortype;
  mediaType.subtype = subtype;
  mediaType.formattype = formattype;
  mediaType.pbFormat = format;
  mediaType.cbFormat = formatSize;
  return mediaType;
}

// A subtype whose first word is |code| and whose other twelve bytes are not the FourCC base.
GUID WithFirstWord(uint32_t code) { return GUID{code, 0x1234, 0xABCD, {0xDE, 0xAD, 0xBE, 0xEF, 0x01, 0x02, 0x03, 0x04}}; }

GUID FourCCSubtype(const char (&text)[5]) { return KcmFourCCSubtype(makeFourCC(text)); }

// The FourCC of a four-character text, computed apart from makeFourCC.
uint32_t Code(const char* text) {
  uint32_t code;
  memcpy(&code, text, 4);
  return code;
}

std::string Text(uint32_t fourCC) {
  char text[5] = {};
  memcpy(text, &fourCC, 4);
  return text;
}

const GUID kMp4aSubtype = {0x00000006, 0x0CEA, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

struct KindCase {
  const char* name;
  GUID majortype, subtype, formattype;
  _AMTYPE expected;
};

struct NameCase {
  GUID subtype;
  const char* expected;
};

}  // namespace

TEST(FourCC, FourCharactersInMemoryOrder) {
  static_assert(makeFourCC("YUY2") == 0x32595559 && makeFourCC("h264") == 0x34363268, "little-endian words");
  EXPECT_EQ(makeFourCC("mp3 "), Code("mp3 "));
  EXPECT_TRUE(KcmFourCCSubtype(makeFourCC("YUY2")) == MEDIASUBTYPE_YUY2);
}

TEST(MediaKind, FirstRuleThatHoldsDecides) {
  const KindCase cases[] = {
      {"video major", MEDIATYPE_Video, GUID_NULL, GUID_NULL, AMTYPE_Video},
      {"analog video major", MEDIATYPE_AnalogVideo, GUID_NULL, GUID_NULL, AMTYPE_Video},
      {"audio major", MEDIATYPE_Audio, GUID_NULL, GUID_NULL, AMTYPE_Audio},
      {"analog audio major", MEDIATYPE_AnalogAudio, GUID_NULL, GUID_NULL, AMTYPE_Audio},
      {"audio major beats video format", MEDIATYPE_Audio, GUID_NULL, FORMAT_VideoInfo, AMTYPE_Audio},
      {"video major beats wave format", MEDIATYPE_Video, GUID_NULL, FORMAT_WaveFormatEx, AMTYPE_Video},
      {"MPEG-1 format", MEDIATYPE_Stream, GUID_NULL, FORMAT_MPEGVideo, AMTYPE_Video},
      {"MPEG-2 format", MEDIATYPE_Stream, GUID_NULL, FORMAT_MPEG2Video, AMTYPE_Video},
      {"VideoInfo format", GUID_NULL, GUID_NULL, FORMAT_VideoInfo, AMTYPE_Video},
      {"VideoInfo2 format", GUID_NULL, GUID_NULL, FORMAT_VideoInfo2, AMTYPE_Video},
      {"video format beats MPEG-1 audio", MEDIATYPE_Stream, MEDIASUBTYPE_MPEG1Audio, FORMAT_VideoInfo, AMTYPE_Video},
      {"MPEG-1 audio subtype", MEDIATYPE_Stream, MEDIASUBTYPE_MPEG1Audio, GUID_NULL, AMTYPE_Audio},
      {"wave format", MEDIATYPE_Stream, GUID_NULL, FORMAT_WaveFormatEx, AMTYPE_Audio},
      {"nothing known", MEDIATYPE_Stream, MEDIASUBTYPE_MPEG2_TRANSPORT, FORMAT_None, AMTYPE_Unknown},
  };
  for (const KindCase& c : cases) {
    EXPECT_EQ(Kestro::mediaKindOf(MediaType(c.majortype, c.subtype, c.formattype)), c.expected) << c.name;
  }
}

TEST(CanonicalFourCC, VideoSubtypesWithNamesOfTheirOwn) {
  const NameCase cases[] = {
      {MEDIASUBTYPE_RGB1, "RGB1"}, {MEDIASUBTYPE_RGB4, "RGB4"},     {MEDIASUBTYPE_RGB8, "RGB8"},
      {MEDIASUBTYPE_RGB555, "RV15"}, {MEDIASUBTYPE_RGB565, "RV16"}, {MEDIASUBTYPE_RGB24, "RV24"},
      {MEDIASUBTYPE_RGB32, "RV32"}, {MEDIASUBTYPE_ARGB32, "RGBA"},  {MEDIASUBTYPE_I420, "I420"},
      {MEDIASUBTYPE_Y41P, "I411"}, {MEDIASUBTYPE_YV12, "YV12"},     {MEDIASUBTYPE_IYUV, "YV12"},
      {MEDIASUBTYPE_YVU9, "YVU9"}, {MEDIASUBTYPE_YVYU, "YVYU"},     {MEDIASUBTYPE_YUYV, "YUY2"},
      {MEDIASUBTYPE_Y411, "I41N"}, {MEDIASUBTYPE_Y211, "Y211"},     {MEDIASUBTYPE_YUY2, "YUY2"},
      {MEDIASUBTYPE_UYVY, "UYVY"}, {MEDIASUBTYPE_MPEG2_VIDEO, "mp2v"}, {MEDIASUBTYPE_dvsl, "dvsl"},
      {MEDIASUBTYPE_dvsd, "dvsd"}, {MEDIASUBTYPE_dvhd, "dvhd"},
      // Whole-GUID names that override the ones above.
      {MEDIASUBTYPE_MPEG1Payload, "mp1v"}, {MEDIASUBTYPE_MPEG1Packet, "mp1v"}, {MEDIASUBTYPE_AVC1, "avc1"},
  };
  for (const NameCase& c : cases) {
    // An MPEG-2 format would name the type "mp2v" if the subtype did not.
    const AM_MEDIA_TYPE mediaType = MediaType(MEDIATYPE_Video, c.subtype, FORMAT_MPEG2Video);
    EXPECT_EQ(Text(Kestro::fourCCFromMediaType(mediaType)), c.expected) << Text(c.subtype.Data1);
  }
}

TEST(CanonicalFourCC, VideoCodingsKnownByTheFirstWordAlone) {
  struct CodeCase {
    uint32_t code;
    const char* expected;
  };
  std::vector<CodeCase> cases;
  for (const char* code : {"2iv1", "dx50", "DX50", "AP41", "3IV1", "3IV2", "3iv2", "3IVD", "3ivd", "3VID", "3vid",
                           "DIV1", "div1", "DIV2", "div2", "DIV3", "div3", "DIV4", "div4", "DIV5", "div5", "DIV6",
                           "div6", "DIVX", "divx", "XVID", "xvid", "XviD", "MP42", "mp42", "MP43", "mp43", "MPG3",
                           "mpg3", "MPG4", "mpg4", "mp4v"}) {
    cases.push_back({Code(code), "mp4v"});
  }
  cases.push_back({1, "mp4v"});
  cases.push_back({4, "mp4v"});
  const std::vector<std::pair<std::vector<const char*>, const char*>> groups = {
      {{"M4S2", "m4s2", "MP4S", "mp4s"}, "MP4S"},
      {{"H264", "h264", "VSSH"}, "h264"},
      {{"AVC1"}, "avc1"},
      {{"U263", "H263", "I263", "h263", "i263"}, "H263"},
      {{"H261", "h261"}, "h261"},
      {{"WMV1", "wmv1", "WMV2", "wmv2", "WMV3", "wmv3"}, "wmv2"},
      {{"rv10"}, "rv10"}, {{"RV10"}, "RV10"}, {{"RV20"}, "RV20"}, {{"rv20"}, "rv20"},
  };
  for (const auto& group : groups) {
    for (const char* code : group.first) {
      cases.push_back({Code(code), group.second});
    }
  }
  ASSERT_EQ(cases.size(), 39u + 25u);
  for (const CodeCase& c : cases) {
    for (const GUID& subtype : {KcmFourCCSubtype(c.code), WithFirstWord(c.code)}) {
      const AM_MEDIA_TYPE mediaType = MediaType(MEDIATYPE_Video, subtype, FORMAT_MPEG2Video);
      EXPECT_EQ(Text(Kestro::fourCCFromMediaType(mediaType)), c.expected) << "word " << c.code;
    }
  }
}

TEST(CanonicalFourCC, DivxWordMapsToMpeg4WhateverTheOtherBytes) {
  GUID subtype = WithFirstWord(makeFourCC("DIVX"));
  for (int seed = 0; seed < 16; ++seed) {
    for (int i = 0; i < 8; ++i) subtype.Data4[i] = static_cast<BYTE>(seed * 37 + i * 11);
    subtype.Data2 = static_cast<WORD>(seed * 4099);
    EXPECT_EQ(Kestro::fourCCFromMediaType(MediaType(MEDIATYPE_Video, subtype)), makeFourCC("mp4v"));
  }
}

TEST(CanonicalFourCC, UnnamedVideoFallsBackToFormatThenWord) {
  const GUID unnamed = WithFirstWord(makeFourCC("abcd"));
  EXPECT_EQ(Kestro::fourCCFromMediaType(MediaType(MEDIATYPE_Video, unnamed, FORMAT_MPEGVideo)), makeFourCC("mp1v"));
  EXPECT_EQ(Kestro::fourCCFromMediaType(MediaType(MEDIATYPE_Video, unnamed, FORMAT_MPEG2Video)), makeFourCC("mp2v"));
  EXPECT_EQ(Kestro::fourCCFromMediaType(MediaType(MEDIATYPE_Video, unnamed, FORMAT_VideoInfo)), makeFourCC("abcd"));
  // The GUID must match whole for a name of its own: only the first word counts here.
  EXPECT_EQ(Kestro::fourCCFromMediaType(MediaType(MEDIATYPE_Video, WithFirstWord(makeFourCC("YUY2")))),
            makeFourCC("YUY2"));
  EXPECT_EQ(Kestro::fourCCFromMediaType(MediaType(MEDIATYPE_Video, WithFirstWord(MEDIASUBTYPE_RGB24.Data1),
                                                  FORMAT_MPEG2Video)),
            makeFourCC("mp2v"));
  // The PCM subtype's word is 1, one of the MPEG-4 words.
  EXPECT_EQ(Kestro::fourCCFromMediaType(MediaType(MEDIATYPE_Video, MEDIASUBTYPE_PCM)), makeFourCC("mp4v"));
}

TEST(CanonicalFourCC, AudioRulesInOrder) {
  const AM_MEDIA_TYPE cases[] = {
      MediaType(MEDIATYPE_Audio, MEDIASUBTYPE_MPEG1Payload, FORMAT_WaveFormatEx),
      MediaType(MEDIATYPE_Audio, MEDIASUBTYPE_MPEG1Packet),
      MediaType(MEDIATYPE_Audio, MEDIASUBTYPE_MPEG2_AUDIO, FORMAT_WaveFormatEx),
      MediaType(MEDIATYPE_Audio, GUID{0x000000FF, 0x0000, 0x0010, {0xB0, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}}),
      MediaType(MEDIATYPE_Audio, KcmFourCCSubtype(0x1610)),
      MediaType(MEDIATYPE_Audio, MEDIASUBTYPE_RAW_AAC1, FORMAT_WaveFormatEx),
      MediaType(MEDIATYPE_Audio, kMp4aSubtype),
      MediaType(MEDIATYPE_Audio, MEDIASUBTYPE_PCM, FORMAT_WaveFormatEx),
      MediaType(MEDIATYPE_Audio, MEDIASUBTYPE_IEEE_FLOAT, FORMAT_WaveFormatEx),
      MediaType(MEDIATYPE_Audio, MEDIASUBTYPE_PCM),  // PCM is "araw" only with a wave format
      MediaType(MEDIATYPE_Audio, FourCCSubtype("sowt"), FORMAT_MPEGVideo),
      MediaType(MEDIATYPE_Audio, FourCCSubtype("sowt"), FORMAT_MPEG2Video),
      MediaType(MEDIATYPE_Audio, FourCCSubtype("sowt"), FORMAT_WaveFormatEx),
      MediaType(MEDIATYPE_Audio, FourCCSubtype("DIVX")),  // the MPEG-4 words are video only
  };
  const char* expected[] = {"mp3 ", "mp3 ", "mpga", "mp4a", "mp4a", "mp4a", "mp4a",
                            "araw", "fl32", "\x01",  "mp1v", "mp2v", "sowt", "DIVX"};
  static_assert(sizeof(cases) / sizeof(cases[0]) == sizeof(expected) / sizeof(expected[0]), "one answer per case");
  for (size_t i = 0; i < sizeof(expected) / sizeof(expected[0]); ++i) {
    EXPECT_EQ(Text(Kestro::fourCCFromMediaType(cases[i])), expected[i]) << "case " << i;
  }
}

TEST(CanonicalFourCC, StreamAndOtherMajorTypes) {
  EXPECT_EQ(Kestro::fourCCFromMediaType(MediaType(MEDIATYPE_Stream, MEDIASUBTYPE_MPEG2_PROGRAM)), makeFourCC("mp2p"));
  EXPECT_EQ(Kestro::fourCCFromMediaType(MediaType(MEDIATYPE_Stream, MEDIASUBTYPE_MPEG2_TRANSPORT)), makeFourCC("mp2t"));
  EXPECT_EQ(Kestro::fourCCFromMediaType(MediaType(MEDIATYPE_Stream, FourCCSubtype("h264"), FORMAT_MPEG2Video)),
            makeFourCC("h264"));
  EXPECT_EQ(Kestro::fourCCFromMediaType(MediaType(MEDIATYPE_Stream, GUID_NULL, FORMAT_MPEG2Video)), makeFourCC("mp2v"));
  EXPECT_EQ(Kestro::fourCCFromMediaType(MediaType(MEDIATYPE_Stream, GUID_NULL, FORMAT_MPEGVideo)), makeFourCC("mp1v"));
  EXPECT_EQ(Kestro::fourCCFromMediaType(MediaType(MEDIATYPE_Stream, GUID_NULL)), 0u);

  // Any other major type knows only the format rule: no names of subtypes.
  EXPECT_EQ(Kestro::fourCCFromMediaType(MediaType(MEDIATYPE_Interleaved, MEDIASUBTYPE_dvsd)), makeFourCC("dvsd"));
  EXPECT_EQ(Kestro::fourCCFromMediaType(MediaType(MEDIATYPE_Interleaved, MEDIASUBTYPE_RGB24)),
            MEDIASUBTYPE_RGB24.Data1);
  EXPECT_EQ(Kestro::fourCCFromMediaType(MediaType(GUID_NULL, FourCCSubtype("DIVX"), FORMAT_MPEG2Video)),
            makeFourCC("mp2v"));
}

TEST(SubtypeFromFourCC, EveryRowOfTheVocabulary) {
  struct Row {
    const char* fourCC;
    GUID subtype;
    bool compressed;
  };
  const Row rows[] = {
      {"RGB1", MEDIASUBTYPE_RGB1, false},       {"RGB4", MEDIASUBTYPE_RGB4, false},
      {"RGB8", MEDIASUBTYPE_RGB8, false},       {"RV15", MEDIASUBTYPE_RGB555, false},
      {"RV16", MEDIASUBTYPE_RGB565, false},     {"RV24", MEDIASUBTYPE_RGB24, false},
      {"RV32", MEDIASUBTYPE_RGB32, false},      {"RGBA", MEDIASUBTYPE_ARGB32, false},
      {"I420", MEDIASUBTYPE_I420, false},       {"YV12", MEDIASUBTYPE_YV12, false},
      {"YVU9", MEDIASUBTYPE_YVU9, false},       {"YVYU", MEDIASUBTYPE_YVYU, false},
      {"YUYV", MEDIASUBTYPE_YUYV, false},       {"Y211", MEDIASUBTYPE_Y211, false},
      {"YUY2", MEDIASUBTYPE_YUY2, false},       {"UYVY", MEDIASUBTYPE_UYVY, false},
      {"I411", MEDIASUBTYPE_Y41P, false},       {"I41N", MEDIASUBTYPE_Y411, false},
      {"araw", MEDIASUBTYPE_PCM, false},        {"fl32", MEDIASUBTYPE_IEEE_FLOAT, false},
      {"mp2v", MEDIASUBTYPE_MPEG2_VIDEO, true}, {"dvsl", MEDIASUBTYPE_dvsl, true},
      {"dvsd", MEDIASUBTYPE_dvsd, true},        {"dvhd", MEDIASUBTYPE_dvhd, true},
      {"h264", FourCCSubtype("h264"), true},    {"MP4S", FourCCSubtype("MP4S"), true},
      {"wmv2", FourCCSubtype("wmv2"), true},    {"avc1", MEDIASUBTYPE_AVC1, true},
      {"mp4v", FourCCSubtype("mpg4"), true},    {"mp1v", MEDIASUBTYPE_MPEG1Packet, true},
      {"mp3 ", MEDIASUBTYPE_MPEG1Packet, true}, {"mpga", MEDIASUBTYPE_MPEG2_AUDIO, true},
      {"mp4a", kMp4aSubtype, true},             {"mp2p", MEDIASUBTYPE_MPEG2_PROGRAM, true},
      {"mp2t", MEDIASUBTYPE_MPEG2_TRANSPORT, true},
  };
  for (const Row& row : rows) {
    bool compressed = !row.compressed;
    const GUID subtype =
        Kestro::subtypeFromFourCC(Code(row.fourCC), &compressed);
    EXPECT_TRUE(subtype == row.subtype) << row.fourCC;
    EXPECT_EQ(compressed, row.compressed) << row.fourCC;
  }
}

TEST(SubtypeFromFourCC, UnknownIsNullAndCompressed) {
  bool compressed = false;
  EXPECT_TRUE(Kestro::subtypeFromFourCC(makeFourCC("H264"), &compressed) == GUID_NULL);  // case matters
  EXPECT_TRUE(compressed);
  EXPECT_TRUE(Kestro::subtypeFromFourCC(0, nullptr) == GUID_NULL);
  EXPECT_TRUE(Kestro::subtypeFromFourCC(makeFourCC("YUY2"), nullptr) == MEDIASUBTYPE_YUY2);
}

// The source filter offers subtypeFromFourCC's subtype and the render filter names what it
// receives: the names survive the trip, except that YUYV is named YUY2.
TEST(SubtypeFromFourCC, VideoNamesSurviveTheTripThroughASubtype) {
  for (const char* name : {"RGB1", "RV15", "RV24", "RGBA", "I420", "YV12", "I411", "I41N", "UYVY", "mp2v", "dvsd",
                           "h264", "MP4S", "wmv2", "avc1", "mp4v", "mp1v"}) {
    const uint32_t fourCC = Code(name);
    const AM_MEDIA_TYPE mediaType = MediaType(MEDIATYPE_Video, Kestro::subtypeFromFourCC(fourCC, nullptr));
    EXPECT_EQ(Text(Kestro::fourCCFromMediaType(mediaType)), name);
  }
}

TEST(FormatBlocks, BitmapHeaderAndFrameTimeOfEachVideoFormat) {
  struct Row {
    GUID formattype;
    ULONG size;
    size_t bitmapOffset;
  };
  const Row rows[] = {{FORMAT_VideoInfo, sizeof(VIDEOINFOHEADER), 48},
                      {FORMAT_VideoInfo2, sizeof(VIDEOINFOHEADER2), 72},
                      {FORMAT_MPEG2Video, sizeof(MPEG2VIDEOINFO), 72}};
  for (const Row& row : rows) {
    std::vector<BYTE> format(row.size);
    const REFERENCE_TIME avgTimePerFrame = 333667;
    memcpy(format.data() + 40, &avgTimePerFrame, sizeof(avgTimePerFrame));
    const AM_MEDIA_TYPE mediaType = MediaType(MEDIATYPE_Video, GUID_NULL, row.formattype, format.data(), row.size);
    EXPECT_EQ(reinterpret_cast<BYTE*>(Kestro::bitmapHeaderOf(mediaType)), format.data() + row.bitmapOffset);
    EXPECT_EQ(Kestro::avgTimePerFrameOf(mediaType), avgTimePerFrame);
    EXPECT_EQ(Kestro::waveFormatOf(mediaType), nullptr);
  }
}

TEST(FormatBlocks, AbsentOrShortBlocksGiveNothing) {
  std::vector<BYTE> format(sizeof(VIDEOINFO), 0x11);
  auto video = [&](const GUID& formattype, ULONG size, bool withBlock = true) {
    return MediaType(MEDIATYPE_Video, GUID_NULL, formattype, withBlock ? format.data() : nullptr, size);
  };
  auto wave = [&](const GUID& formattype, ULONG size) {
    return MediaType(MEDIATYPE_Audio, GUID_NULL, formattype, format.data(), size);
  };
  EXPECT_EQ(Kestro::bitmapHeaderOf(video(FORMAT_MPEGVideo, 1128)), nullptr);
  EXPECT_EQ(Kestro::avgTimePerFrameOf(video(FORMAT_MPEGVideo, 1128)), 0);
  EXPECT_EQ(Kestro::bitmapHeaderOf(video(FORMAT_VideoInfo, 1128, false)), nullptr);
  EXPECT_EQ(Kestro::bitmapHeaderOf(video(FORMAT_VideoInfo, 87)), nullptr);
  EXPECT_NE(Kestro::bitmapHeaderOf(video(FORMAT_VideoInfo, 88)), nullptr);
  EXPECT_EQ(Kestro::avgTimePerFrameOf(video(FORMAT_VideoInfo, 47)), 0);
  EXPECT_EQ(Kestro::waveFormatOf(wave(FORMAT_WaveFormatEx, 17)), nullptr);
  EXPECT_EQ(reinterpret_cast<BYTE*>(Kestro::waveFormatOf(wave(FORMAT_WaveFormatEx, 18))), format.data());
  EXPECT_EQ(Kestro::waveFormatOf(wave(FORMAT_VideoInfo, 1128)), nullptr);
}

TEST(FormatBlocks, FrameTimeOfAnUnalignedBlock) {
  std::vector<BYTE> storage(sizeof(VIDEOINFOHEADER) + 1);
  BYTE* format = storage.data() + 1;
  const REFERENCE_TIME avgTimePerFrame = 0x0123456789ABCDEF;
  memcpy(format + 40, &avgTimePerFrame, sizeof(avgTimePerFrame));
  const AM_MEDIA_TYPE mediaType = MediaType(MEDIATYPE_Video, GUID_NULL, FORMAT_VideoInfo, format, sizeof(VIDEOINFOHEADER));
  EXPECT_EQ(Kestro::avgTimePerFrameOf(mediaType), avgTimePerFrame);
}

TEST(ExtraData, PlaceAndSizeByFormatType) {
  struct Row {
    const char* name;
    GUID majortype, formattype;
    ULONG formatSize;
    ptrdiff_t offset;  // -1: none
    uint32_t size;
  };
  const Row rows[] = {
      {"VideoInfo, whole VIDEOINFO only", MEDIATYPE_Video, FORMAT_VideoInfo, 1128, -1, 0},
      {"VideoInfo, 5 behind", MEDIATYPE_Video, FORMAT_VideoInfo, 1133, 1128, 5},
      {"VideoInfo, shorter than VIDEOINFO", MEDIATYPE_Video, FORMAT_VideoInfo, 88, -1, 0},
      {"VideoInfo2, header only", MEDIATYPE_Video, FORMAT_VideoInfo2, 112, -1, 0},
      {"VideoInfo2, 3 behind", MEDIATYPE_Video, FORMAT_VideoInfo2, 115, 112, 3},
      {"MPEG2Video, record only", MEDIATYPE_Video, FORMAT_MPEG2Video, 136, -1, 0},
      {"MPEG2Video, 7 of sequence header", MEDIATYPE_Video, FORMAT_MPEG2Video, 143, 132, 7},
      {"MPEG2Video, short", MEDIATYPE_Video, FORMAT_MPEG2Video, 133, -1, 0},
      {"MPEG-1 video has none", MEDIATYPE_Video, FORMAT_MPEGVideo, 200, -1, 0},
      {"video with a wave format", MEDIATYPE_Video, FORMAT_WaveFormatEx, 200, -1, 0},
      {"wave, 4 behind", MEDIATYPE_Audio, FORMAT_WaveFormatEx, 22, 18, 4},
      {"wave, record only", MEDIATYPE_Audio, FORMAT_WaveFormatEx, 18, -1, 0},
      {"audio with a video format", MEDIATYPE_Audio, FORMAT_VideoInfo, 2000, -1, 0},
      {"wave format alone makes audio", GUID_NULL, FORMAT_WaveFormatEx, 20, 18, 2},
  };
  std::vector<BYTE> format(4096);
  for (const Row& row : rows) {
    const AM_MEDIA_TYPE mediaType = MediaType(row.majortype, GUID_NULL, row.formattype, format.data(), row.formatSize);
    const BYTE* expected = row.offset < 0 ? nullptr : format.data() + row.offset;
    EXPECT_EQ(Kestro::extraDataOf(mediaType), expected) << row.name;
    EXPECT_EQ(Kestro::extraDataSizeOf(mediaType), row.size) << row.name;
  }
  const AM_MEDIA_TYPE noBlock = MediaType(MEDIATYPE_Audio, GUID_NULL, FORMAT_WaveFormatEx, nullptr, 40);
  EXPECT_EQ(Kestro::extraDataOf(noBlock), nullptr);
  EXPECT_EQ(Kestro::extraDataSizeOf(noBlock), 0u);
}
