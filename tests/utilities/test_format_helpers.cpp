#include <gtest/gtest.h>

#include <tuple>

#include "KestroFormatHelpers.h"

namespace {

// (tag, channels, rate, bits, block align, bytes per second, cbSize)
using Wave = std::tuple<int, int, DWORD, int, int, DWORD, int>;

Wave checked(WORD channels, DWORD rate, WORD bits, int restrictToCodec) {
  WAVEFORMATEX in{0xFFFE, channels, rate, 0, 0, bits, 22};
  const WAVEFORMATEX out = kcm_checkWaveFormatEx(in, restrictToCodec);
  EXPECT_EQ(in.nSamplesPerSec, rate);  // only read
  return Wave(out.wFormatTag, out.nChannels, out.nSamplesPerSec, out.wBitsPerSample, out.nBlockAlign,
              out.nAvgBytesPerSec, out.cbSize);
}

int32_t imageSize(LONG width, LONG height, WORD bitCount) {
  VIDEOINFO info{};
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biBitCount = bitCount;
  info.bmiHeader.biSizeImage = 12345;
  kcm_updateValidVideoInfo(0, &info);
  return static_cast<int32_t>(info.bmiHeader.biSizeImage);
}

}  // namespace

// Tests restriction to the speech codec's formats, and plain recomputation without it.
TEST(CheckWaveFormatEx, NormalisesToPcm) {
  EXPECT_EQ(checked(2, 44100, 8, 1), Wave(1, 1, 24000, 16, 2, 48000, 0));
  EXPECT_EQ(checked(2, 12000, 8, 1), Wave(1, 1, 12000, 16, 2, 24000, 0));
  EXPECT_EQ(checked(2, 44100, 24, 0), Wave(1, 2, 44100, 24, 6, 264600, 0));
}

// Tests the size in signed 32-bit arithmetic (top-down and wrapped products included),
// and that incomplete headers or none are left alone.
TEST(UpdateValidVideoInfo, ComputesTheImageSize) {
  EXPECT_EQ(imageSize(640, 480, 24), 921600);
  EXPECT_EQ(imageSize(640, -480, 24), -921600);
  EXPECT_EQ(imageSize(40000, 3000, 24), -176870912);
  EXPECT_EQ(imageSize(0, 480, 24), 12345);
  EXPECT_EQ(imageSize(640, 0, 24), 12345);
  EXPECT_EQ(imageSize(640, 480, 0), 12345);
  kcm_updateValidVideoInfo(0, nullptr);
}
