// The decoder's output resampler, from the internal rate (8/12/16/24 kHz) to the API
// rate (8-48 kHz): 2x all-pass upsampling, 144-phase FIR interpolation, or AR2 + FIR
// decimation, chosen by the ratio. Bit-exact with the reference decoder's output.
#pragma once

#include <stdint.h>

namespace silk {

class Resampler {
 public:
  // Upper bound of the samples one call produces per input sample count `n`.
  static int maxOutput(int n, int inRate, int outRate) { return static_cast<int>((static_cast<int64_t>(n) * outRate) / inRate) + 8 * (n / 80 + 1); }

  void init(int inRate, int outRate);
  // Resamples `n` samples (a whole number of 10 ms batches or fewer); answers the
  // number written, which may exceed the nominal count by one per batch.
  int process(int16_t* out, const int16_t* in, int n);

 private:
  enum class Method { Copy, Up2, IirFir, DownFir };

  int upsample2(int16_t* out, const int16_t* in, int n);
  int interpolate(int16_t* out, const int16_t* in, int n);
  int decimate(int16_t* out, const int16_t* in, int n);

  Method _method = Method::Copy;
  int _batch = 0;
  int32_t _increment = 0;
  int32_t _up2[6] = {};
  int16_t _firHistory[6] = {};
  int32_t _ar2[2] = {};
  int32_t _downHistory[12] = {};
  const int16_t* _coefs = nullptr;
  int _fracs = 0;
};

}  // namespace silk
