// Reference row routines: the exact integer definition of every conversion. The SIMD
// rows are checked against these bit for bit.
#include "PixelConvertRows.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace kcm_pixel {
namespace {

uint8_t Clamp255(int v) { return static_cast<uint8_t>(std::min(255, std::max(0, v))); }

// clamp(i) for i in -512..767: every index the 16.16 reference can produce.
constexpr int kClampBias = 512;
constexpr std::array<uint8_t, 1280> MakeClampTable() {
  std::array<uint8_t, 1280> table{};
  for (int i = 0; i < 1280; ++i) {
    const int v = i - kClampBias;
    table[i] = static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
  }
  return table;
}
constexpr std::array<uint8_t, 1280> kClampTable = MakeClampTable();

uint8_t TableClamp(int v) { return kClampTable[v + kClampBias]; }

// One BT.601 pixel, B G R order.
void Bt601Pixel(int y, int d, int e, uint8_t* bgr) {
  const int c = 298 * (y - 16);
  bgr[0] = Clamp255((c + 516 * d + 128) >> 8);
  bgr[1] = Clamp255((c - 100 * d - 208 * e + 128) >> 8);
  bgr[2] = Clamp255((c + 409 * e + 128) >> 8);
}

int LumaOf(const uint8_t* bgr) { return ((66 * bgr[2] + 129 * bgr[1] + 25 * bgr[0] + 128) >> 8) + 16; }
int BlueDiffOf(const uint8_t* bgr) { return (-38 * bgr[2] - 74 * bgr[1] + 112 * bgr[0] + 128) >> 8; }
int RedDiffOf(const uint8_t* bgr) { return (112 * bgr[2] - 94 * bgr[1] - 18 * bgr[0] + 128) >> 8; }

int Div255(int n) { return n / 255; }  // truncates toward zero, as the blend requires

// The blend of one sample against one alpha: T((o-bias)*a) + T((b-bias)*(255-a)).
int BlendTerm(int o, int b, int a, int bias) { return Div255((o - bias) * a) + Div255((b - bias) * (255 - a)); }

template <bool kSrcAlpha, bool kDst32>
void YuvToRgbRowT(const uint8_t* src, uint8_t* dst, int pairs) { YuvToRgbRow_C(src, dst, pairs, kSrcAlpha, kDst32); }
template <bool kDstAlpha, bool kSrc32>
void RgbToYuvRowT(const uint8_t* src, uint8_t* dst, int pairs) { RgbToYuvRow_C(src, dst, pairs, kDstAlpha, kSrc32); }
template <bool kBgAlpha>
void BlendRowT(const uint8_t* src, uint8_t* dst, int pairs) { BlendRow_C(src, dst, pairs, kBgAlpha); }

}  // namespace

void YuvToRgbRow_C(const uint8_t* src, uint8_t* dst, int pairs, bool srcAlpha, bool dst32) {
  const int pixelBytes = dst32 ? 4 : 3;
  for (int i = 0; i < pairs; ++i) {
    const int d = src[1] - 128;
    const int e = src[3] - 128;
    for (int p = 0; p < 2; ++p) {
      uint8_t* out = dst + p * pixelBytes;
      Bt601Pixel(src[2 * p], d, e, out);
      if (dst32) out[3] = srcAlpha ? src[4 + p] : 255;
    }
    src += srcAlpha ? kYuy2aPair : kYuy2Pair;
    dst += 2 * pixelBytes;
  }
}

void RgbToYuvRow_C(const uint8_t* src, uint8_t* dst, int pairs, bool dstAlpha, bool src32) {
  const int pixelBytes = src32 ? 4 : 3;
  for (int i = 0; i < pairs; ++i) {
    const uint8_t* p0 = src;
    const uint8_t* p1 = src + pixelBytes;
    dst[0] = static_cast<uint8_t>(LumaOf(p0));
    dst[1] = static_cast<uint8_t>((BlueDiffOf(p0) + BlueDiffOf(p1)) / 2 + 128);
    dst[2] = static_cast<uint8_t>(LumaOf(p1));
    dst[3] = static_cast<uint8_t>((RedDiffOf(p0) + RedDiffOf(p1)) / 2 + 128);
    if (dstAlpha) {
      dst[4] = src32 ? p0[3] : 255;
      dst[5] = src32 ? p1[3] : 255;
    }
    src += 2 * pixelBytes;
    dst += dstAlpha ? kYuy2aPair : kYuy2Pair;
  }
}

void BlendRow_C(const uint8_t* overlay, uint8_t* background, int pairs, bool bgAlpha) {
  for (int i = 0; i < pairs; ++i) {
    const int a0 = overlay[4];
    const int a1 = overlay[5];
    uint8_t* bg = background;
    const int u = (BlendTerm(overlay[1], bg[1], a1, 128) + BlendTerm(overlay[1], bg[1], a0, 128)) / 2 + 128;
    const int v = (BlendTerm(overlay[3], bg[3], a1, 128) + BlendTerm(overlay[3], bg[3], a0, 128)) / 2 + 128;
    bg[0] = static_cast<uint8_t>(BlendTerm(overlay[0], bg[0], a0, 16) + 16);
    bg[2] = static_cast<uint8_t>(BlendTerm(overlay[2], bg[2], a1, 16) + 16);
    bg[1] = static_cast<uint8_t>(u);
    bg[3] = static_cast<uint8_t>(v);
    overlay += kYuy2aPair;
    background += bgAlpha ? kYuy2aPair : kYuy2Pair;
  }
}

void Yuy2ToRgb32Row_C(const uint8_t* src, uint8_t* dst, int pairs) {
  for (int i = 0; i < pairs; ++i) {
    const int d = src[1] - 128;
    const int e = src[3] - 128;
    for (int p = 0; p < 2; ++p) {
      const int c = (src[2 * p] - 16) * 76309;
      const uint32_t r = TableClamp((c + 104597 * e) >> 16);
      const uint32_t g = TableClamp((c - 25674 * d - 53278 * e) >> 16);
      const uint32_t b = TableClamp((c + 132201 * d) >> 16);
      const uint32_t word = 0xFF000000u | (r << 16) | (g << 8) | b;
      std::memcpy(dst + 4 * p, &word, 4);  // little-endian: B G R 255 in memory
    }
    src += kYuy2Pair;
    dst += 2 * 4;
  }
}

RowSet ReferenceRows() {
  RowSet set{};
  for (int a = 0; a < 2; ++a) {
    for (int w = 0; w < 2; ++w) {
      set.yuvToRgb[a][w] = {nullptr, 1, nullptr, a ? kYuy2aPair : kYuy2Pair, w ? kRgb32Pair : kRgb24Pair};
      set.rgbToYuv[a][w] = {nullptr, 1, nullptr, w ? kRgb32Pair : kRgb24Pair, a ? kYuy2aPair : kYuy2Pair};
    }
    set.blend[a] = {nullptr, 1, nullptr, kYuy2aPair, a ? kYuy2aPair : kYuy2Pair};
  }
  set.yuvToRgb[0][0].reference = YuvToRgbRowT<false, false>;
  set.yuvToRgb[0][1].reference = YuvToRgbRowT<false, true>;
  set.yuvToRgb[1][0].reference = YuvToRgbRowT<true, false>;
  set.yuvToRgb[1][1].reference = YuvToRgbRowT<true, true>;
  set.rgbToYuv[0][0].reference = RgbToYuvRowT<false, false>;
  set.rgbToYuv[0][1].reference = RgbToYuvRowT<false, true>;
  set.rgbToYuv[1][0].reference = RgbToYuvRowT<true, false>;
  set.rgbToYuv[1][1].reference = RgbToYuvRowT<true, true>;
  set.blend[0].reference = BlendRowT<false>;
  set.blend[1].reference = BlendRowT<true>;
  set.yuy2ToRgb32 = {nullptr, 1, Yuy2ToRgb32Row_C, kYuy2Pair, kRgb32Pair};
  set.finishFrame = nullptr;
  return set;
}

}  // namespace kcm_pixel
