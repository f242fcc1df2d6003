// AVX2 row routines: 16 pixels per step for the 16-bit-lane YUY2 routine and for the
// YUY2 <-> RGB32 conversions. The other layouts keep their SSE2 rows. Results are
// exactly those of the SSE2 and reference rows.
#include "PixelConvertRows.h"
#include "PixelConvertSimd_SSE2.h"

#include <immintrin.h>

namespace kcm_pixel {
namespace {

__m256i Load32Bytes(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }

void Store32Bytes(uint8_t* p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }

__m256i Coefficients(int even, int odd) {
  return _mm256_set1_epi32(static_cast<int>((static_cast<uint32_t>(odd) << 16) | static_cast<uint16_t>(even)));
}

// Duplicates with one byte shuffle: lanes 0, 0, 2, 2 (`odd` 0) or
// 1, 1, 3, 3 (`odd` 1) of every four.
__m256i DupLanesByShuffle(__m256i v, int odd) {
  alignas(16) char pattern[16];
  for (int i = 0; i < 16; ++i) pattern[i] = static_cast<char>((i & ~7) + ((i & 4) ? 4 : 0) + 2 * odd + (i & 1));
  const __m128i half = _mm_load_si128(reinterpret_cast<const __m128i*>(pattern));
  return _mm256_shuffle_epi8(v, _mm256_broadcastsi128_si256(half));
}

// B, G, R, A of 16 pixels in 16-bit lanes, stored as 16 saturated BGRA pixels. With
// `kQwordsSpread` the lanes hold pixels 0-3, 8-11 | 4-7, 12-15 and the packs come out
// in order; otherwise 0-7 | 8-15 and the halves are exchanged before storing.
template <bool kQwordsSpread = false>
void StoreBgra16(uint8_t* dst, __m256i b, __m256i g, __m256i r, __m256i a) {
  const __m256i br = _mm256_packus_epi16(b, r);
  const __m256i ga = _mm256_packus_epi16(g, a);
  const __m256i bg = _mm256_unpacklo_epi8(br, ga);
  const __m256i ra = _mm256_unpackhi_epi8(br, ga);
  const __m256i lo = _mm256_unpacklo_epi16(bg, ra);  // pixels 0-3 | 8-11
  const __m256i hi = _mm256_unpackhi_epi16(bg, ra);  // pixels 4-7 | 12-15
  if (kQwordsSpread) {
    Store32Bytes(dst, lo);
    Store32Bytes(dst + 32, hi);
    return;
  }
  Store32Bytes(dst, _mm256_permute2x128_si256(lo, hi, 0x20));
  Store32Bytes(dst + 32, _mm256_permute2x128_si256(lo, hi, 0x31));
}

// --- YUY2 to RGB32 in 16-bit lanes ---

void Yuy2LanesSixteen(const uint8_t* src, uint8_t* dst) {
  // Pixels 0-3, 8-11 | 4-7, 12-15, so the packed output needs no lane exchange.
  const __m256i yuy2 = _mm256_permute4x64_epi64(Load32Bytes(src), _MM_SHUFFLE(3, 1, 2, 0));
  const __m256i y = _mm256_subs_epu16(_mm256_and_si256(yuy2, _mm256_set1_epi16(0x00FF)), _mm256_set1_epi16(16));
  const __m256i luma = _mm256_mulhi_epi16(_mm256_slli_epi16(y, 3), _mm256_set1_epi16(9539));
  const __m256i uv = _mm256_slli_epi16(_mm256_sub_epi16(_mm256_srli_epi16(yuy2, 8), _mm256_set1_epi16(128)), 3);
  const __m256i d = DupLanesByShuffle(uv, 0);
  const __m256i e = DupLanesByShuffle(uv, 1);
  const __m256i b = _mm256_adds_epi16(luma, _mm256_mulhi_epi16(d, _mm256_set1_epi16(16525)));
  const __m256i r = _mm256_adds_epi16(luma, _mm256_mulhi_epi16(e, _mm256_set1_epi16(13075)));
  const __m256i g = _mm256_adds_epi16(_mm256_adds_epi16(luma, _mm256_mulhi_epi16(d, _mm256_set1_epi16(-3209))),
                                      _mm256_mulhi_epi16(e, _mm256_set1_epi16(-6660)));
  StoreBgra16<true>(dst, b, g, r, _mm256_set1_epi16(255));
}

// Whole 8-pixel steps: 16 at a time, then one 8-pixel step, so the reference finishes
// the same (width mod 8) pixels as on the SSE2 path.
// Plain stores: measured faster than streaming ones on 1080p frames.
void Yuy2ToRgb32LanesRow(const uint8_t* src, uint8_t* dst, int pairs) {
  int i = 0;
  for (; i + 8 <= pairs; i += 8, src += 32, dst += 64) {
    Yuy2LanesSixteen(src, dst);
  }
  if (i < pairs) {
    __m128i lo, hi;
    sse2::Yuy2LanesToBgra(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src)), lo, hi);
    sse2::Store16<false>(dst, lo);
    sse2::Store16<false>(dst + 16, hi);
  }
}


// --- BT.601 YUY2 to RGB32, 8 pairs per step ---

// B, G, R of 8 pixels in 32-bit lanes from four YUY2 pairs in 16-bit lanes.
void Bt601EightPixels(__m256i yuv, __m256i& b, __m256i& g, __m256i& r) {
  const __m256i biased = _mm256_sub_epi16(yuv, Coefficients(16, 128));
  const __m256i yu = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(biased, _MM_SHUFFLE(1, 2, 1, 0)), _MM_SHUFFLE(1, 2, 1, 0));
  const __m256i yv = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(biased, _MM_SHUFFLE(3, 2, 3, 0)), _MM_SHUFFLE(3, 2, 3, 0));
  const __m256i round = _mm256_set1_epi32(128);
  b = _mm256_srai_epi32(_mm256_add_epi32(_mm256_madd_epi16(yu, Coefficients(298, 516)), round), 8);
  r = _mm256_srai_epi32(_mm256_add_epi32(_mm256_madd_epi16(yv, Coefficients(298, 409)), round), 8);
  const __m256i gu = _mm256_madd_epi16(yu, Coefficients(298, -100));
  g = _mm256_srai_epi32(_mm256_add_epi32(_mm256_add_epi32(gu, _mm256_madd_epi16(yv, Coefficients(0, -208))), round), 8);
}

void Yuy2ToRgb32Row(const uint8_t* src, uint8_t* dst, int pairs) {
  const __m256i zero = _mm256_setzero_si256();
  for (int i = 0; i < pairs; i += 8, src += 32, dst += 64) {
    const __m256i yuy2 = Load32Bytes(src);
    __m256i b0, g0, r0, b1, g1, r1;
    Bt601EightPixels(_mm256_unpacklo_epi8(yuy2, zero), b0, g0, r0);
    Bt601EightPixels(_mm256_unpackhi_epi8(yuy2, zero), b1, g1, r1);
    StoreBgra16(dst, _mm256_packs_epi32(b0, b1), _mm256_packs_epi32(g0, g1), _mm256_packs_epi32(r0, r1),
                       _mm256_set1_epi16(255));
  }
}

// --- RGB32 to BT.601 YUY2, 8 pairs per step ---

__m256i ShiftedSum(__m256i a, __m256i b, int offset) {
  return _mm256_add_epi32(_mm256_srai_epi32(_mm256_add_epi32(_mm256_add_epi32(a, b), _mm256_set1_epi32(128)), 8),
                          _mm256_set1_epi32(offset));
}

// The pair's chroma: the two per-pixel terms summed, halved toward zero, offset by 128.
__m256i PairChroma(__m256i terms) {
  const __m256i sum = _mm256_add_epi32(terms, _mm256_srli_epi64(terms, 32));
  const __m256i half = _mm256_srai_epi32(_mm256_add_epi32(sum, _mm256_srli_epi32(sum, 31)), 1);
  return _mm256_add_epi32(half, _mm256_set1_epi32(128));
}

// 8 BGRA pixels to 4 YUY2 pair words in the low 32 bits of each 64-bit element.
__m256i BgraToPairWords(__m256i bgra) {
  const __m256i br = _mm256_and_si256(bgra, _mm256_set1_epi32(0x00FF00FF));
  const __m256i g = _mm256_and_si256(_mm256_srli_epi32(bgra, 8), _mm256_set1_epi32(0xFF));
  const __m256i y = ShiftedSum(_mm256_madd_epi16(br, Coefficients(25, 66)), _mm256_madd_epi16(g, Coefficients(129, 0)), 16);
  const __m256i u = ShiftedSum(_mm256_madd_epi16(br, Coefficients(112, -38)), _mm256_madd_epi16(g, Coefficients(-74, 0)), 0);
  const __m256i v = ShiftedSum(_mm256_madd_epi16(br, Coefficients(-18, 112)), _mm256_madd_epi16(g, Coefficients(-94, 0)), 0);
  const __m256i low = _mm256_set1_epi64x(0xFF);
  const __m256i y01 = _mm256_or_si256(_mm256_and_si256(y, low), _mm256_srli_epi64(y, 16));
  const __m256i uw = _mm256_slli_epi64(_mm256_and_si256(PairChroma(u), low), 8);
  const __m256i vw = _mm256_slli_epi64(_mm256_and_si256(PairChroma(v), low), 24);
  return _mm256_or_si256(y01, _mm256_or_si256(uw, vw));
}

void Rgb32ToYuy2Row(const uint8_t* src, uint8_t* dst, int pairs) {
  for (int i = 0; i < pairs; i += 8, src += 64, dst += 32) {
    const __m256i first = _mm256_shuffle_epi32(BgraToPairWords(Load32Bytes(src)), _MM_SHUFFLE(3, 1, 2, 0));
    const __m256i second = _mm256_shuffle_epi32(BgraToPairWords(Load32Bytes(src + 32)), _MM_SHUFFLE(3, 1, 2, 0));
    // Pairs 0 1 4 5 | 2 3 6 7 into order.
    const __m256i pairsInOrder = _mm256_permute4x64_epi64(_mm256_unpacklo_epi64(first, second), _MM_SHUFFLE(3, 1, 2, 0));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), pairsInOrder);
  }
}

}  // namespace

RowSet Avx2Rows() {
  RowSet set = Sse2Rows();
  set.yuvToRgb[0][1].simd = Yuy2ToRgb32Row;
  set.yuvToRgb[0][1].stepPairs = 8;
  set.rgbToYuv[0][1].simd = Rgb32ToYuy2Row;
  set.rgbToYuv[0][1].stepPairs = 8;
  set.yuy2ToRgb32.simd = Yuy2ToRgb32LanesRow;
  set.yuy2ToRgb32.stepPairs = 4;
  set.finishFrame = nullptr;
  return set;
}

}  // namespace kcm_pixel
