// SSE2 row routines. Each converts whole steps and gives exactly the reference results;
// the 16-bit-lane YUY2 routine gives exactly Yuy2ToRgb32Lanes_Model.
#include "PixelConvertRows.h"
#include "PixelConvertSimd_SSE2.h"

namespace kcm_pixel {
namespace {

using namespace sse2;

// --- YUY2 to RGB32 in 16-bit lanes, 8 pixels per step ---

template <bool kStream>
void Yuy2ToRgb32LanesRowT(const uint8_t* src, uint8_t* dst, int pairs) {
  for (int i = 0; i < pairs; i += 4, src += 16, dst += 32) {
    _mm_prefetch(reinterpret_cast<const char*>(src + 256), _MM_HINT_NTA);
    __m128i lo, hi;
    Yuy2LanesToBgra(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src)), lo, hi);
    Store16<kStream>(dst, lo);
    Store16<kStream>(dst + 16, hi);
  }
}

void Yuy2ToRgb32LanesRow(const uint8_t* src, uint8_t* dst, int pairs) {
  // Streaming stores keep a frame that is written once out of the cache; they need
  // 16-byte aligned rows.
  if ((reinterpret_cast<uintptr_t>(dst) & 15) == 0) {
    Yuy2ToRgb32LanesRowT<true>(src, dst, pairs);
  } else {
    Yuy2ToRgb32LanesRowT<false>(src, dst, pairs);
  }
}

void FenceStreamingStores() { _mm_sfence(); }

// --- BT.601 YUV to RGB, 4 pairs per step ---

template <bool kSrcAlpha, bool kDst32>
void YuvToRgbRow(const uint8_t* src, uint8_t* dst, int pairs) {
  constexpr int kSrcStep = 4 * (kSrcAlpha ? kYuy2aPair : kYuy2Pair);
  constexpr int kDstStep = 4 * (kDst32 ? kRgb32Pair : kRgb24Pair);
  for (int i = 0; i < pairs; i += 4, src += kSrcStep, dst += kDstStep) {
    const __m128i yuy2 = kSrcAlpha ? GatherYuy2a(src) : _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    const __m128i alpha = kSrcAlpha ? GatherAlpha(src) : _mm_set1_epi16(255);
    __m128i lo, hi;
    Bt601ToBgra(yuy2, alpha, lo, hi);
    StoreBgra<kDst32>(dst, lo);
    StoreBgra<kDst32>(dst + (kDst32 ? 16 : 12), hi);
  }
}

// --- RGB to BT.601 YUV, 4 pairs per step ---

template <bool kDstAlpha, bool kSrc32>
void RgbToYuvRow(const uint8_t* src, uint8_t* dst, int pairs) {
  constexpr int kPixelBytes = kSrc32 ? 4 : 3;
  constexpr int kDstStep = 4 * (kDstAlpha ? kYuy2aPair : kYuy2Pair);
  for (int i = 0; i < pairs; i += 4, src += 8 * kPixelBytes, dst += kDstStep) {
    const __m128i lo = LoadBgra<kSrc32>(src);
    const __m128i hi = LoadBgra<kSrc32>(src + 4 * kPixelBytes);
    const __m128i yuy2 = BgraToYuy2(lo, hi);
    if (kDstAlpha) {
      ScatterYuy2a(dst, yuy2, kSrc32 ? AlphaBytes(lo, hi) : _mm_set1_epi8(-1));
    } else {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), yuy2);
    }
  }
}

// --- YUY2A overlay blended into a YUY2 or YUY2A background, 2 pairs per step ---

template <bool kBgAlpha>
void BlendRow(const uint8_t* overlay, uint8_t* background, int pairs) {
  constexpr int kBgPair = kBgAlpha ? kYuy2aPair : kYuy2Pair;
  for (int i = 0; i < pairs; i += 2, overlay += 2 * kYuy2aPair, background += 2 * kBgPair) {
    const __m128i bg = LoadTwoPairs(background, kBgPair);
    const __m128i blended = BlendTwoPairs(LoadTwoPairs(overlay, kYuy2aPair), bg, OverlayAlphas(overlay));
    StoreTwoPairs(background, kBgPair, blended);
  }
}

}  // namespace

RowSet Sse2Rows() {
  RowSet set = ReferenceRows();
  set.yuvToRgb[0][0].simd = YuvToRgbRow<false, false>;
  set.yuvToRgb[0][1].simd = YuvToRgbRow<false, true>;
  set.yuvToRgb[1][0].simd = YuvToRgbRow<true, false>;
  set.yuvToRgb[1][1].simd = YuvToRgbRow<true, true>;
  set.rgbToYuv[0][0].simd = RgbToYuvRow<false, false>;
  set.rgbToYuv[0][1].simd = RgbToYuvRow<false, true>;
  set.rgbToYuv[1][0].simd = RgbToYuvRow<true, false>;
  set.rgbToYuv[1][1].simd = RgbToYuvRow<true, true>;
  for (auto& row : set.yuvToRgb) row[0].stepPairs = row[1].stepPairs = 4;
  for (auto& row : set.rgbToYuv) row[0].stepPairs = row[1].stepPairs = 4;
  set.blend[0].simd = BlendRow<false>;
  set.blend[1].simd = BlendRow<true>;
  set.blend[0].stepPairs = set.blend[1].stepPairs = 2;
  set.yuy2ToRgb32.simd = Yuy2ToRgb32LanesRow;
  set.yuy2ToRgb32.stepPairs = 4;
  set.finishFrame = FenceStreamingStores;
  return set;
}

}  // namespace kcm_pixel
