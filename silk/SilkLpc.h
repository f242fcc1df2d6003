// Spectral envelope arithmetic shared by decoder and encoder: NLSF stabilisation,
// NLSF to LPC conversion with its stability guard, and bandwidth expansion.
// All fixed-point and bit-exact: the encoder must reproduce the decoder's filters.
#pragma once

#include <stdint.h>

namespace silk {

// Enforces the minimum spacings `deltaMin` (order + 1 entries, Q15) on `nlsf`.
void stabilizeNlsf(int32_t* nlsf, const int32_t* deltaMin, int order);
// LPC coefficients (Q12) of an NLSF vector (Q15), magnitude-limited to 16 bits.
void nlsfToLpc(int16_t* a, const int32_t* nlsf, int order);
// nlsfToLpc, then bandwidth-expanded until the filter is stable (zeros if it never is).
void nlsfToLpcStable(int16_t* a, const int32_t* nlsf, int order);
// Chirps the filter: a[i] *= chirp^(i+1), chirp in Q16.
void bandwidthExpand(int16_t* a, int order, int32_t chirp);
// False when the synthesis filter is unstable; else true with the inverse prediction
// gain in Q30 (may be null).
bool inversePredictionGain(int32_t* invGainQ30, const int16_t* a, int order);

}  // namespace silk
