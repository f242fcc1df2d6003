#include "SilkLpc.h"

#include "SilkMath.h"
#include "SilkTables.h"

namespace silk {

namespace {

constexpr int kMaxOrder = 16;

// Position of the most violated spacing, or -1 when every spacing holds.
int worstSpacing(const int32_t* nlsf, const int32_t* deltaMin, int order) {
  int32_t smallest = nlsf[0] - deltaMin[0];
  int at = 0;
  for (int i = 1; i < order; ++i) {
    const int32_t d = nlsf[i] - nlsf[i - 1] - deltaMin[i];
    if (d < smallest) {
      smallest = d;
      at = i;
    }
  }
  const int32_t last = 32768 - nlsf[order - 1] - deltaMin[order];
  if (last < smallest) {
    smallest = last;
    at = order;
  }
  return smallest >= 0 ? -1 : at;
}

void moveApart(int32_t* nlsf, const int32_t* deltaMin, int order, int at) {
  if (at == 0) {
    nlsf[0] = deltaMin[0];
    return;
  }
  if (at == order) {
    nlsf[order - 1] = 32768 - deltaMin[order];
    return;
  }
  int32_t lo = 0;
  for (int k = 0; k < at; ++k) lo += deltaMin[k];
  lo += deltaMin[at] >> 1;
  int32_t hi = 32768;
  for (int k = order; k > at; --k) hi -= deltaMin[k];
  hi -= deltaMin[at] - (deltaMin[at] >> 1);
  const int32_t centre = clampTo(rround(nlsf[at - 1] + nlsf[at], 1), lo, hi);
  nlsf[at - 1] = centre - (deltaMin[at] >> 1);
  nlsf[at] = nlsf[at - 1] + deltaMin[at];
}

// The fall-back after too many passes: sort, then push apart from both ends.
void forceSpacing(int32_t* nlsf, const int32_t* deltaMin, int order) {
  for (int i = 1; i < order; ++i) {
    const int32_t value = nlsf[i];
    int j = i - 1;
    for (; j >= 0 && nlsf[j] > value; --j) nlsf[j + 1] = nlsf[j];
    nlsf[j + 1] = value;
  }
  nlsf[0] = nlsf[0] > deltaMin[0] ? nlsf[0] : deltaMin[0];
  for (int i = 1; i < order; ++i) {
    const int32_t floorValue = nlsf[i - 1] + deltaMin[i];
    if (nlsf[i] < floorValue) nlsf[i] = floorValue;
  }
  const int32_t top = 32768 - deltaMin[order];
  if (nlsf[order - 1] > top) nlsf[order - 1] = top;
  for (int i = order - 2; i >= 0; --i) {
    const int32_t ceiling = nlsf[i + 1] - deltaMin[i + 1];
    if (nlsf[i] > ceiling) nlsf[i] = ceiling;
  }
}

// The polynomial of one half of the cosine values, Q20.
void halfPolynomial(int32_t* out, const int32_t* c, int half) {
  out[0] = 1 << 20;
  out[1] = -c[0];
  for (int k = 1; k < half; ++k) {
    const int32_t x = c[2 * k];
    out[k + 1] = static_cast<int32_t>(2 * static_cast<int64_t>(out[k - 1]) - rround64(static_cast<int64_t>(x) * out[k], 20));
    for (int n = k; n > 1; --n) {
      out[n] = static_cast<int32_t>(out[n] + out[n - 2] - rround64(static_cast<int64_t>(x) * out[n - 1], 20));
    }
    out[1] -= x;
  }
}

void bandwidthExpand32(int32_t* a, int order, int32_t chirp) {
  int32_t t = chirp;
  for (int i = 0; i < order - 1; ++i) {
    a[i] = mulww(a[i], t);
    t = mulww(chirp, t);
  }
  a[order - 1] = mulww(a[order - 1], t);
}

}  // namespace

void stabilizeNlsf(int32_t* nlsf, const int32_t* deltaMin, int order) {
  for (int pass = 0; pass < MAX_LPC_STABILIZE_ITERATIONS; ++pass) {
    const int at = worstSpacing(nlsf, deltaMin, order);
    if (at < 0) return;
    moveApart(nlsf, deltaMin, order, at);
  }
  forceSpacing(nlsf, deltaMin, order);
}

void nlsfToLpc(int16_t* aQ12, const int32_t* nlsf, int order) {
  int32_t cosine[kMaxOrder];
  for (int k = 0; k < order; ++k) {
    const int32_t fi = nlsf[k] >> 8;
    const int32_t ff = nlsf[k] - (fi << 8);
    cosine[k] = shl32(LSFCosTab_FIX_Q12[fi], 8) + (LSFCosTab_FIX_Q12[fi + 1] - LSFCosTab_FIX_Q12[fi]) * ff;
  }
  const int half = order / 2;
  int32_t P[kMaxOrder / 2 + 1];
  int32_t Q[kMaxOrder / 2 + 1];
  halfPolynomial(P, cosine, half);
  halfPolynomial(Q, cosine + 1, half);
  int32_t a[kMaxOrder];
  for (int k = 0; k < half; ++k) {
    const int32_t pt = add32(P[k + 1], P[k]);
    const int32_t qt = sub32(Q[k + 1], Q[k]);
    a[k] = -rround(add32(pt, qt), 9);
    a[order - 1 - k] = rround(sub32(qt, pt), 9);
  }
  int pass = 0;
  for (; pass < 10; ++pass) {
    int32_t largest = 0;
    int at = 0;
    for (int k = 0; k < order; ++k) {
      const int32_t magnitude = abs32(a[k]);
      if (magnitude > largest) {
        largest = magnitude;
        at = k;
      }
    }
    if (largest <= 32767) break;
    const int32_t m = largest < 98369 ? largest : 98369;
    const int32_t chirp = 65470 - ((65470 >> 2) * (m - 32767)) / ((m * (at + 1)) >> 2);
    bandwidthExpand32(a, order, chirp);
  }
  if (pass == 10) {
    for (int k = 0; k < order; ++k) a[k] = sat16(a[k]);
  }
  for (int k = 0; k < order; ++k) aQ12[k] = static_cast<int16_t>(a[k]);
}

void bandwidthExpand(int16_t* a, int order, int32_t chirp) {
  const int32_t chirpMinusOne = chirp - 65536;
  for (int i = 0; i < order - 1; ++i) {
    a[i] = static_cast<int16_t>(s16(rround(chirp * a[i], 16)));
    chirp += rround(chirp * chirpMinusOne, 16);
  }
  a[order - 1] = static_cast<int16_t>(s16(rround(chirp * a[order - 1], 16)));
}

void nlsfToLpcStable(int16_t* a, const int32_t* nlsf, int order) {
  nlsfToLpc(a, nlsf, order);
  for (int i = 0; i < MAX_LPC_STABILIZE_ITERATIONS; ++i) {
    if (inversePredictionGain(nullptr, a, order)) return;
    bandwidthExpand(a, order, 65536 - mulbb(10 + i, i));
  }
  if (inversePredictionGain(nullptr, a, order)) return;
  for (int k = 0; k < order; ++k) a[k] = 0;
}

bool inversePredictionGain(int32_t* invGainQ30, const int16_t* aQ12, int order) {
  constexpr int32_t kLimit = 65520;
  int32_t a[kMaxOrder];
  int32_t next[kMaxOrder];
  for (int k = 0; k < order; ++k) a[k] = shl32(aQ12[k], 4);
  int32_t inverse = 1 << 30;
  for (int k = order - 1; k > 0; --k) {
    if (a[k] > kLimit || a[k] < -kLimit) return false;
    const int32_t rc = -shl32(a[k], 15);
    const int32_t m1 = 0x3FFFFFFF - mmul(rc, rc);
    int32_t m2 = inverseQ(m1, 46);
    inverse = shl32(mmul(inverse, m1), 2);
    const int h = clz32(m2) - 1;
    m2 = shl32(m2, h);
    for (int n = 0; n < k; ++n) {
      const int32_t t = sub32(a[n], shl32(mmul(a[k - 1 - n], rc), 1));
      next[n] = shl32(mmul(t, m2), 16 - h);
    }
    for (int n = 0; n < k; ++n) a[n] = next[n];
  }
  if (a[0] > kLimit || a[0] < -kLimit) return false;
  const int32_t rc = -shl32(a[0], 15);
  const int32_t m1 = 0x3FFFFFFF - mmul(rc, rc);
  inverse = shl32(mmul(inverse, m1), 2);
  if (invGainQ30) *invGainQ30 = inverse;
  return true;
}

}  // namespace silk
