#include "dsp/eq/FilterCoefficients.h"

namespace {

// c(n,k,m): coefficient of z^-m in (1 - z^-1)^k · (1 + z^-1)^(n-k), for n up to 5.
struct BilinearTable {
  double c[FilterCoefficients::kMaxOrder + 1][FilterCoefficients::kMaxOrder + 1]
          [FilterCoefficients::kMaxOrder + 1] = {};
};

constexpr BilinearTable makeBilinearTable() {
  BilinearTable t;
  constexpr int kMax = FilterCoefficients::kMaxOrder;
  for (int n = 0; n <= kMax; ++n) {
    for (int k = 0; k <= n; ++k) {
      double poly[kMax + 1] = {1.0};
      for (int f = 0; f < n; ++f) {
        const double sign = f < k ? -1.0 : 1.0; // k factors (1 - z^-1), then (1 + z^-1)
        for (int m = f + 1; m >= 1; --m)
          poly[m] += sign * poly[m - 1];
      }
      for (int m = 0; m <= n; ++m)
        t.c[n][k][m] = poly[m];
    }
  }
  return t;
}

constexpr BilinearTable kBilinear = makeBilinearTable();

} // namespace

FilterCoefficients::FilterCoefficients(int filterOrder)
    : order(filterOrder < 0 ? 0 : (filterOrder > kMaxOrder ? kMaxOrder : filterOrder)), analogDen{},
      analogNum{}, digitalDen{}, digitalNum{} {}

void FilterCoefficients::bilinearTransform(double rate) {
  const double K = 2.0 * rate;
  if (order == 5) {
    // Straight-line form of the general sum below for the equalizer's order: A_k·K^k first,
    // then the fixed binomial patterns of (1 - z^-1)^k (1 + z^-1)^(5-k).
    const double K2 = K * K, K3 = K2 * K, K4 = K3 * K, K5 = K4 * K;
    const double a0 = analogDen[0], a1 = analogDen[1] * K, a2 = analogDen[2] * K2,
                 a3 = analogDen[3] * K3, a4 = analogDen[4] * K4, a5 = analogDen[5] * K5;
    const double b0 = analogNum[0], b1 = analogNum[1] * K, b2 = analogNum[2] * K2,
                 b3 = analogNum[3] * K3, b4 = analogNum[4] * K4, b5 = analogNum[5] * K5;
    // k = 0: 1 5 10 10 5 1     k = 1: 1 3 2 -2 -3 -1    k = 2: 1 1 -2 -2 1 1
    // k = 3: 1 -1 -2 2 1 -1    k = 4: 1 -3 2 2 -3 1     k = 5: 1 -5 10 -10 5 -1
    digitalDen[0] = a0 + a1 + a2 + a3 + a4 + a5;
    digitalDen[1] = 5.0 * a0 + 3.0 * a1 + a2 - a3 - 3.0 * a4 - 5.0 * a5;
    digitalDen[2] = 10.0 * a0 + 2.0 * a1 - 2.0 * a2 - 2.0 * a3 + 2.0 * a4 + 10.0 * a5;
    digitalDen[3] = 10.0 * a0 - 2.0 * a1 - 2.0 * a2 + 2.0 * a3 + 2.0 * a4 - 10.0 * a5;
    digitalDen[4] = 5.0 * a0 - 3.0 * a1 + a2 + a3 - 3.0 * a4 + 5.0 * a5;
    digitalDen[5] = a0 - a1 + a2 - a3 + a4 - a5;
    digitalNum[0] = b0 + b1 + b2 + b3 + b4 + b5;
    digitalNum[1] = 5.0 * b0 + 3.0 * b1 + b2 - b3 - 3.0 * b4 - 5.0 * b5;
    digitalNum[2] = 10.0 * b0 + 2.0 * b1 - 2.0 * b2 - 2.0 * b3 + 2.0 * b4 + 10.0 * b5;
    digitalNum[3] = 10.0 * b0 - 2.0 * b1 - 2.0 * b2 + 2.0 * b3 + 2.0 * b4 - 10.0 * b5;
    digitalNum[4] = 5.0 * b0 - 3.0 * b1 + b2 + b3 - 3.0 * b4 + 5.0 * b5;
    digitalNum[5] = b0 - b1 + b2 - b3 + b4 - b5;
  } else {
    const int n = order;
    for (int m = 0; m <= kMaxOrder; ++m) {
      digitalDen[m] = 0.0;
      digitalNum[m] = 0.0;
    }
    double Kk = 1.0;
    for (int k = 0; k <= n; ++k) {
      const double A = analogDen[k] * Kk, B = analogNum[k] * Kk;
      for (int m = 0; m <= n; ++m) {
        digitalDen[m] += A * kBilinear.c[n][k][m];
        digitalNum[m] += B * kBilinear.c[n][k][m];
      }
      Kk *= K;
    }
  }
  normalizeCoefficients();
}

void FilterCoefficients::normalizeCoefficients() {
  const double g = digitalDen[0];
  for (int m = 0; m <= order; ++m) {
    digitalDen[m] /= g;
    digitalNum[m] /= g;
  }
}
