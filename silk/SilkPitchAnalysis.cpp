// Pitch and long-term prediction analysis on the LPC residual: a normalised
// correlation search over 2-18 ms, refined per subframe with the contour codebooks,
// then five-tap predictors chosen from the LTP codebooks by prediction error and rate.
#include <math.h>
#include <string.h>

#include "SilkEncoderAnalysis.h"

namespace silk {

namespace {

constexpr int kContourSpread = 12;  // covers every contour table offset
constexpr float kSubmultipleShare = 0.85f;

float normalizedCorrelation(const float* r, int length, int lag) {
  double xy = 0.0, xx = 0.0, yy = 0.0;
  for (int n = 0; n < length; ++n) {
    xy += r[n] * r[n - lag];
    xx += r[n] * r[n];
    yy += r[n - lag] * r[n - lag];
  }
  return static_cast<float>(xy / sqrt(xx * yy + 1e-9));
}

// Best lag over the whole frame; shorter lags win when nearly as good (octave errors).
int coarseLag(const float* r, int frame, int minLag, int maxLag, float* correlation) {
  double energy0 = 0.0;
  for (int n = 0; n < frame; ++n) energy0 += r[n] * r[n];
  double energyLag = 0.0;
  for (int n = 0; n < frame; ++n) energyLag += r[n - minLag] * r[n - minLag];
  float scores[MAX_FRAME_LENGTH] = {};
  int best = minLag;
  for (int lag = minLag; lag <= maxLag; ++lag) {
    double xy = 0.0;
    for (int n = 0; n < frame; ++n) xy += r[n] * r[n - lag];
    scores[lag - minLag] = static_cast<float>(xy / sqrt(energy0 * energyLag + 1e-9));
    if (scores[lag - minLag] > scores[best - minLag]) best = lag;
    energyLag += r[-lag - 1] * r[-lag - 1] - r[frame - lag - 1] * r[frame - lag - 1];
    if (energyLag < 0) energyLag = 0;
  }
  for (int m = 4; m >= 2; --m) {
    const int candidate = (best + m / 2) / m;
    if (candidate - 1 < minLag) continue;
    int local = candidate;
    for (int lag = candidate - 1; lag <= candidate + 1; ++lag) {
      if (scores[lag - minLag] > scores[local - minLag]) local = lag;
    }
    if (scores[local - minLag] >= kSubmultipleShare * scores[best - minLag]) {
      best = local;
      break;
    }
  }
  *correlation = scores[best - minLag];
  return best;
}

}  // namespace

PitchResult analyzePitch(const float* r, int fs_kHz, int frame, float threshold) {
  PitchResult result{};
  const int minLag = 2 * fs_kHz;
  const int maxLag = 18 * fs_kHz;
  const int sub = frame / NB_SUBFR;
  const int lag = coarseLag(r, frame, minLag, maxLag, &result.correlation);
  result.voiced = result.correlation >= threshold;
  if (!result.voiced) return result;

  // Per-subframe correlations around the coarse lag.
  const int lo = lag - 2 - kContourSpread;
  float table[NB_SUBFR][2 * kContourSpread + 5];
  for (int k = 0; k < NB_SUBFR; ++k) {
    for (int l = 0; l < 2 * kContourSpread + 5; ++l) {
      const int candidate = lo + l;
      table[k][l] = (candidate < minLag || candidate > maxLag) ? -2.0f : normalizedCorrelation(r + k * sub, sub, candidate);
    }
  }
  const int contours = fs_kHz == 8 ? PITCH_EST_NB_CBKS_STAGE2_EXT : PITCH_EST_NB_CBKS_STAGE3_MAX;
  float best = -1e9f;
  for (int lag0 = lag - 2; lag0 <= lag + 2; ++lag0) {
    if (lag0 < minLag || lag0 - minLag > 16 * fs_kHz) continue;
    for (int c = 0; c < contours; ++c) {
      float score = 0.0f;
      bool valid = true;
      int lags[NB_SUBFR];
      for (int k = 0; k < NB_SUBFR && valid; ++k) {
        lags[k] = lag0 + (fs_kHz == 8 ? CB_lags_stage2[k][c] : CB_lags_stage3[k][c]);
        valid = lags[k] >= minLag && lags[k] <= maxLag && lags[k] - lo >= 0 && lags[k] - lo < 2 * kContourSpread + 5;
        if (valid) score += table[k][lags[k] - lo];
      }
      if (valid && score > best) {
        best = score;
        result.lagIndex = lag0 - minLag;
        result.contourIndex = c;
        memcpy(result.lags, lags, sizeof(lags));
      }
    }
  }
  if (best < -1e8f) result.voiced = false;
  return result;
}

LtpResult quantizeLtp(const float* r, const int* lags, int sub, float mu) {
  double W[NB_SUBFR][LTP_ORDER][LTP_ORDER];
  double z[NB_SUBFR][LTP_ORDER];
  double energy[NB_SUBFR];
  for (int k = 0; k < NB_SUBFR; ++k) {
    const float* target = r + k * sub;
    const float* past = target - lags[k] + LTP_ORDER / 2;
    energy[k] = 1e-3;
    for (int n = 0; n < sub; ++n) energy[k] += target[n] * target[n];
    for (int i = 0; i < LTP_ORDER; ++i) {
      z[k][i] = 0.0;
      for (int n = 0; n < sub; ++n) z[k][i] += target[n] * past[n - i];
      for (int j = i; j < LTP_ORDER; ++j) {
        double sum = 0.0;
        for (int n = 0; n < sub; ++n) sum += past[n - i] * past[n - j];
        W[k][i][j] = W[k][j][i] = sum;
      }
    }
  }
  LtpResult result{};
  double bestTotal = 1e30;
  for (int p = 0; p < NB_LTP_CBKS; ++p) {
    const int rows = LTP_vq_sizes[p];
    double total = 0.0;
    int indices[NB_SUBFR];
    for (int k = 0; k < NB_SUBFR; ++k) {
      double bestCost = 1e30;
      for (int row = 0; row < rows; ++row) {
        const int16_t* taps = LTP_vq_ptrs_Q14[p] + row * LTP_ORDER;
        double b[LTP_ORDER];
        for (int i = 0; i < LTP_ORDER; ++i) b[i] = taps[i] / 16384.0;
        double error = energy[k];
        for (int i = 0; i < LTP_ORDER; ++i) {
          error -= 2.0 * b[i] * z[k][i];
          for (int j = 0; j < LTP_ORDER; ++j) error += b[i] * W[k][i][j] * b[j];
        }
        const double cost = error / energy[k] + mu * LTP_gain_BITS_Q6_ptrs[p][row] / 64.0;
        if (cost < bestCost) {
          bestCost = cost;
          indices[k] = row;
        }
      }
      total += bestCost;
    }
    if (total < bestTotal) {
      bestTotal = total;
      result.periodicityIndex = p;
      memcpy(result.indices, indices, sizeof(indices));
    }
  }
  for (int k = 0; k < NB_SUBFR; ++k) {
    memcpy(&result.taps[k * LTP_ORDER], LTP_vq_ptrs_Q14[result.periodicityIndex] + result.indices[k] * LTP_ORDER,
           sizeof(int16_t) * LTP_ORDER);
  }
  return result;
}

}  // namespace silk
