// The fixed-point arithmetic of the codec. Decoding is bit-exact only when every
// product, shift and rounding below is reproduced as written: the names follow the
// codec's own primitives (Q formats: a value in Qn is scaled by 2^n).
#pragma once

#include <stdint.h>

namespace silk {

inline int32_t wrap(int64_t x) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(x))); }
inline int32_t add32(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); }
inline int32_t sub32(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)); }
inline int32_t mul32(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b)); }
inline int32_t shl32(int32_t a, int s) { return static_cast<int32_t>(static_cast<uint32_t>(a) << s); }

inline int32_t s16(int32_t x) { return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(x))); }
inline int32_t sat16(int32_t x) { return x > 32767 ? 32767 : (x < -32768 ? -32768 : x); }
inline int32_t sat16(int64_t x) { return static_cast<int32_t>(x > 32767 ? 32767 : (x < -32768 ? -32768 : x)); }
template <class T>
inline T clampTo(T x, T lo, T hi) { return x < lo ? lo : (x > hi ? hi : x); }

// (a * b16) >> 16 with b taken as a signed 16-bit value.
inline int32_t mulw(int32_t a, int32_t b) { return static_cast<int32_t>((static_cast<int64_t>(a) * s16(b)) >> 16); }
inline int32_t mlaw(int32_t acc, int32_t a, int32_t b) { return add32(acc, mulw(a, b)); }
// Rounding right shift that cannot overflow near INT32_MAX.
inline int32_t rround(int32_t a, int s) { return s == 1 ? (a >> 1) + (a & 1) : ((a >> (s - 1)) + 1) >> 1; }
inline int64_t rround64(int64_t a, int s) { return s == 1 ? (a >> 1) + (a & 1) : ((a >> (s - 1)) + 1) >> 1; }
// (a * b) >> 16 for two 32-bit values, computed as the codec does (wrapping).
inline int32_t mulww(int32_t a, int32_t b) { return add32(mulw(a, b), mul32(a, rround(b, 16))); }
inline int32_t mlaww(int32_t acc, int32_t a, int32_t b) { return add32(acc, mulww(a, b)); }
inline int32_t mulbb(int32_t a, int32_t b) { return s16(a) * s16(b); }
// Upper word of the 64-bit product.
inline int32_t mmul(int32_t a, int32_t b) { return static_cast<int32_t>((static_cast<int64_t>(a) * b) >> 32); }

inline int32_t lsh_sat(int32_t a, int s) {
  const int32_t lo = INT32_MIN >> s;
  const int32_t hi = INT32_MAX >> s;
  return shl32(clampTo(a, lo, hi), s);
}

inline int clz32(int32_t x) { return x == 0 ? 32 : __builtin_clz(static_cast<uint32_t>(x)); }
inline int32_t abs32(int32_t x) { return x < 0 ? -x : x; }

// The dither and noise generator: a 32-bit linear congruential sequence.
inline int32_t nextRandom(int32_t seed) { return add32(907633515, mul32(seed, 196314165)); }

// Approximately 2^Q / b.
inline int32_t inverseQ(int32_t b, int Q) {
  const int h = clz32(abs32(b)) - 1;
  const int32_t bn = shl32(b, h);
  const int32_t binv = 0x1FFFFFFF / (bn >> 16);
  int32_t r = shl32(binv, 16);
  const int32_t err = shl32(-mulw(bn, binv), 3);
  r = mlaww(r, err, binv);
  const int sh = 61 - h - Q;
  if (sh <= 0) return lsh_sat(r, -sh);
  return sh < 32 ? r >> sh : 0;
}

// Approximately a * 2^Q / b.
inline int32_t divideQ(int32_t a, int32_t b, int Q) {
  const int ha = clz32(abs32(a)) - 1;
  int32_t an = shl32(a, ha);
  const int hb = clz32(abs32(b)) - 1;
  const int32_t bn = shl32(b, hb);
  const int32_t binv = 0x1FFFFFFF / (bn >> 16);
  int32_t r = mulw(an, binv);
  an = sub32(an, shl32(mmul(bn, r), 3));
  r = mlaw(r, an, binv);
  const int sh = 29 + ha - hb - Q;
  if (sh <= 0) return lsh_sat(r, -sh);
  return sh < 32 ? r >> sh : 0;
}

// Q7 log2 to linear.
inline int32_t log2lin(int32_t x) {
  if (x < 0) return 0;
  if (x >= 3968) return INT32_MAX;
  int32_t out = 1 << (x >> 7);
  const int32_t f = x & 127;
  const int32_t p = mlaw(f, f * (128 - f), -174);
  if (x < 2048) return out + ((out * p) >> 7);
  return out + (out >> 7) * p;
}

// Linear to Q7 log2 (approximately 128 * log2(x)).
inline int32_t lin2log(int32_t x) {
  const int lz = clz32(x);
  const int32_t f = static_cast<int32_t>((static_cast<uint32_t>(x) << lz) >> 24) & 0x7F;
  return ((31 - lz) << 7) + mlaw(f, f * (128 - f), 179);
}

inline int32_t sqrtApprox(int32_t x) {
  if (x <= 0) return 0;
  const int lz = clz32(x);
  const int32_t f = static_cast<int32_t>((static_cast<uint32_t>(x) << lz) >> 24) & 0x7F;
  int32_t y = (lz & 1) ? 32768 : 46214;
  y >>= lz >> 1;
  return mlaw(y, y, mulbb(213, f));
}

}  // namespace silk
