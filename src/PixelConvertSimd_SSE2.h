// SSE2 building blocks of the pixel rows: loads and stores of the packed layouts and the
// arithmetic of each conversion on one register of pixels. Internal linkage on purpose:
// the AVX2 file includes it too, compiled with other flags, and the two copies must not
// be merged.
#pragma once

#include <emmintrin.h>

#include <cstdint>
#include <cstring>

namespace kcm_pixel {
namespace sse2 {
namespace {

inline int Read32(const uint8_t* p) {
  int32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline __m128i Load32(const uint8_t* p) { return _mm_cvtsi32_si128(Read32(p)); }
inline __m128i Load64(const uint8_t* p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)); }
inline void Store32(uint8_t* p, __m128i v) {
  const int32_t x = _mm_cvtsi128_si32(v);
  std::memcpy(p, &x, 4);
}
inline void Store64(uint8_t* p, __m128i v) { _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v); }

template <bool kStream>
inline void Store16(uint8_t* p, __m128i v) {
  if (kStream) {
    _mm_stream_si128(reinterpret_cast<__m128i*>(p), v);
  } else {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
  }
}

// Two 16-bit multipliers for _mm_madd_epi16: `even` for lanes 0, 2, ..., `odd` for 1, 3, ...
inline __m128i Coefficients(int even, int odd) {
  return _mm_set1_epi32(static_cast<int>((static_cast<uint32_t>(odd) << 16) | static_cast<uint16_t>(even)));
}

// Lanes 0 and 2 of every four duplicated (the U of a YUY2 pair), or lanes 1 and 3 (V).
inline __m128i DupEvenLanes(__m128i v) {
  return _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, _MM_SHUFFLE(2, 2, 0, 0)), _MM_SHUFFLE(2, 2, 0, 0));
}
inline __m128i DupOddLanes(__m128i v) {
  return _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, _MM_SHUFFLE(3, 3, 1, 1)), _MM_SHUFFLE(3, 3, 1, 1));
}

// B, G, R, A of 8 pixels in 16-bit lanes to 8 BGRA pixels, each saturated to 0..255.
inline void PackBgra(__m128i b, __m128i g, __m128i r, __m128i a, __m128i& lo, __m128i& hi) {
  const __m128i br = _mm_packus_epi16(b, r);
  const __m128i ga = _mm_packus_epi16(g, a);
  const __m128i bg = _mm_unpacklo_epi8(br, ga);
  const __m128i ra = _mm_unpackhi_epi8(br, ga);
  lo = _mm_unpacklo_epi16(bg, ra);
  hi = _mm_unpackhi_epi16(bg, ra);
}

// 8 YUY2 pixels to BGRA by the 16-bit-lane arithmetic (Y-16 saturated, terms << 3,
// high halves of signed products, saturating sums).
inline void Yuy2LanesToBgra(__m128i yuy2, __m128i& lo, __m128i& hi) {
  const __m128i y = _mm_subs_epu16(_mm_and_si128(yuy2, _mm_set1_epi16(0x00FF)), _mm_set1_epi16(16));
  const __m128i luma = _mm_mulhi_epi16(_mm_slli_epi16(y, 3), _mm_set1_epi16(9539));
  const __m128i uv = _mm_slli_epi16(_mm_sub_epi16(_mm_srli_epi16(yuy2, 8), _mm_set1_epi16(128)), 3);
  const __m128i d = DupEvenLanes(uv);
  const __m128i e = DupOddLanes(uv);
  const __m128i b = _mm_adds_epi16(luma, _mm_mulhi_epi16(d, _mm_set1_epi16(16525)));
  const __m128i r = _mm_adds_epi16(luma, _mm_mulhi_epi16(e, _mm_set1_epi16(13075)));
  const __m128i g = _mm_adds_epi16(_mm_adds_epi16(luma, _mm_mulhi_epi16(d, _mm_set1_epi16(-3209))),
                                   _mm_mulhi_epi16(e, _mm_set1_epi16(-6660)));
  PackBgra(b, g, r, _mm_set1_epi16(255), lo, hi);
}

// BT.601 of two YUY2 pairs in 16-bit lanes (Y0 U Y1 V ...): B, G, R of 4 pixels in
// 32-bit lanes, exact (madd keeps the full products).
inline void Bt601FourPixels(__m128i yuv, __m128i& b, __m128i& g, __m128i& r) {
  const __m128i biased = _mm_sub_epi16(yuv, Coefficients(16, 128));
  const __m128i yu = _mm_shufflehi_epi16(_mm_shufflelo_epi16(biased, _MM_SHUFFLE(1, 2, 1, 0)), _MM_SHUFFLE(1, 2, 1, 0));
  const __m128i yv = _mm_shufflehi_epi16(_mm_shufflelo_epi16(biased, _MM_SHUFFLE(3, 2, 3, 0)), _MM_SHUFFLE(3, 2, 3, 0));
  const __m128i round = _mm_set1_epi32(128);
  b = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(yu, Coefficients(298, 516)), round), 8);
  r = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(yv, Coefficients(298, 409)), round), 8);
  const __m128i gu = _mm_madd_epi16(yu, Coefficients(298, -100));
  g = _mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(gu, _mm_madd_epi16(yv, Coefficients(0, -208))), round), 8);
}

// 4 YUY2 pairs and 8 alphas (16-bit lanes) to 8 BGRA pixels.
inline void Bt601ToBgra(__m128i yuy2, __m128i alpha, __m128i& lo, __m128i& hi) {
  const __m128i zero = _mm_setzero_si128();
  __m128i b0, g0, r0, b1, g1, r1;
  Bt601FourPixels(_mm_unpacklo_epi8(yuy2, zero), b0, g0, r0);
  Bt601FourPixels(_mm_unpackhi_epi8(yuy2, zero), b1, g1, r1);
  PackBgra(_mm_packs_epi32(b0, b1), _mm_packs_epi32(g0, g1), _mm_packs_epi32(r0, r1), alpha, lo, hi);
}

// The Y0 U Y1 V bytes of 4 YUY2A pairs, packed as YUY2.
inline __m128i GatherYuy2a(const uint8_t* src) {
  return _mm_set_epi32(Read32(src + 18), Read32(src + 12), Read32(src + 6), Read32(src));
}
// The 8 alpha bytes of 4 YUY2A pairs in 16-bit lanes.
inline __m128i GatherAlpha(const uint8_t* s) {
  return _mm_set_epi16(s[23], s[22], s[17], s[16], s[11], s[10], s[5], s[4]);
}

// 4 BGRA pixels stored as RGB32, or as RGB24 (alpha bytes squeezed out: 12 bytes).
template <bool kDst32>
inline void StoreBgra(uint8_t* dst, __m128i bgra) {
  if (kDst32) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), bgra);
    return;
  }
  const __m128i even = _mm_and_si128(bgra, _mm_set_epi32(0, 0xFFFFFF, 0, 0xFFFFFF));
  const __m128i odd = _mm_and_si128(bgra, _mm_set_epi32(0xFFFFFF, 0, 0xFFFFFF, 0));
  const __m128i sixes = _mm_or_si128(even, _mm_srli_epi64(odd, 8));  // 6 bytes in each half
  const __m128i packed = _mm_or_si128(_mm_move_epi64(sixes), _mm_slli_si128(_mm_srli_si128(sixes, 8), 6));
  Store64(dst, packed);
  Store32(dst + 8, _mm_srli_si128(packed, 8));
}

// 4 pixels of RGB32, or of RGB24 (12 bytes, alpha bytes left 0), as BGRA.
template <bool kSrc32>
inline __m128i LoadBgra(const uint8_t* src) {
  if (kSrc32) return _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
  const __m128i bytes = _mm_or_si128(Load64(src), _mm_slli_si128(Load32(src + 8), 8));
  const __m128i halves = _mm_unpacklo_epi64(bytes, _mm_srli_si128(bytes, 6));  // 6 bytes in each half
  const __m128i first = _mm_and_si128(halves, _mm_set_epi32(0, 0xFFFFFF, 0, 0xFFFFFF));
  const __m128i second = _mm_and_si128(_mm_slli_epi64(halves, 8), _mm_set_epi32(0xFFFFFF, 0, 0xFFFFFF, 0));
  return _mm_or_si128(first, second);
}

// Two YUY2 pairs (Y0 | U << 8 | Y1 << 16 | V << 24) in the low words of each 64-bit
// half, from 4 BGRA pixels.
inline __m128i BgraToPairWords(__m128i bgra) {
  const __m128i byteMask = _mm_set1_epi32(0x00FF00FF);
  const __m128i br = _mm_and_si128(bgra, byteMask);                     // B, R in 16-bit lanes
  const __m128i g = _mm_and_si128(_mm_srli_epi32(bgra, 8), _mm_set1_epi32(0xFF));  // G, 0
  const __m128i round = _mm_set1_epi32(128);
  const __m128i y = _mm_add_epi32(
      _mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(br, Coefficients(25, 66)),
                                                 _mm_madd_epi16(g, Coefficients(129, 0))), round), 8),
      _mm_set1_epi32(16));
  const __m128i u = _mm_srai_epi32(
      _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(br, Coefficients(112, -38)), _mm_madd_epi16(g, Coefficients(-74, 0))), round), 8);
  const __m128i v = _mm_srai_epi32(
      _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(br, Coefficients(-18, 112)), _mm_madd_epi16(g, Coefficients(-94, 0))), round), 8);
  // Chroma of a pair: the two pixel terms summed, halved toward zero, offset.
  const __m128i us = _mm_add_epi32(u, _mm_srli_epi64(u, 32));
  const __m128i vs = _mm_add_epi32(v, _mm_srli_epi64(v, 32));
  const __m128i offset = _mm_set1_epi32(128);
  const __m128i uh = _mm_add_epi32(_mm_srai_epi32(_mm_add_epi32(us, _mm_srli_epi32(us, 31)), 1), offset);
  const __m128i vh = _mm_add_epi32(_mm_srai_epi32(_mm_add_epi32(vs, _mm_srli_epi32(vs, 31)), 1), offset);
  const __m128i low = _mm_set_epi32(0, 0xFF, 0, 0xFF);
  const __m128i y01 = _mm_or_si128(_mm_and_si128(y, low), _mm_srli_epi64(y, 16));
  const __m128i uv = _mm_or_si128(_mm_slli_epi64(_mm_and_si128(uh, low), 8), _mm_slli_epi64(_mm_and_si128(vh, low), 24));
  return _mm_or_si128(y01, uv);
}

// 8 BGRA pixels to 4 YUY2 pairs (16 bytes).
inline __m128i BgraToYuy2(__m128i lo, __m128i hi) {
  const __m128i first = _mm_shuffle_epi32(BgraToPairWords(lo), _MM_SHUFFLE(3, 1, 2, 0));
  const __m128i second = _mm_shuffle_epi32(BgraToPairWords(hi), _MM_SHUFFLE(3, 1, 2, 0));
  return _mm_unpacklo_epi64(first, second);
}

// The alpha bytes of 8 BGRA pixels, in bytes 0..7.
inline __m128i AlphaBytes(__m128i lo, __m128i hi) {
  const __m128i words = _mm_packs_epi32(_mm_srli_epi32(lo, 24), _mm_srli_epi32(hi, 24));
  return _mm_packus_epi16(words, words);
}

// 4 YUY2 pairs and their 8 alpha bytes written as YUY2A.
inline void ScatterYuy2a(uint8_t* dst, __m128i yuy2, __m128i alpha) {
  alignas(16) uint8_t samples[16];
  alignas(16) uint8_t alphas[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(samples), yuy2);
  _mm_store_si128(reinterpret_cast<__m128i*>(alphas), alpha);
  for (int k = 0; k < 4; ++k) {
    std::memcpy(dst + 6 * k, samples + 4 * k, 4);
    std::memcpy(dst + 6 * k + 4, alphas + 2 * k, 2);
  }
}

// Y0 U Y1 V of two pairs (pair stride 4 or 6 bytes) in 16-bit lanes, and back.
inline __m128i LoadTwoPairs(const uint8_t* p, int pairBytes) {
  const __m128i bytes = pairBytes == 4 ? Load64(p) : _mm_unpacklo_epi32(Load32(p), Load32(p + 6));
  return _mm_unpacklo_epi8(bytes, _mm_setzero_si128());
}
inline void StoreTwoPairs(uint8_t* p, int pairBytes, __m128i lanes) {
  const __m128i bytes = _mm_packus_epi16(lanes, lanes);
  if (pairBytes == 4) {
    Store64(p, bytes);
  } else {
    Store32(p, bytes);
    Store32(p + 6, _mm_srli_si128(bytes, 4));
  }
}

// The alphas of two YUY2A pairs as 16-bit lanes a0 a1 a0 a1 b0 b1 b0 b1.
inline __m128i OverlayAlphas(const uint8_t* o) {
  const int packed = o[4] | (o[5] << 8) | (o[10] << 16) | (o[11] << 24);
  const __m128i lanes = _mm_unpacklo_epi8(_mm_cvtsi32_si128(packed), _mm_setzero_si128());
  return _mm_unpacklo_epi32(lanes, lanes);
}

// T(n * a) = n * a / 255 truncated toward zero, for |n| < 256 and a in 0..255: the
// magnitude is divided by multiplying with 2^23 / 255 rounded up, exact below 2^16.
inline __m128i MulDiv255(__m128i n, __m128i a) {
  const __m128i sign = _mm_srai_epi16(n, 15);
  const __m128i magnitude = _mm_sub_epi16(_mm_xor_si128(n, sign), sign);
  const __m128i product = _mm_mullo_epi16(magnitude, a);
  const __m128i quotient = _mm_srli_epi16(_mm_mulhi_epu16(product, _mm_set1_epi16(static_cast<short>(0x8081))), 7);
  return _mm_sub_epi16(_mm_xor_si128(quotient, sign), sign);
}

// T((o - bias) * a) + T((b - bias) * (255 - a)) per lane, bias 16 for Y and 128 for U, V.
inline __m128i BlendTerms(__m128i o, __m128i b, __m128i a) {
  return _mm_add_epi16(MulDiv255(o, a), MulDiv255(b, _mm_sub_epi16(_mm_set1_epi16(255), a)));
}

// Two YUY2A overlay pairs blended into two background pairs, all in 16-bit lanes.
// Y takes its own pixel's alpha; U and V take the mean of the terms under both alphas.
inline __m128i BlendTwoPairs(__m128i overlay, __m128i background, __m128i alphas) {
  const __m128i bias = Coefficients(16, 128);
  const __m128i o = _mm_sub_epi16(overlay, bias);
  const __m128i b = _mm_sub_epi16(background, bias);
  const __m128i byPixel = _mm_shufflehi_epi16(_mm_shufflelo_epi16(alphas, _MM_SHUFFLE(1, 1, 0, 0)), _MM_SHUFFLE(1, 1, 0, 0));
  const __m128i crossed = _mm_shufflehi_epi16(_mm_shufflelo_epi16(alphas, _MM_SHUFFLE(0, 1, 1, 0)), _MM_SHUFFLE(0, 1, 1, 0));
  const __m128i first = BlendTerms(o, b, byPixel);
  const __m128i sum = _mm_add_epi16(first, BlendTerms(o, b, crossed));
  const __m128i chroma = _mm_srai_epi16(_mm_add_epi16(sum, _mm_srli_epi16(sum, 15)), 1);
  const __m128i lumaLanes = _mm_set1_epi32(0xFFFF);
  return _mm_add_epi16(_mm_or_si128(_mm_and_si128(lumaLanes, first), _mm_andnot_si128(lumaLanes, chroma)), bias);
}

}  // namespace
}  // namespace sse2
}  // namespace kcm_pixel
