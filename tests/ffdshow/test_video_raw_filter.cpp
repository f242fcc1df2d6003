// The raw video processor of the ffdshow stand-in: pass-through, flip and colour spaces.
#include <stdlib.h>
#include <string.h>

#include <gtest/gtest.h>

#include "FFDShowTestSupport.h"
#include "KestroPixelConvert.h"
#include "uuids.h"

namespace kcm_test {
namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;

DWORD FourCC(const char* text) { return text[0] | (text[1] << 8) | (text[2] << 16) | (static_cast<DWORD>(text[3]) << 24); }

CMediaType RawType(const GUID& subtype, DWORD compression, WORD bits, int width, int height) {
  CMediaType type(&MEDIATYPE_Video);
  type.SetSubtype(&subtype);
  type.SetFormatType(&FORMAT_VideoInfo);
  BYTE* block = type.AllocFormatBuffer(sizeof(VIDEOINFO));
  memset(block, 0, sizeof(VIDEOINFO));
  BITMAPINFOHEADER& header = reinterpret_cast<VIDEOINFO*>(block)->bmiHeader;
  header.biSize = sizeof(BITMAPINFOHEADER);
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = bits;
  header.biCompression = compression;
  header.biSizeImage = static_cast<DWORD>(width * abs(height) * bits / 8);
  type.SetSampleSize(header.biSizeImage);
  return type;
}

std::vector<BYTE> Pattern(size_t size) {
  std::vector<BYTE> bytes(size);
  for (size_t index = 0; index < size; ++index) bytes[index] = static_cast<BYTE>(index * 7 + index / 97);
  return bytes;
}

void SetFlip(IBaseFilter* filter, bool flip) {
  IKcmFFDShowSettings* settings = SettingsOf(filter);
  FFDShowFilterParam param{};
  param.video.type = FFDSHOW_PARAM_VIDEO_OUTPUT;
  param.video.enabled = 1;
  param.video.flip = flip ? 1 : 0;
  EXPECT_EQ(S_OK, settings->SetParam(FFDSHOW_PARAM_VIDEO_OUTPUT, &param));
  settings->Release();
}

// Rows of `stride` bytes in reverse order.
std::vector<BYTE> Flipped(const std::vector<BYTE>& bytes, size_t stride, size_t offset = 0, size_t rows = 0) {
  std::vector<BYTE> result = bytes;
  if (rows == 0) rows = bytes.size() / stride;
  for (size_t row = 0; row < rows; ++row) {
    memcpy(result.data() + offset + row * stride, bytes.data() + offset + (rows - 1 - row) * stride, stride);
  }
  return result;
}

// Tests that a picture passes through untouched in its own layout, and mirrored with the flip.
TEST(VideoRawFilter, PassesThroughAndFlipsInTheInputLayout) {
  for (bool flip : {false, true}) {
    FFDShowRig rig(FFDShowEntry::VideoRaw);
    SetFlip(rig.filter, flip);
    ASSERT_EQ(S_OK, rig.Start(RawType(MEDIASUBTYPE_RGB32, BI_RGB, 32, kWidth, kHeight)));
    EXPECT_EQ(MEDIASUBTYPE_RGB32, rig.harness->downstream().ConnectionType().subtype);
    const std::vector<BYTE> picture = Pattern(kWidth * kHeight * 4);
    rig.harness->Push(picture, 0, 400000);
    ASSERT_EQ(1u, rig.harness->received().size());
    EXPECT_EQ(flip ? Flipped(picture, kWidth * 4) : picture, rig.harness->received()[0].bytes);
  }
}

// Tests that YV12 in, I420 out only exchanges the chroma planes, and flips every plane.
TEST(VideoRawFilter, Yv12ToI420SwapsChromaPlanes) {
  FFDShowRig rig(FFDShowEntry::VideoRaw);
  IKcmFFDShowSettings* settings = SettingsOf(rig.filter);
  const DWORD i420 = FourCC("I420");
  ASSERT_EQ(S_OK, settings->SetOutputColorSpaces(&i420, 1));
  settings->Release();
  SetFlip(rig.filter, true);
  ASSERT_EQ(S_OK, rig.Start(RawType(MEDIASUBTYPE_YV12, FourCC("YV12"), 12, kWidth, kHeight)));
  const size_t luma = kWidth * kHeight;
  const size_t chroma = luma / 4;
  const std::vector<BYTE> picture = Pattern(luma + 2 * chroma);
  rig.harness->Push(picture, 0, 1);
  ASSERT_EQ(1u, rig.harness->received().size());
  const std::vector<BYTE>& output = rig.harness->received()[0].bytes;
  ASSERT_EQ(picture.size(), output.size());
  std::vector<BYTE> expected(picture.begin(), picture.begin() + luma);
  expected = Flipped(expected, kWidth);
  const std::vector<BYTE> v(picture.begin() + luma, picture.begin() + luma + chroma);
  const std::vector<BYTE> u(picture.begin() + luma + chroma, picture.end());
  for (const std::vector<BYTE>* plane : {&u, &v}) {
    const std::vector<BYTE> flipped = Flipped(*plane, kWidth / 2);
    expected.insert(expected.end(), flipped.begin(), flipped.end());
  }
  EXPECT_EQ(expected, output);
}

// Tests that YUY2 in, RGB32 out gives the library's own BT.601 colours (within the
// rounding of the two conversions) stored bottom-up.
TEST(VideoRawFilter, Yuy2ToRgb32MatchesTheLibrarysConversion) {
  FFDShowRig rig(FFDShowEntry::VideoRaw);
  IKcmFFDShowSettings* settings = SettingsOf(rig.filter);
  const DWORD rgb32 = FourCC("RV32");
  ASSERT_EQ(S_OK, settings->SetOutputColorSpaces(&rgb32, 1));
  settings->Release();
  ASSERT_EQ(S_OK, rig.Start(RawType(MEDIASUBTYPE_YUY2, FourCC("YUY2"), 16, kWidth, kHeight)));
  std::vector<BYTE> picture(kWidth * kHeight * 2);
  for (size_t pair = 0; pair < picture.size() / 4; ++pair) {
    picture[pair * 4 + 0] = static_cast<BYTE>(16 + pair % 219);
    picture[pair * 4 + 1] = static_cast<BYTE>(16 + (pair / 3) % 224);
    picture[pair * 4 + 2] = static_cast<BYTE>(16 + (pair * 5) % 219);
    picture[pair * 4 + 3] = static_cast<BYTE>(16 + (pair / 7) % 224);
  }
  rig.harness->Push(picture, 0, 1);
  ASSERT_EQ(1u, rig.harness->received().size());
  std::vector<BYTE> expected(kWidth * kHeight * 4);
  kcm_YUV2RGB(picture.data(), expected.data(), kWidth, kHeight, false, true);  // bottom-up as well
  const std::vector<BYTE>& output = rig.harness->received()[0].bytes;
  ASSERT_EQ(expected.size(), output.size());
  int worst = 0;
  for (size_t index = 0; index < output.size(); ++index) {
    if (index % 4 == 3) continue;  // the fourth byte is padding
    worst = std::max(worst, abs(output[index] - expected[index]));
  }
  EXPECT_LE(worst, 3);
}

// Tests that a sample shorter than one picture is skipped, not read past its end.
TEST(VideoRawFilter, SkipsShortSamples) {
  FFDShowRig rig(FFDShowEntry::VideoRaw);
  ASSERT_EQ(S_OK, rig.Start(RawType(MEDIASUBTYPE_RGB24, BI_RGB, 24, kWidth, kHeight)));
  rig.harness->Push(std::vector<BYTE>(100, 1), 0, 1);
  EXPECT_TRUE(rig.harness->received().empty());
}

}  // namespace
}  // namespace kcm_test
