// Short-term analysis: windowed autocorrelation LPC, and LPC to NLSF by root search
// on the sum and difference polynomials.
#include <math.h>
#include <string.h>

#include "SilkEncoderAnalysis.h"

namespace silk {

namespace {

constexpr int kMaxOrder = MAX_LPC_ORDER;
constexpr int kGrid = 512;

// Value at x = cos(w) of a symmetric polynomial of degree 2*half with coefficients c:
// c[half] + 2 sum c[half-k] T_k(x), by Clenshaw's recurrence.
double evaluateSymmetric(const double* c, int half, double x) {
  double b1 = 0.0, b2 = 0.0;
  for (int k = half; k >= 1; --k) {
    const double b0 = 2.0 * c[half - k] + 2.0 * x * b1 - b2;
    b2 = b1;
    b1 = b0;
  }
  return c[half] + x * b1 - b2;
}

struct CosineGrid {
  double x[kGrid + 1];
  CosineGrid() {
    for (int g = 0; g <= kGrid; ++g) x[g] = cos(M_PI * g / kGrid);
  }
};

// The roots in (0, pi) of one symmetric polynomial, by sign changes and bisection.
int findRoots(const double* c, int half, double* roots) {
  static const CosineGrid grid;
  int found = 0;
  double previousW = 1.0;
  double previous = evaluateSymmetric(c, half, 1.0);
  for (int g = 1; g <= kGrid && found < half; ++g) {
    const double w = grid.x[g];
    const double value = evaluateSymmetric(c, half, w);
    if ((previous < 0) != (value < 0)) {
      double lo = previousW, hi = w, valueLo = previous;
      for (int i = 0; i < 20; ++i) {
        const double mid = 0.5 * (lo + hi);
        const double valueMid = evaluateSymmetric(c, half, mid);
        if ((valueLo < 0) == (valueMid < 0)) {
          lo = mid;
          valueLo = valueMid;
        } else {
          hi = mid;
        }
      }
      roots[found++] = acos(0.5 * (lo + hi));
    }
    previous = value;
    previousW = w;
  }
  return found;
}

}  // namespace

void analyzeLpc(const float* x, int n, int order, float* a) {
  float windowed[3 * MAX_FRAME_LENGTH];
  const double step = M_PI / n;
  // sin((i + 0.5) step) by rotation, without a sine call per sample.
  double s = sin(0.5 * step), c = cos(0.5 * step);
  const double sinStep = sin(step), cosStep = cos(step);
  for (int i = 0; i < n; ++i) {
    windowed[i] = static_cast<float>(s * x[i]);
    const double nextS = s * cosStep + c * sinStep;
    c = c * cosStep - s * sinStep;
    s = nextS;
  }
  double r[kMaxOrder + 1] = {};
  for (int lag = 0; lag <= order; ++lag) {
    double sum = 0.0;
    for (int i = lag; i < n; ++i) sum += static_cast<double>(windowed[i]) * windowed[i - lag];
    r[lag] = sum;
  }
  r[0] = r[0] * (1.0 + 2.5e-5) + 1e-3;
  for (int lag = 1; lag <= order; ++lag) r[lag] *= exp(-0.5 * pow(2.0 * M_PI * 60.0 * lag / 16000.0, 2));
  double coef[kMaxOrder] = {};
  double error = r[0];
  for (int i = 0; i < order; ++i) {
    double acc = r[i + 1];
    for (int j = 0; j < i; ++j) acc -= coef[j] * r[i - j];
    const double k = acc / error;
    double next[kMaxOrder];
    for (int j = 0; j < i; ++j) next[j] = coef[j] - k * coef[i - 1 - j];
    next[i] = k;
    memcpy(coef, next, sizeof(double) * (i + 1));
    error *= 1.0 - k * k;
    if (error <= 0) break;
  }
  double chirp = 0.999;
  for (int j = 0; j < order; ++j, chirp *= 0.999) a[j] = static_cast<float>(coef[j] * chirp);
}

void lpcResidual(const float* x, int n, const float* a, int order, float* residual) {
  for (int i = 0; i < n; ++i) {
    float prediction = 0.0f;
    for (int j = 0; j < order; ++j) prediction += a[j] * x[i - 1 - j];
    residual[i] = x[i] - prediction;
  }
}

bool lpcToNlsf(const float* a, int order, int32_t* nlsfQ15) {
  // A(z) = 1 - sum a_j z^-(j+1); P = A + z^-(d+1) A(1/z), Q = A - z^-(d+1) A(1/z),
  // with their trivial roots at z = -1 and z = 1 divided out.
  double A[kMaxOrder + 2] = {1.0};
  for (int j = 0; j < order; ++j) A[j + 1] = -a[j];
  double P[kMaxOrder + 2] = {}, Q[kMaxOrder + 2] = {};
  for (int i = 0; i <= order + 1; ++i) {
    const double mirrored = (order + 1 - i <= order) ? A[order + 1 - i] : 0.0;
    const double direct = i <= order ? A[i] : 0.0;
    P[i] = direct + mirrored;
    Q[i] = direct - mirrored;
  }
  double Pr[kMaxOrder + 1], Qr[kMaxOrder + 1];
  Pr[0] = P[0];
  Qr[0] = Q[0];
  for (int i = 1; i <= order; ++i) {
    Pr[i] = P[i] - Pr[i - 1];
    Qr[i] = Q[i] + Qr[i - 1];
  }
  const int half = order / 2;
  double rootsP[kMaxOrder / 2], rootsQ[kMaxOrder / 2];
  if (findRoots(Pr, half, rootsP) != half || findRoots(Qr, half, rootsQ) != half) return false;
  for (int k = 0; k < half; ++k) {
    nlsfQ15[2 * k] = static_cast<int32_t>(lround(rootsP[k] / M_PI * 32768.0));
    nlsfQ15[2 * k + 1] = static_cast<int32_t>(lround(rootsQ[k] / M_PI * 32768.0));
  }
  for (int k = 1; k < order; ++k) {
    if (nlsfQ15[k] <= nlsfQ15[k - 1]) return false;
  }
  return true;
}

}  // namespace silk
