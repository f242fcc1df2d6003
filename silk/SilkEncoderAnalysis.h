// The encoder's analysis, in floating point: none of it is bitstream-relevant except
// through the indices it picks, so it only has to be good, not exact.
#pragma once

#include <stdint.h>

#include "SilkTables.h"

namespace silk {

// LPC predictor a[0..order) of x[0..n) (y[n] ~ sum a[j] y[n-1-j]), with a sine window,
// white-noise correction and a slight bandwidth expansion.
void analyzeLpc(const float* x, int n, int order, float* a);
// The prediction residual of x[0..n) with history x[-order..-1] available.
void lpcResidual(const float* x, int n, const float* a, int order, float* residual);
// NLSFs (Q15, increasing) of the predictor; false when the roots could not be found.
bool lpcToNlsf(const float* a, int order, int32_t* nlsfQ15);
// Multi-stage VQ of the NLSFs: stage indices and the decoder's reconstruction.
void quantizeNlsf(const int32_t* nlsfQ15, int order, const NlsfCodebook& codebook, float speechActivity, bool voiced,
                  int* indices, int32_t* quantizedQ15);

struct PitchResult {
  bool voiced;
  int lagIndex;
  int contourIndex;
  int lags[NB_SUBFR];
  float correlation;
};
// Pitch of the frame residual r[0..frame), with r[-18 ms - 2 .. -1] available.
PitchResult analyzePitch(const float* residual, int fs_kHz, int frame, float threshold);

struct LtpResult {
  int periodicityIndex;
  int indices[NB_SUBFR];
  int16_t taps[NB_SUBFR * LTP_ORDER];  // Q14, from the codebook
};
// Five-tap long-term predictors per subframe, quantised with the LTP codebooks.
LtpResult quantizeLtp(const float* residual, const int* lags, int subframe, float mu);

}  // namespace silk
