#include "KestroMediaStreamType.h"

#include <gtest/gtest.h>

#include <string.h>

#include <memory>
#include <new>
#include <vector>

#include "core/LogCapture.h"
#include "uuids.h"

using Kestro::CMediaStreamType;
using Kestro::makeFourCC;

namespace {

const unsigned int kHeaderSize = CMediaStreamType::kImageHeaderSize;

// Counts AddRef and Release, to show that a copied pUnk is neither.
class CountingUnknown : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++addRefs; }
  ULONG STDMETHODCALLTYPE Release() override { return ++releases; }
  ULONG addRefs = 0;
  ULONG releases = 0;
};

// A video type with a VIDEOINFO followed by |extraSize| bytes of a pattern.
struct VideoTypeWithExtraData {
  explicit VideoTypeWithExtraData(unsigned int extraSize) : format(sizeof(VIDEOINFO) + extraSize) {
    for (size_t i = 0; i < format.size(); ++i) format[i] = static_cast<BYTE>(i * 13 + 5);
    mediaType.majortype = MEDIATYPE_Video;
    mediaType.subtype = MEDIASUBTYPE_H264;
    mediaType.formattype = FORMAT_VideoInfo;
    mediaType.cbFormat = static_cast<ULONG>(format.size());
    mediaType.pbFormat = format.data();
  }
  std::vector<BYTE> format;
  AM_MEDIA_TYPE mediaType = {};
};

bool IsAllZero(const void* bytes, size_t size) {
  const BYTE* p = static_cast<const BYTE*>(bytes);
  for (size_t i = 0; i < size; ++i) {
    if (p[i] != 0) return false;
  }
  return true;
}

// The image's format bytes lie right behind its own header.
void ExpectSelfContained(CMediaStreamType& streamType) {
  AM_MEDIA_TYPE& header = streamType.getAMMediaType();
  EXPECT_EQ(header.pbFormat, reinterpret_cast<BYTE*>(&header) + kHeaderSize);
}

std::string Dump(CMediaStreamType& streamType) {
  kcm_test::LogCapture capture;
  CMediaStreamType::dumpStreamType(streamType);
  return capture.All();
}

}  // namespace

TEST(MediaStreamType, ImageHeaderIsARealMediaType) {
  static_assert(CMediaStreamType::kImageHeaderSize == sizeof(AM_MEDIA_TYPE), "header handed out in place");
  CMediaStreamType streamType = CMediaStreamType::createAudioStreamType(1, 8000, 16);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(&streamType.getAMMediaType()) % alignof(AM_MEDIA_TYPE), 0u);
  ExpectSelfContained(streamType);
}

TEST(MediaStreamType, DefaultObjectHoldsNoImage) {
  CMediaStreamType streamType;
  EXPECT_FALSE(streamType.isValidFormat());
  EXPECT_FALSE(streamType.isVideo());
  EXPECT_FALSE(streamType.isAudio());
  EXPECT_EQ(streamType.getFourCC(), 0u);
  EXPECT_EQ(streamType.getBitmapHeader(), nullptr);
  EXPECT_EQ(streamType.getWaveFormat(), nullptr);
  EXPECT_EQ(streamType.getAvgTimePerFrame(), 0);
  EXPECT_EQ(streamType.getExtraData(), nullptr);
  EXPECT_EQ(streamType.getExtraDataSize(), 0u);
  EXPECT_TRUE(IsAllZero(&streamType.getAMMediaType(), sizeof(AM_MEDIA_TYPE)));
}

TEST(MediaStreamType, VideoBuilderMakesUncompressedArgb) {
  CMediaStreamType streamType = CMediaStreamType::createVideoStreamType(640, 480, 400000);
  const AM_MEDIA_TYPE& mediaType = streamType.getAMMediaType();
  EXPECT_TRUE(mediaType.majortype == MEDIATYPE_Video && mediaType.subtype == MEDIASUBTYPE_ARGB32 &&
              mediaType.formattype == FORMAT_VideoInfo);
  EXPECT_TRUE(mediaType.bFixedSizeSamples);
  EXPECT_FALSE(mediaType.bTemporalCompression);
  EXPECT_EQ(mediaType.lSampleSize, 1228800u);
  EXPECT_EQ(mediaType.pUnk, nullptr);
  ASSERT_EQ(mediaType.cbFormat, 1128u);
  ExpectSelfContained(streamType);
  VIDEOINFO expected = {};
  expected.AvgTimePerFrame = 400000;
  expected.bmiHeader = {40, 640, 480, 1, 32, BI_RGB, 1228800, 0, 0, 0, 0};
  EXPECT_EQ(memcmp(mediaType.pbFormat, &expected, sizeof(expected)), 0);

  EXPECT_TRUE(streamType.isVideo());
  EXPECT_TRUE(streamType.isValidFormat());
  EXPECT_EQ(streamType.getFourCC(), makeFourCC("RGBA"));
  EXPECT_EQ(streamType.getAvgTimePerFrame(), 400000);
  EXPECT_EQ(reinterpret_cast<BYTE*>(streamType.getBitmapHeader()), mediaType.pbFormat + 48);
  // A whole VIDEOINFO and nothing behind it: no extra data.
  EXPECT_EQ(streamType.getExtraData(), nullptr);
  EXPECT_EQ(streamType.getExtraDataSize(), 0u);
}

TEST(MediaStreamType, AudioBuilderMakesPcm) {
  CMediaStreamType streamType = CMediaStreamType::createAudioStreamType(2, 44100, 16);
  const AM_MEDIA_TYPE& mediaType = streamType.getAMMediaType();
  EXPECT_TRUE(mediaType.majortype == MEDIATYPE_Audio && mediaType.subtype == MEDIASUBTYPE_PCM &&
              mediaType.formattype == FORMAT_WaveFormatEx);
  EXPECT_FALSE(mediaType.bFixedSizeSamples);
  EXPECT_EQ(mediaType.lSampleSize, 0u);
  ASSERT_EQ(mediaType.cbFormat, 18u);
  const WAVEFORMATEX expected = {1, 2, 44100, 176400, 4, 16, 0};
  EXPECT_EQ(memcmp(mediaType.pbFormat, &expected, sizeof(expected)), 0);
  EXPECT_TRUE(streamType.isAudio());
  EXPECT_EQ(streamType.getFourCC(), makeFourCC("araw"));
  EXPECT_EQ(reinterpret_cast<BYTE*>(streamType.getWaveFormat()), mediaType.pbFormat);
}

TEST(MediaStreamType, AudioBuilderDividesSignedTowardZero) {
  CMediaStreamType odd = CMediaStreamType::createAudioStreamType(1, 8000, 12);
  EXPECT_EQ(odd.getWaveFormat()->nBlockAlign, 1);  // 12 / 8
  EXPECT_EQ(odd.getWaveFormat()->nAvgBytesPerSec, 12000u);
  CMediaStreamType negative = CMediaStreamType::createAudioStreamType(1, 1000, -12);
  EXPECT_EQ(negative.getWaveFormat()->nBlockAlign, 0xFFFF);  // -12 / 8 = -1, not -2
  EXPECT_EQ(negative.getWaveFormat()->nAvgBytesPerSec, static_cast<DWORD>(-1500));
}

TEST(MediaStreamType, CopyOfAMediaTypeOwnsItsFormat) {
  VideoTypeWithExtraData source(10);
  CountingUnknown unknown;
  source.mediaType.pUnk = &unknown;
  CMediaStreamType streamType(source.mediaType);
  AM_MEDIA_TYPE& image = streamType.getAMMediaType();
  ExpectSelfContained(streamType);
  EXPECT_NE(image.pbFormat, source.format.data());
  EXPECT_EQ(image.cbFormat, source.mediaType.cbFormat);
  EXPECT_EQ(memcmp(image.pbFormat, source.format.data(), source.format.size()), 0);
  EXPECT_EQ(memcmp(&image, &source.mediaType, offsetof(AM_MEDIA_TYPE, cbFormat)), 0);
  // pUnk travels as a plain value.
  EXPECT_EQ(image.pUnk, &unknown);
  EXPECT_EQ(unknown.addRefs + unknown.releases, 0u);
  EXPECT_EQ(streamType.getExtraDataSize(), 10u);
  EXPECT_EQ(streamType.getExtraData(), image.pbFormat + sizeof(VIDEOINFO));

  source.format.assign(source.format.size(), 0);  // the source changes afterwards
  EXPECT_EQ(streamType.getExtraData()[0], static_cast<BYTE>(sizeof(VIDEOINFO) * 13 + 5));
}

TEST(MediaStreamType, CopySurvivesItsSource) {
  std::unique_ptr<CMediaStreamType> source(
      new CMediaStreamType(CMediaStreamType::createVideoStreamType(320, 240, 333333)));
  CMediaStreamType constructed(*source);
  CMediaStreamType assigned;
  assigned = *source;
  source.reset();
  for (CMediaStreamType* copy : {&constructed, &assigned}) {
    ExpectSelfContained(*copy);
    ASSERT_NE(copy->getBitmapHeader(), nullptr);
    EXPECT_EQ(copy->getBitmapHeader()->biWidth, 320);
    EXPECT_EQ(copy->getAvgTimePerFrame(), 333333);
  }
}

TEST(MediaStreamType, ReassignmentReplacesTheImageAndGrowsOnlyWhenNeeded) {
  CMediaStreamType streamType = CMediaStreamType::createAudioStreamType(2, 48000, 16);
  VideoTypeWithExtraData large(3000);  // 88 + 1128 + 3000 bytes: beyond the first buffer
  streamType = large.mediaType;
  ExpectSelfContained(streamType);
  EXPECT_TRUE(streamType.isVideo());
  EXPECT_FALSE(streamType.isAudio());
  EXPECT_EQ(streamType.getExtraDataSize(), 3000u);
  EXPECT_EQ(memcmp(streamType.getAMMediaType().pbFormat, large.format.data(), large.format.size()), 0);
  const BYTE* grownFormat = streamType.getAMMediaType().pbFormat;

  // Smaller and equal images reuse the grown store.
  CMediaStreamType small = CMediaStreamType::createAudioStreamType(1, 8000, 8);
  streamType = small;
  EXPECT_EQ(streamType.getAMMediaType().pbFormat, grownFormat);
  EXPECT_TRUE(streamType.isAudio());
  EXPECT_EQ(streamType.getAMMediaType().cbFormat, 18u);
  EXPECT_EQ(streamType.getWaveFormat()->nSamplesPerSec, 8000u);
  EXPECT_EQ(streamType.getExtraDataSize(), 0u);
  streamType = large.mediaType;
  EXPECT_EQ(streamType.getAMMediaType().pbFormat, grownFormat);
  EXPECT_EQ(streamType.getExtraDataSize(), 3000u);
}

TEST(MediaStreamType, SelfAndAliasedSourcesKeepTheImage) {
  CMediaStreamType streamType = CMediaStreamType::createVideoStreamType(64, 48, 400000);
  CMediaStreamType& alias = streamType;
  streamType = alias;
  ExpectSelfContained(streamType);
  EXPECT_EQ(streamType.getBitmapHeader()->biWidth, 64);

  // The source is the object's own header and format, which copying must not overwrite
  // or move away before reading.
  streamType = streamType.getAMMediaType();
  ExpectSelfContained(streamType);
  EXPECT_EQ(streamType.getAMMediaType().cbFormat, 1128u);
  EXPECT_EQ(streamType.getBitmapHeader()->biHeight, 48);
  EXPECT_EQ(streamType.getAvgTimePerFrame(), 400000);
}

TEST(MediaStreamType, EmptySourceEmptiesTheCopy) {
  CMediaStreamType streamType = CMediaStreamType::createVideoStreamType(64, 48, 400000);
  CMediaStreamType empty;
  streamType = empty;
  EXPECT_FALSE(streamType.isValidFormat());
  EXPECT_FALSE(streamType.isVideo());
  EXPECT_TRUE(IsAllZero(&streamType.getAMMediaType(), sizeof(AM_MEDIA_TYPE)));
  CMediaStreamType copy(empty);
  EXPECT_FALSE(copy.isValidFormat());
}

TEST(MediaStreamType, MissingFormatBytesCountAsNone) {
  AM_MEDIA_TYPE mediaType = {};
  mediaType.majortype = MEDIATYPE_Video;
  mediaType.formattype = FORMAT_VideoInfo;
  mediaType.cbFormat = 1128;  // but no pbFormat
  CMediaStreamType streamType(mediaType);
  EXPECT_TRUE(streamType.isVideo());
  EXPECT_FALSE(streamType.isValidFormat());
  EXPECT_EQ(streamType.getAMMediaType().cbFormat, 0u);
  EXPECT_EQ(streamType.getBitmapHeader(), nullptr);
}

TEST(MediaStreamType, ImagesBeyond32BitsAreAnAllocationFailure) {
  std::vector<BYTE> format(16);
  AM_MEDIA_TYPE mediaType = {};
  mediaType.cbFormat = 0xFFFFFFFFu;
  mediaType.pbFormat = format.data();
  EXPECT_THROW(CMediaStreamType{mediaType}, std::bad_alloc);
  CMediaStreamType streamType = CMediaStreamType::createAudioStreamType(2, 44100, 16);
  EXPECT_THROW(streamType = mediaType, std::bad_alloc);
  EXPECT_TRUE(streamType.isAudio());  // the previous image stays
  EXPECT_EQ(streamType.getWaveFormat()->nSamplesPerSec, 44100u);
}

// The caller's image may sit anywhere, aligned or not; the short-image checks use the
// header size of this build.
TEST(MediaStreamType, FillByteStreamTakesTheCallersImage) {
  std::vector<BYTE> storage(kHeaderSize + 2);
  BYTE* bytes = storage.data() + 1;
  AM_MEDIA_TYPE header = {};
  header.majortype = MEDIATYPE_Stream;
  header.cbFormat = 1;
  memcpy(bytes, &header, kHeaderSize);
  bytes[kHeaderSize] = 0x5A;

  CMediaStreamType streamType;
  EXPECT_FALSE(streamType.fillByteStream(nullptr, kHeaderSize + 1));
  EXPECT_FALSE(streamType.fillByteStream(bytes, kHeaderSize - 1));
  EXPECT_FALSE(streamType.fillByteStream(bytes, kHeaderSize));  // the format byte is missing
  EXPECT_FALSE(streamType.isValidFormat());

  ASSERT_TRUE(streamType.fillByteStream(bytes, kHeaderSize + 1));
  BYTE* writtenPointer = nullptr;
  memcpy(&writtenPointer, bytes + offsetof(AM_MEDIA_TYPE, pbFormat), sizeof(writtenPointer));
  EXPECT_EQ(writtenPointer, bytes + kHeaderSize);
  EXPECT_TRUE(streamType.isValidFormat());
  EXPECT_EQ(streamType.getAMMediaType().pbFormat[0], 0x5A);
  ExpectSelfContained(streamType);
}

TEST(MediaStreamType, DumpOfVideo) {
  CMediaStreamType video = CMediaStreamType::createVideoStreamType(640, 480, 400000);
  EXPECT_EQ(Dump(video),
            "======== dumpStreamType ========\n"
            "video stream\n"
            "width: 640  height: 480  fps: 25\n");
  CMediaStreamType still = CMediaStreamType::createVideoStreamType(320, 240, 0);
  EXPECT_EQ(Dump(still),
            "======== dumpStreamType ========\n"
            "video stream\n"
            "width: 320  height: 240  fps: 0\n");
  CMediaStreamType slow = CMediaStreamType::createVideoStreamType(320, 240, 3000000);  // 3.33 fps
  EXPECT_NE(Dump(slow).find("fps: 3\n"), std::string::npos);
}

TEST(MediaStreamType, DumpOfAudioAndUnknown) {
  CMediaStreamType audio = CMediaStreamType::createAudioStreamType(2, 44100, 16);
  EXPECT_EQ(Dump(audio),
            "======== dumpStreamType ========\n"
            "audio stream\n"
            "ch: 2  rate: 44100  bit: 16\n");
  CMediaStreamType unknown;
  EXPECT_EQ(Dump(unknown),
            "======== dumpStreamType ========\n"
            "unknown stream\n");
}

TEST(MediaStreamType, DumpLeavesOutTheLineItCannotFill) {
  std::vector<BYTE> format(104);
  AM_MEDIA_TYPE mediaType = {};
  mediaType.majortype = MEDIATYPE_Video;
  mediaType.formattype = FORMAT_MPEGVideo;  // carries no bitmap header we read
  mediaType.cbFormat = static_cast<ULONG>(format.size());
  mediaType.pbFormat = format.data();
  CMediaStreamType video(mediaType);
  EXPECT_EQ(Dump(video), "======== dumpStreamType ========\nvideo stream\n");

  mediaType.majortype = MEDIATYPE_Audio;
  mediaType.formattype = GUID_NULL;
  CMediaStreamType audio(mediaType);
  EXPECT_EQ(Dump(audio), "======== dumpStreamType ========\naudio stream\n");
}
