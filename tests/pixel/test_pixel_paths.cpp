// The SIMD paths against the reference rows on random frames: widths 1..67, odd widths,
// inverted heights, misaligned buffers, and no byte written outside the frame.
#include <gtest/gtest.h>

#include "KestroPixelConvert.h"
#include "PixelConvertRows.h"
#include "PixelTestBuffers.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using kcm_pixel::RowPath;

namespace {

class PixelPaths : public ::testing::TestWithParam<RowPath> {
 protected:
  void SetUp() override {
    loaded_ = kcm_pixelActiveRowPath();
    if (!kcm_pixelSelectRowPath(GetParam())) GTEST_SKIP() << "processor lacks this path";
  }
  void TearDown() override { kcm_pixelSelectRowPath(loaded_); }

  // Runs `convert` into two identically primed buffers, on the reference rows and on
  // the path under test, and requires identical frames and intact guards.
  template <typename Convert>
  void ExpectSameAsReference(std::size_t dstBytes, std::size_t misalign, Convert convert) {
    GuardedBuffer expected(dstBytes, misalign, 7);
    GuardedBuffer actual(dstBytes, misalign, 7);
    ASSERT_TRUE(kcm_pixelSelectRowPath(RowPath::Reference));
    convert(expected.data());
    ASSERT_TRUE(kcm_pixelSelectRowPath(GetParam()));
    convert(actual.data());
    ASSERT_TRUE(actual.guardsIntact());
    ASSERT_EQ(expected.frame(), actual.frame());
  }

  RowPath loaded_ = RowPath::Reference;
};

struct FrameShape {
  int width;
  int height;
  std::size_t misalign;
};

std::vector<FrameShape> Shapes() {
  std::vector<FrameShape> shapes;
  for (int width = 1; width <= 67; ++width) shapes.push_back({width, 3, static_cast<std::size_t>(width % 4)});
  for (int height : {1, 2, -2}) shapes.push_back({34, height, 1});
  return shapes;
}

std::string Describe(const FrameShape& s, int variant) {
  return "width " + std::to_string(s.width) + " height " + std::to_string(s.height) + " variant " +
         std::to_string(variant);
}

// The 16-bit-lane arithmetic written out for one pixel: Y - 16 saturated at 0, each term
// shifted left by 3 and multiplied keeping the high half of the signed 32-bit product,
// saturating 16-bit sums, bytes saturated. BGRA as a little-endian word.
int16_t SaturatedSum(int a, int b) { return static_cast<int16_t>(std::clamp(a + b, -32768, 32767)); }
int16_t HighHalf(int16_t a, int16_t coefficient) { return static_cast<int16_t>((a * coefficient) >> 16); }
uint32_t LaneModel(uint8_t y, uint8_t u, uint8_t v) {
  const int16_t luma = HighHalf(static_cast<int16_t>(std::max(0, y - 16) * 8), 9539);
  const auto d = static_cast<int16_t>((u - 128) * 8), e = static_cast<int16_t>((v - 128) * 8);
  const auto byte = [](int x) { return static_cast<uint32_t>(std::clamp(x, 0, 255)); };
  const uint32_t r = byte(SaturatedSum(luma, HighHalf(e, 13075)));
  const uint32_t g = byte(SaturatedSum(SaturatedSum(luma, HighHalf(d, -3209)), HighHalf(e, -6660)));
  const uint32_t b = byte(SaturatedSum(luma, HighHalf(d, 16525)));
  return 0xFF000000u | r << 16 | g << 8 | b;
}

std::size_t RowBytes(int width, int bytesPerPair) { return static_cast<std::size_t>(width) * bytesPerPair / 2; }
std::size_t Rows(int height) { return static_cast<std::size_t>(std::abs(height)); }

TEST_P(PixelPaths, YuvToRgbMatchesReferenceInEveryLayout) {
  for (const FrameShape& s : Shapes()) {
    for (int variant = 0; variant < 4; ++variant) {
      const bool alpha = variant & 1, rgb32 = variant & 2;
      SCOPED_TRACE(Describe(s, variant));
      GuardedBuffer src(RowBytes(s.width, alpha ? 6 : 4) * Rows(s.height), s.misalign, s.width);
      ExpectSameAsReference(RowBytes(s.width, rgb32 ? 8 : 6) * Rows(s.height), 3 - s.misalign % 4, [&](uint8_t* dst) {
        EXPECT_EQ(0, kcm_YUV2RGB(src.data(), dst, s.width, s.height, alpha, rgb32));
      });
    }
  }
}

TEST_P(PixelPaths, RgbToYuvMatchesReferenceInEveryLayout) {
  for (const FrameShape& s : Shapes()) {
    for (int variant = 0; variant < 4; ++variant) {
      const bool alpha = variant & 1, rgb32 = variant & 2;
      SCOPED_TRACE(Describe(s, variant));
      GuardedBuffer src(RowBytes(s.width, rgb32 ? 8 : 6) * Rows(s.height), s.misalign, s.width);
      ExpectSameAsReference(RowBytes(s.width, alpha ? 6 : 4) * Rows(s.height), 3 - s.misalign % 4, [&](uint8_t* dst) {
        EXPECT_EQ(0, kcm_RGB2YUV(src.data(), dst, s.width, s.height, alpha, rgb32));
      });
    }
  }
}

// Channel values at the ends and around the offsets, every B G R combination, each pixel
// paired with many others: the extremes of the intermediate sums of the vector rows.
TEST_P(PixelPaths, RgbToYuvMatchesReferenceAtChannelExtremes) {
  const uint8_t levels[] = {0, 1, 2, 15, 16, 17, 127, 128, 129, 238, 254, 255};
  std::vector<uint32_t> colors;
  for (uint8_t b : levels) {
    for (uint8_t g : levels) {
      for (uint8_t r : levels) colors.push_back(b | g << 8 | r << 16 | uint32_t{0x80} << 24);
    }
  }
  const int pairs = static_cast<int>(colors.size());
  const int rows = 16;
  for (int variant = 0; variant < 4; ++variant) {
    const bool alpha = variant & 1, rgb32 = variant & 2;
    SCOPED_TRACE(variant);
    const std::size_t pixelBytes = rgb32 ? 4 : 3;
    GuardedBuffer src(2 * pixelBytes * pairs * rows, 0, 1);
    for (int row = 0; row < rows; ++row) {
      for (int k = 0; k < pairs; ++k) {
        uint8_t* pair = src.data() + 2 * pixelBytes * (static_cast<std::size_t>(row) * pairs + k);
        const uint32_t second = colors[(static_cast<std::size_t>(k) * 37 + row * 131) % colors.size()];
        std::memcpy(pair, &colors[k], pixelBytes);
        std::memcpy(pair + pixelBytes, &second, pixelBytes);
      }
    }
    ExpectSameAsReference(static_cast<std::size_t>(pairs) * rows * (alpha ? 6 : 4), 0, [&](uint8_t* dst) {
      EXPECT_EQ(0, kcm_RGB2YUV(src.data(), dst, 2 * pairs, rows, alpha, rgb32));
    });
  }
}

TEST_P(PixelPaths, BlendingMatchesReferenceSameSizeAndPlaced) {
  for (const FrameShape& s : Shapes()) {
    const int height = std::abs(s.height);
    SCOPED_TRACE(Describe(s, 0));
    GuardedBuffer overlay(RowBytes(s.width, 6) * Rows(height), s.misalign, s.width);
    ExpectSameAsReference(RowBytes(s.width, 6) * Rows(height), 1, [&](uint8_t* bg) {
      EXPECT_EQ(0, kcm_YUVBlending(bg, overlay.data(), 0, 0, 0, 0, s.width, height, true, true));
    });
    const int bgWidth = 70, bgHeight = 5;
    ExpectSameAsReference(RowBytes(bgWidth, 4) * bgHeight, 2, [&](uint8_t* bg) {
      EXPECT_EQ(0, kcm_YUVBlending(bg, overlay.data(), s.width % 7, 1, bgWidth, bgHeight, s.width, height, false, true));
    });
  }
}

// Every overlay sample against every background sample under every alpha: the
// reciprocal division must truncate exactly like n / 255 for negative products too.
TEST_P(PixelPaths, BlendingMatchesReferenceForAllSampleAndAlphaValues) {
  constexpr int kWidth = 2 * 65536;
  std::vector<uint8_t> overlay(RowBytes(kWidth, 6));
  for (int alpha = 0; alpha < 256; alpha += 1) {
    for (int i = 0; i < 65536; ++i) {
      const uint8_t o = static_cast<uint8_t>(i >> 8), a1 = static_cast<uint8_t>(alpha ^ (i & 1 ? 0x5A : 0));
      const uint8_t pair[6] = {o, o, o, o, static_cast<uint8_t>(alpha), a1};
      std::memcpy(&overlay[6 * static_cast<std::size_t>(i)], pair, 6);
    }
    ExpectSameAsReference(RowBytes(kWidth, 6), 0, [&](uint8_t* bg) {
      for (int i = 0; i < 65536; ++i) std::memset(bg + 6 * i, i & 0xFF, 4);
      kcm_YUVBlending(bg, overlay.data(), 0, 0, 0, 0, kWidth, 1, true, true);
    });
  }
}

// The fast YUY2 routine: whole 8-pixel steps as the 16-bit-lane model, the rest of the
// row (and rows under 8 pixels) as the reference routine.
TEST_P(PixelPaths, Yuy2ToRgb32IsLaneModelThenReferenceTail) {
  for (const FrameShape& s : Shapes()) {
    SCOPED_TRACE(Describe(s, 0));
    const int pairs = s.width / 2;
    const std::size_t srcRow = 4 * static_cast<std::size_t>(pairs);
    const std::size_t dstRow = 4 * static_cast<std::size_t>(s.width) + 4;  // stride with a gap
    GuardedBuffer src(srcRow * Rows(s.height), s.misalign, s.width);
    GuardedBuffer dst(dstRow * Rows(s.height), 3 - s.misalign % 4, 9);
    GuardedBuffer reference(dstRow * Rows(s.height), 0, 9);
    ASSERT_TRUE(kcm_pixelSelectRowPath(RowPath::Reference));
    kcm_yuv2ToRGB32(src.data(), reference.data(), s.width, s.height, static_cast<int>(dstRow));
    std::vector<uint8_t> expected = reference.frame();
    for (std::size_t r = 0; r < Rows(s.height); ++r) {
      const uint8_t* in = src.data() + srcRow * (s.height < 0 ? Rows(s.height) - 1 - r : r);
      for (int p = 0; p < 2 * (pairs - pairs % 4); ++p) {
        const uint8_t* pair = in + 4 * (p / 2);
        const uint32_t word = LaneModel(pair[2 * (p % 2)], pair[1], pair[3]);
        std::memcpy(expected.data() + dstRow * r + 4 * p, &word, 4);
      }
    }
    ASSERT_TRUE(kcm_pixelSelectRowPath(GetParam()));
    kcm_yuv2ToRGB32(src.data(), dst.data(), s.width, s.height, static_cast<int>(dstRow));
    ASSERT_TRUE(dst.guardsIntact());
    ASSERT_EQ(expected, dst.frame());
  }
}

// All 2^24 (Y, U, V) through the SIMD lanes against the scalar model of their arithmetic.
TEST_P(PixelPaths, Yuy2LaneArithmeticMatchesModelForEveryYuv) {
  constexpr int kPairs = 256 * 128;  // every V, and Y 0..255 over 128 pairs
  std::vector<uint8_t> src(4 * kPairs);
  std::vector<uint32_t> dst(2 * kPairs);
  for (int u = 0; u < 256; ++u) {
    for (int i = 0; i < kPairs; ++i) {
      const uint8_t v = static_cast<uint8_t>(i >> 7), y0 = static_cast<uint8_t>(2 * (i & 127));
      const uint8_t pair[4] = {y0, static_cast<uint8_t>(u), static_cast<uint8_t>(y0 + 1), v};
      std::memcpy(&src[4 * static_cast<std::size_t>(i)], pair, 4);
    }
    kcm_yuv2ToRGB32(src.data(), reinterpret_cast<uint8_t*>(dst.data()), 2 * kPairs, 1, 8 * kPairs);
    for (int p = 0; p < 2 * kPairs; ++p) {
      const uint8_t* pair = &src[4 * static_cast<std::size_t>(p / 2)];
      const uint32_t expected = LaneModel(pair[2 * (p % 2)], pair[1], pair[3]);
      if (dst[p] != expected) FAIL() << "Y " << int(pair[2 * (p % 2)]) << " U " << u << " V " << int(pair[3]);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, PixelPaths, ::testing::Values(RowPath::Sse2, RowPath::Avx2),
                         [](const ::testing::TestParamInfo<RowPath>& info) {
                           return std::string(info.param == RowPath::Avx2 ? "Avx2" : "Sse2");
                         });

// Two fast paths share one definition: the AVX2 and SSE2 YUY2 routines agree exactly.
TEST(PixelDispatch, Yuy2ToRgb32AgreesBetweenSse2AndAvx2) {
  const RowPath loaded = kcm_pixelActiveRowPath();
  if (!kcm_pixelSelectRowPath(RowPath::Avx2)) GTEST_SKIP() << "processor lacks AVX2";
  GuardedBuffer src(4 * 33 * 5, 1, 3);
  GuardedBuffer avx(4 * 67 * 5, 0, 4), sse(4 * 67 * 5, 0, 4);
  kcm_yuv2ToRGB32(src.data(), avx.data(), 67, -5, 4 * 67);
  ASSERT_TRUE(kcm_pixelSelectRowPath(RowPath::Sse2));
  kcm_yuv2ToRGB32(src.data(), sse.data(), 67, -5, 4 * 67);
  kcm_pixelSelectRowPath(loaded);
  EXPECT_EQ(avx.frame(), sse.frame());
}

// KCM_CPU_DISABLE is read when the library loads: the suite runs once with it set.
TEST(PixelDispatch, LoadTimeChoiceHonoursCpuDisable) {
  const char* disabled = std::getenv("KCM_CPU_DISABLE");
  const std::string list = disabled ? std::string(",") + disabled + "," : "";
  const RowPath loaded = kcm_pixelActiveRowPath();
  if (list.find(",sse2,") != std::string::npos) {
    EXPECT_EQ(RowPath::Reference, loaded);
  } else if (list.find(",avx2,") != std::string::npos) {
    EXPECT_EQ(RowPath::Sse2, loaded);
  } else if (list.empty()) {
    EXPECT_NE(RowPath::Reference, loaded) << "an x86-64 processor has SSE2";
  }
}

}  // namespace
