// Measurement for a possible change of realisation: the same glide and the same normalised
// coefficients run through a lattice-ladder instead of the direct-form-I section, with all eight
// values moved at once in the middle of a signal (white noise, peak 0.1, at the filter rate).
// Not used by the product.
//
//   g++ -std=c++20 -O2 -Isrc -Itests/unit/eq tools/eqcheck/eqlattice.cpp src/dsp/eq/*.cpp
//     -o /tmp/eqlattice && /tmp/eqlattice | grep -v '^#PARAMS'
//
// Lattice from A(z) by the step-down recursion (reflection coefficients k_m), ladder taps from
// B(z); "normalized" uses the rotation form with c_m = sqrt(1 - k_m^2).
#include "EqTestUtil.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
using namespace eqtest;
struct Lattice {
  static constexpr int N = 5;
  double k[N + 1], c[N + 1], v[N + 1], g[N + 1] = {};
  bool normalized;
  explicit Lattice(bool n) : normalized(n) {}
  void design(const double* a, const double* b) {
    double A[N + 1][N + 1] = {};
    for (int i = 0; i <= N; ++i)
      A[N][i] = a[i];
    for (int m = N; m >= 1; --m) {
      k[m] = A[m][m];
      c[m] = std::sqrt(1.0 - k[m] * k[m]);
      for (int i = 0; i < m; ++i)
        A[m - 1][i] = (A[m][i] - k[m] * A[m][m - i]) / (1.0 - k[m] * k[m]);
    }
    double beta[N + 1];
    for (int i = 0; i <= N; ++i)
      beta[i] = b[i];
    for (int m = N; m >= 0; --m) {
      v[m] = beta[m];
      for (int i = 0; i <= m; ++i)
        beta[i] -= v[m] * A[m][m - i];
    }
    if (normalized) {
      double s = 1.0;
      for (int m = N; m >= 0; --m) {
        v[m] /= s;
        if (m >= 1) s *= c[m];
      }
    }
  }
  double process(double x) {
    double f = x, gn[N + 1];
    for (int m = N; m >= 1; --m) {
      double fm1, gm;
      if (normalized) {
        fm1 = c[m] * f - k[m] * g[m - 1];
        gm = k[m] * f + c[m] * g[m - 1];
      } else {
        fm1 = f - k[m] * g[m - 1];
        gm = k[m] * fm1 + g[m - 1];
      }
      gn[m] = gm;
      f = fm1;
    }
    gn[0] = f;
    double y = 0;
    for (int m = 0; m <= N; ++m)
      y += v[m] * gn[m];
    for (int m = 0; m < N; ++m)
      g[m] = gn[m];
    return y;
  }
};
int main() {
  // Same filter once settled: the two realisations must agree sample for sample.
  for (int norm = 0; norm < 2; ++norm) {
    ORVELFilterSmoothed f(192000.0);
    setTargets(f, {0.6, 0.3, 0.8, 0.4, 0.3, 0.7, 0.2, 0.6});
    f.tick(0.0);
    f.clearHistory();
    Lattice L(norm);
    L.design(f.coeffs().digitalDen, f.coeffs().digitalNum);
    double worst = 0;
    Noise nz(3);
    for (int n = 0; n < 20000; ++n) {
      double x = nz.next(0.1);
      double y1 = f.tick(x), y2 = L.process(x);
      worst = std::max(worst, std::fabs(y1 - y2));
    }
    printf("norm %d equivalence worst diff %.3g\n", norm, worst);
  }
  struct M {
    const char* w;
    Settings to;
  } moves[] = {{"(1,1,0,0,1,1,1,1)", {1, 1, 0, 0, 1, 1, 1, 1}},
               {"(0.5,0.5,0,0,1,0.5,0.5,0.5)", {0.5, 0.5, 0, 0, 1, 0.5, 0.5, 0.5}},
               {"HiCut 1 only", {0, 1, 0.5, 1, 0.5, 0, 0, 0}},
               {"session", {0.6, 0.3, 0.8, 0.4, 0.3, 0.7, 0.2, 0.6}}};
  for (double host : {48000.0, 96000.0, 192000.0})
    for (auto& mv : moves) {
      double rate = 2 * host;
      double pk[3] = {0, 0, 0};
      for (int kind = 0; kind < 3; ++kind) {
        ORVELFilterSmoothed f(rate);
        setTargets(f, kInit);
        f.tick(0.0);
        f.clearHistory();
        Lattice L(kind == 2);
        Noise nz(7);
        auto run = [&](double x) {
          if (kind == 0) return f.tick(x);
          if (f.smoothingActive.load()) {
            f.smoothStep();
          }
          L.design(f.coeffs().digitalDen, f.coeffs().digitalNum);
          return L.process(x);
        };
        L.design(f.coeffs().digitalDen, f.coeffs().digitalNum);
        for (int n = 0; n < int(0.5 * rate); ++n)
          run(nz.next(0.1));
        setTargets(f, mv.to);
        for (int n = 0; n < int(0.05 * rate); ++n)
          pk[kind] = std::max(pk[kind], std::fabs(run(nz.next(0.1))));
      }
      printf("host %6.0f %-28s DFI %10.4f  lattice %10.4f  normalized lattice %10.4f\n", host, mv.w,
             pk[0], pk[1], pk[2]);
    }
}
