// The exported conversions on the cases hosts depend on: BT.601 black and white, row
// order, zero-pair widths, blending limits and placement, copies, and bad input.
#include <gtest/gtest.h>

#include "KestroPixelConvert.h"
#include "PixelConvertRows.h"
#include "PixelTestBuffers.h"

#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// `pairs` copies of `pair`, appended to `to`.
void Repeat(Bytes& to, int pairs, const Bytes& pair) {
  for (int i = 0; i < pairs; ++i) {
    for (uint8_t b : pair) to.push_back(b);
  }
}

Bytes Yuy2Row(int pairs, uint8_t y, uint8_t u, uint8_t v) {
  Bytes row;
  Repeat(row, pairs, {y, u, y, v});
  return row;
}

TEST(PixelConvert, Bt601BlackAndWhiteRoundTrip) {
  Bytes rgb(8, 0x11);
  const Bytes black = Yuy2Row(1, 16, 128, 128), white = Yuy2Row(1, 235, 128, 128);
  kcm_YUV2RGB(black.data(), rgb.data(), 2, 1, false, true);
  EXPECT_EQ((Bytes{0, 0, 0, 255, 0, 0, 0, 255}), rgb);
  Bytes rgb24(8, 0x11);
  kcm_YUV2RGB(white.data(), rgb24.data(), 2, 1, false, false);
  EXPECT_EQ((Bytes{255, 255, 255, 255, 255, 255, 0x11, 0x11}), rgb24);
  Bytes yuy2(4);
  kcm_RGB2YUV(Bytes(6, 255).data(), yuy2.data(), 2, 1, false, false);
  EXPECT_EQ(white, yuy2);
}

TEST(PixelConvert, AlphaTravelsBetweenYuy2aAndRgb32) {
  const Bytes yuy2a = {235, 128, 16, 128, 7, 200};
  Bytes rgb(8);
  kcm_YUV2RGB(yuy2a.data(), rgb.data(), 2, 1, true, true);
  EXPECT_EQ((Bytes{255, 255, 255, 7, 0, 0, 0, 200}), rgb);
  Bytes back(6);
  kcm_RGB2YUV(rgb.data(), back.data(), 2, 1, true, true);
  EXPECT_EQ(yuy2a, back);
  kcm_RGB2YUV(Bytes(6, 0).data(), back.data(), 2, 1, true, false);
  EXPECT_EQ((Bytes{16, 128, 16, 128, 255, 255}), back);
}

// U and V are the halved sum of per-pixel terms, truncated toward zero: pixels whose
// terms are -1 and 0 give 128, not 127.
TEST(PixelConvert, ChromaOfAPairTruncatesTowardZero) {
  const Bytes rgb24 = {0, 0, 2, 0, 0, 0};  // u0 = (-76 + 128) >> 8 = 0; v0 = (224 + 128) >> 8 = 1
  const Bytes rgbNeg = {0, 4, 0, 0, 0, 0};  // u0 = (-296 + 128) >> 8 = -1
  Bytes yuy2(4);
  kcm_RGB2YUV(rgbNeg.data(), yuy2.data(), 2, 1, false, false);
  EXPECT_EQ(128, yuy2[1]);
  kcm_RGB2YUV(rgb24.data(), yuy2.data(), 2, 1, false, false);
  EXPECT_EQ(128, yuy2[3]);
}

TEST(PixelConvert, RgbIsBottomUpSoTwoRowsSwap) {
  Bytes yuy2 = Yuy2Row(1, 16, 128, 128);
  const Bytes whiteRow = Yuy2Row(1, 235, 128, 128);
  Repeat(yuy2, 1, whiteRow);
  Bytes rgb(12);
  kcm_YUV2RGB(yuy2.data(), rgb.data(), 2, 2, false, false);
  EXPECT_EQ((Bytes{255, 255, 255, 255, 255, 255, 0, 0, 0, 0, 0, 0}), rgb);
  Bytes back(8);
  kcm_RGB2YUV(rgb.data(), back.data(), 2, 2, false, false);
  EXPECT_EQ(yuy2, back);
}

TEST(PixelConvert, WidthOneConvertsNothing) {
  const Bytes src(16, 200);
  Bytes dst(16, 0x33);
  EXPECT_EQ(0, kcm_YUV2RGB(src.data(), dst.data(), 1, 3, true, true));
  EXPECT_EQ(0, kcm_RGB2YUV(src.data(), dst.data(), 1, 3, true, true));
  EXPECT_EQ(0, kcm_YUVBlending(dst.data(), src.data(), 0, 0, 1, 3, 1, 3, true, true));
  kcm_yuv2ToRGB32(src.data(), dst.data(), 1, 3, 4);
  EXPECT_EQ(Bytes(16, 0x33), dst);
  EXPECT_EQ(0, kcm_YUVBlending(dst.data(), src.data(), 0, 0, 1, 3, 1, 3, false, false));
  EXPECT_EQ((Bytes{200, 200, 200, 200, 200, 200, 0x33}), Bytes(dst.begin(), dst.begin() + 7));
}

TEST(PixelConvert, BadInputIsRefusedWithoutWriting) {
  GuardedBuffer buffer(64, 0, 1);
  const Bytes before = buffer.frame();
  EXPECT_EQ(-1, kcm_YUV2RGB(nullptr, buffer.data(), 4, 4, false, true));
  EXPECT_EQ(-1, kcm_YUV2RGB(buffer.data(), nullptr, 4, 4, false, true));
  EXPECT_EQ(-1, kcm_RGB2YUV(nullptr, buffer.data(), 4, 4, false, true));
  EXPECT_EQ(-1, kcm_YUVBlending(buffer.data(), nullptr, 0, 0, 4, 4, 2, 2, false, true));
  EXPECT_EQ(-1, kcm_YUVBlending(buffer.data(), buffer.data(), -1, 0, 4, 4, 2, 2, false, true));
  EXPECT_EQ(-1, kcm_YUVBlending(buffer.data(), buffer.data(), 0, -1, 4, 4, 2, 2, false, true));
  EXPECT_EQ(0, kcm_YUV2RGB(buffer.data(), buffer.data(), -8, 4, false, true));
  EXPECT_EQ(0, kcm_RGB2YUV(buffer.data(), buffer.data(), 8, -4, false, true));
  EXPECT_EQ(0, kcm_YUVBlending(buffer.data(), buffer.data(), 0, 0, 4, 4, -2, -2, false, false));
  EXPECT_EQ(0, kcm_YUVBlending(buffer.data(), buffer.data(), 0, 0, -4, 4, 2, 2, false, true));
  kcm_yuv2ToRGB32(nullptr, buffer.data(), 8, 1, 32);
  kcm_yuv2ToRGB32(buffer.data(), buffer.data(), -8, 1, 32);
  kcm_copyPixelBuffer(buffer.data(), nullptr, 8, 2, false, 2);
  kcm_copyPixelBuffer(buffer.data(), buffer.data() + 8, -8, 2, true, 2);
  EXPECT_EQ(before, buffer.frame());
  EXPECT_TRUE(buffer.guardsIntact());
}

// One pair per frame: overlay Y 200 with alphas (a0, a1) over background Y 50.
Bytes BlendPair(uint8_t a0, uint8_t a1) {
  Bytes background = {50, 90, 50, 170, 1, 2};
  const Bytes overlay = {200, 30, 200, 220, a0, a1};
  kcm_YUVBlending(background.data(), overlay.data(), 0, 0, 2, 1, 2, 1, true, true);
  return background;
}

TEST(PixelBlending, TransparentKeepsBackgroundOpaqueTakesOverlayLuma) {
  EXPECT_EQ((Bytes{50, 90, 50, 170, 1, 2}), BlendPair(0, 0));
  const Bytes opaque = BlendPair(255, 255);
  EXPECT_EQ((Bytes{200, 30, 200, 220, 1, 2}), opaque);
  // Mixed alphas: Y by its own pixel, chroma as the mean of both terms.
  // Y0 = T(184*128) + T(34*127) + 16 = 92 + 16 + 16; U = (2*(T(-98*128) + T(-38*127)) ... ) / 2
  const Bytes mixed = BlendPair(128, 0);
  EXPECT_EQ(124, mixed[0]);
  EXPECT_EQ(50, mixed[2]);
  EXPECT_EQ(((-49 - 18) + (-38)) / 2 + 128, mixed[1]);
}

// A 4x2 YUY2 background (bottom-up rows) and a 2x1 opaque overlay of Y 235.
Bytes Placed(int x, int y, int ovWidth = 2) {
  Bytes background(4 * 2 * 2, 16);
  Bytes overlay;
  Repeat(overlay, ovWidth / 2, {235, 128, 235, 128, 255, 255});
  EXPECT_EQ(0, kcm_YUVBlending(background.data(), overlay.data(), x, y, 4, 2, ovWidth, 1, false, true));
  return background;
}

TEST(PixelBlending, PlacedOverlayCountsRowsFromTheVisualTop) {
  const Bytes top = Placed(0, 0);
  EXPECT_EQ(16, top[0]);       // memory row 0 is the visual bottom
  EXPECT_EQ(235, top[8]);      // memory row 1, first pixel
  EXPECT_EQ(235, Placed(0, 1)[0]);
  const Bytes odd = Placed(1, 0);  // column 1 rounds down to the pair at 0
  EXPECT_EQ(235, odd[8 + 0]);
  EXPECT_EQ(16, odd[8 + 4]);
  EXPECT_EQ(Bytes(16, 16), Placed(3, 0)) << "one column left: no whole pair";
}

TEST(PixelBlending, PlacedOverlayIsClippedAndBeyondTheEdgeChangesNothing) {
  const Bytes clipped = Placed(2, 0, 4);
  EXPECT_EQ((Bytes{16, 16, 16, 16, 235, 128, 235, 128}), Bytes(clipped.begin() + 8, clipped.end()));
  EXPECT_EQ(Bytes(16, 16), Placed(4, 0));
  EXPECT_EQ(Bytes(16, 16), Placed(0, 2));
  EXPECT_EQ(Bytes(16, 16), Placed(100, 100));
}

TEST(PixelBlending, OpaqueOverlaysCopyAsBlockOrByPairs) {
  Bytes background(12, 0);
  const Bytes overlay = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  kcm_YUVBlending(background.data(), overlay.data(), 9, 9, 0, 0, 3, 2, true, false);
  EXPECT_EQ((Bytes{1, 2, 3, 4, 0, 0, 7, 8, 9, 10, 0, 0}), background);
  kcm_YUVBlending(background.data(), overlay.data(), 9, 9, 0, 0, 3, 2, false, false);
  EXPECT_EQ(overlay, background);
}

TEST(PixelCopy, BlockOrMirroredRows) {
  const Bytes src = {1, 2, 3, 4, 5, 6};
  Bytes dst(6, 0);
  kcm_copyPixelBuffer(dst.data(), src.data(), 2, -3, true, 1);  // mode 1 never flips
  EXPECT_EQ(src, dst);
  kcm_copyPixelBuffer(dst.data(), src.data(), 2, 3, true, 2);
  EXPECT_EQ((Bytes{5, 6, 3, 4, 1, 2}), dst);
  kcm_copyPixelBuffer(dst.data(), src.data(), 2, -3, false, 2);
  EXPECT_EQ((Bytes{5, 6, 3, 4, 1, 2}), dst);
  kcm_copyPixelBuffer(dst.data(), src.data(), 2, 3, false, 2);
  EXPECT_EQ(src, dst);
}

class Yuy2Routine : public ::testing::Test {
 protected:
  void TearDown() override { kcm_pixelSelectRowPath(loaded_); }
  kcm_pixel::RowPath loaded_ = kcm_pixelActiveRowPath();
};

TEST_F(Yuy2Routine, NarrowRowsUseTheReferenceOnEveryPath) {
  const Bytes src = {10, 60, 200, 190, 128, 128, 235, 128, 0, 255, 255, 0};
  Bytes reference(24), fast(24);
  ASSERT_TRUE(kcm_pixelSelectRowPath(kcm_pixel::RowPath::Reference));
  kcm_yuv2ToRGB32(src.data(), reference.data(), 6, 1, 24);
  if (!kcm_pixelSelectRowPath(kcm_pixel::RowPath::Sse2)) GTEST_SKIP();
  kcm_yuv2ToRGB32(src.data(), fast.data(), 6, 1, 24);
  EXPECT_EQ(reference, fast);
  // 16.16 reference: Y 128 gives 130, Y 235 gives 254.
  EXPECT_EQ((Bytes{130, 130, 130, 255, 254, 254, 254, 255}), Bytes(reference.begin() + 8, reference.begin() + 16));
}

TEST_F(Yuy2Routine, FastRoutineTreatsYBelow16As16) {
  if (!kcm_pixelSelectRowPath(kcm_pixel::RowPath::Sse2)) GTEST_SKIP();
  const Bytes dark = Yuy2Row(4, 3, 90, 170), floor16 = Yuy2Row(4, 16, 90, 170);
  Bytes a(32), b(32);
  kcm_yuv2ToRGB32(dark.data(), a.data(), 8, 1, 32);
  kcm_yuv2ToRGB32(floor16.data(), b.data(), 8, 1, 32);
  EXPECT_EQ(b, a);
  ASSERT_TRUE(kcm_pixelSelectRowPath(kcm_pixel::RowPath::Reference));
  kcm_yuv2ToRGB32(dark.data(), a.data(), 8, 1, 32);
  EXPECT_NE(b, a) << "the reference keeps Y below 16 distinct";
}

TEST_F(Yuy2Routine, NegativeHeightReadsTheSourceBottomUp) {
  Bytes src = Yuy2Row(1, 16, 128, 128);
  const Bytes white = Yuy2Row(1, 235, 128, 128);
  Repeat(src, 1, white);
  Bytes dst(16, 0);
  kcm_yuv2ToRGB32(src.data(), dst.data(), 2, -2, 8);
  const uint8_t w = dst[0];  // 254 on the reference, 255 on the fast routine
  EXPECT_EQ((Bytes{w, w, w, 255, w, w, w, 255, 0, 0, 0, 255, 0, 0, 0, 255}), dst);
  EXPECT_GE(w, 254);
}

}  // namespace
