#include "SilkResampler.h"

#include <string.h>

#include "SilkMath.h"
#include "SilkTables.h"

namespace silk {

namespace {

constexpr int kMaxBatch = 480;

struct DownRatio {
  int out;
  int in;
  const int16_t* coefs;
  int fracs;
};

// The decimation ratios with their own filters; other ratios interpolate.
const DownRatio kDownRatios[] = {
    {3, 4, Resampler_3_4_COEFS, 3}, {2, 3, Resampler_2_3_COEFS, 2}, {1, 2, Resampler_1_2_COEFS, 1},
    {3, 8, Resampler_3_8_COEFS, 3}, {1, 3, Resampler_1_3_COEFS, 1},
};

}  // namespace

void Resampler::init(int inRate, int outRate) {
  *this = Resampler();
  _batch = inRate / 100;
  if (outRate == inRate) {
    _method = Method::Copy;
  } else if (outRate == 2 * inRate) {
    _method = Method::Up2;
  } else if (outRate > inRate) {
    _method = Method::IirFir;
  } else {
    _method = Method::IirFir;
    for (const DownRatio& ratio : kDownRatios) {
      if (static_cast<int64_t>(outRate) * ratio.in == static_cast<int64_t>(inRate) * ratio.out) {
        _method = Method::DownFir;
        _coefs = ratio.coefs;
        _fracs = ratio.fracs;
      }
    }
  }
  const int up = _method == Method::IirFir ? 1 : 0;
  _increment = static_cast<int32_t>((static_cast<int64_t>(inRate) << (14 + up)) / outRate) << 2;
  while (mulww(_increment, outRate) < (inRate << up)) ++_increment;
}

int Resampler::process(int16_t* out, const int16_t* in, int n) {
  switch (_method) {
    case Method::Copy:
      memcpy(out, in, sizeof(int16_t) * n);
      return n;
    case Method::Up2:
      return upsample2(out, in, n);
    case Method::IirFir:
      return interpolate(out, in, n);
    case Method::DownFir:
      return decimate(out, in, n);
  }
  return 0;
}

// The high-quality 2x upsampler: two all-pass branches and a notch shared by both phases.
int Resampler::upsample2(int16_t* out, const int16_t* in, int n) {
  const int16_t* h0 = resampler_up2_hq_0;
  const int16_t* h1 = resampler_up2_hq_1;
  const int16_t* notch = resampler_up2_hq_notch;
  int32_t* S = _up2;
  for (int k = 0; k < n; ++k) {
    const int32_t x = shl32(in[k], 10);
    int32_t y = sub32(x, S[0]);
    int32_t t = mulw(y, h0[0]);
    int32_t o1 = add32(S[0], t);
    S[0] = add32(x, t);
    y = sub32(o1, S[1]);
    t = mlaw(y, y, h0[1]);
    int32_t o2 = add32(S[1], t);
    S[1] = add32(o1, t);
    o2 = mlaw(o2, S[5], notch[2]);
    o2 = mlaw(o2, S[4], notch[1]);
    o1 = mlaw(o2, S[4], notch[0]);
    S[5] = sub32(o2, S[5]);
    out[2 * k] = static_cast<int16_t>(sat16(mlaw(256, o1, notch[3]) >> 9));

    y = sub32(x, S[2]);
    t = mulw(y, h1[0]);
    o1 = add32(S[2], t);
    S[2] = add32(x, t);
    y = sub32(o1, S[3]);
    t = mlaw(y, y, h1[1]);
    o2 = add32(S[3], t);
    S[3] = add32(o1, t);
    o2 = mlaw(o2, S[4], notch[2]);
    o2 = mlaw(o2, S[5], notch[1]);
    o1 = mlaw(o2, S[5], notch[0]);
    S[4] = sub32(o2, S[4]);
    out[2 * k + 1] = static_cast<int16_t>(sat16(mlaw(256, o1, notch[3]) >> 9));
  }
  return 2 * n;
}

int Resampler::interpolate(int16_t* out, const int16_t* in, int n) {
  int16_t buffer[2 * kMaxBatch + 6];
  int written = 0;
  memcpy(buffer, _firHistory, sizeof(_firHistory));
  while (n > 0) {
    const int batch = n < _batch ? n : _batch;
    upsample2(buffer + 6, in, batch);
    const int32_t end = (2 * batch) << 16;
    for (int32_t t = 0; t < end; t += _increment) {
      const int ph = mulw(t & 0xFFFF, 144);
      const int16_t* x = buffer + (t >> 16);
      const int16_t* a = resampler_frac_FIR_144[ph];
      const int16_t* b = resampler_frac_FIR_144[143 - ph];
      const int32_t y = x[0] * a[0] + x[1] * a[1] + x[2] * a[2] + x[3] * b[2] + x[4] * b[1] + x[5] * b[0];
      out[written++] = static_cast<int16_t>(sat16(rround(y, 15)));
    }
    in += batch;
    n -= batch;
    memmove(buffer, buffer + 2 * batch, 6 * sizeof(int16_t));
  }
  memcpy(_firHistory, buffer, sizeof(_firHistory));
  return written;
}

int Resampler::decimate(int16_t* out, const int16_t* in, int n) {
  int32_t buffer[kMaxBatch + 12];
  const int16_t* fir = _coefs + 2;
  int written = 0;
  memcpy(buffer, _downHistory, sizeof(_downHistory));
  while (n > 0) {
    const int batch = n < _batch ? n : _batch;
    for (int k = 0; k < batch; ++k) {
      const int32_t y = add32(_ar2[0], shl32(in[k], 8));
      buffer[12 + k] = y;
      const int32_t t = shl32(y, 2);
      _ar2[0] = mlaw(_ar2[1], t, _coefs[0]);
      _ar2[1] = mulw(t, _coefs[1]);
    }
    const int32_t end = batch << 16;
    for (int32_t t = 0; t < end; t += _increment) {
      const int32_t* x = buffer + (t >> 16);
      int32_t r = 0;
      if (_fracs == 1) {
        for (int j = 0; j < 6; ++j) r = mlaw(r, add32(x[j], x[11 - j]), fir[j]);
      } else {
        const int ph = mulw(t & 0xFFFF, _fracs);
        for (int j = 0; j < 6; ++j) r = mlaw(r, x[j], fir[6 * ph + j]);
        for (int j = 0; j < 6; ++j) r = mlaw(r, x[11 - j], fir[6 * (_fracs - 1 - ph) + j]);
      }
      out[written++] = static_cast<int16_t>(sat16(rround(r, 6)));
    }
    in += batch;
    n -= batch;
    memmove(buffer, buffer + batch, 12 * sizeof(int32_t));
  }
  memcpy(_downHistory, buffer, sizeof(_downHistory));
  return written;
}

}  // namespace silk
