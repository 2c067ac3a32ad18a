#pragma once

#include "dsp/tube/CubicUnityStepInterpolator.h"

#include <cmath>
#include <memory>
#include <utility>

// A plain transcription of the tube stage for cross-checking the optimised solver: its own
// tables from the triode law, the residuals and the Jacobian written out entry by entry, and a
// generic Gaussian elimination with partial pivoting instead of the closed form. Its Newton
// loop starts from the plain linear extrapolation of the last two samples.
class ReferenceTube {
public:
  // `stopAt`: the largest change of any node (volts) that ends the Newton loop.
  explicit ReferenceTube(double rate, double stopAt = 1e-6) : tolerance(stopAt), sampleRate(rate) {
    {
      double* x = new double[128];
      double* y = new double[128];
      for (int i = 0; i < 128; ++i) {
        x[i] = -64.0 + i;
        y[i] = 0.0054931640625 * std::pow(std::log(std::exp(x[i]) + 1.0) / 1.5, 1.456);
      }
      currentTable = std::make_unique<CubicUnityStepInterpolator>(x, y, 128);
    }
    {
      double* x = new double[256];
      double* y = new double[256];
      const double c = std::pow(1.5, -0.45599999999999996) * 1.456 * 0.0054931640625;
      for (int i = 0; i < 256; ++i) {
        x[i] = -128.0 + i;
        const double e = std::exp(1.5 * x[i]);
        y[i] = -(c * e * std::pow(std::log(e + 1.0), 0.45599999999999996) / (e + 1.0));
      }
      slopeTable = std::make_unique<CubicUnityStepInterpolator>(x, y, 256);
    }
  }

  double process(double x) {
    const double m = 2.0 * bypassCapacitance * sampleRate;
    const double l = 2.0 * couplingCapacitance * sampleRate;
    const double gk = 1.0 / cathodeResistance;
    const double ga = 1.0 / upperCathodeResistance;
    const double gL = 1.0 / loadResistance;
    const double tn = node[0], vn = node[2], rn = node[3];

    double guess[4];
    for (int i = 0; i < 4; ++i)
      guess[i] = 2.0 * node[i] - previous[i];

    double next[4];
    steps = 0;
    for (;;) {
      const double t = guess[0], u = guess[1], v = guess[2], r = guess[3];
      const double w1 = u * inverseMu + x - t;
      const double w2 = supplyVoltage * inverseMu + u - v;
      const double i1 = currentTable->evaluate(1.5 * w1);
      const double i2 = currentTable->evaluate(1.5 * w2);
      const double s1 = slopeTable->evaluate(w1);
      const double s2 = slopeTable->evaluate(w2);

      double f[4];
      f[0] = m * (t - tn) - bypassHistory + gk * t - i1;
      f[1] = ga * (v - u) - i1;
      f[2] = l * ((v - vn) - (r - rn)) - couplingHistory + ga * (v - u) - i2;
      f[3] = l * ((v - vn) - (r - rn)) - couplingHistory - gL * r;

      double a[4][5] = {
          {m + gk - s1, s1 * inverseMu, 0.0, 0.0, -f[0]},
          {-s1, -ga + s1 * inverseMu, ga, 0.0, -f[1]},
          {0.0, -ga + s2, l + ga - s2, -l, -f[2]},
          {0.0, 0.0, l, -l - gL, -f[3]},
      };
      double delta[4];
      solve(a, delta);
      for (int i = 0; i < 4; ++i)
        next[i] = guess[i] + delta[i];
      ++steps;
      if (steps == 100) break;
      bool moved = false;
      for (int i = 0; i < 4; ++i) {
        if (std::fabs(next[i] - guess[i]) > tolerance) {
          moved = true;
          break;
        }
      }
      if (!moved) break;
      for (int i = 0; i < 4; ++i)
        guess[i] = next[i];
    }

    bypassHistory = m * (next[0] - tn) - bypassHistory;
    couplingHistory = l * ((next[2] - vn) - (next[3] - rn)) - couplingHistory;
    for (int i = 0; i < 4; ++i) {
      previous[i] = node[i];
      node[i] = next[i];
    }
    return next[3];
  }

  static void solve(double (&a)[4][5], double (&x)[4]) {
    for (int col = 0; col < 4; ++col) {
      int pivot = col;
      for (int row = col + 1; row < 4; ++row)
        if (std::fabs(a[row][col]) > std::fabs(a[pivot][col])) pivot = row;
      if (pivot != col)
        for (int k = 0; k < 5; ++k)
          std::swap(a[col][k], a[pivot][k]);
      for (int row = col + 1; row < 4; ++row) {
        const double factor = a[row][col] / a[col][col];
        for (int k = col; k < 5; ++k)
          a[row][k] -= factor * a[col][k];
      }
    }
    for (int row = 3; row >= 0; --row) {
      double s = a[row][4];
      for (int k = row + 1; k < 4; ++k)
        s -= a[row][k] * x[k];
      x[row] = s / a[row][row];
    }
  }

  static constexpr double inverseMu = 0.0300625300625301;
  double tolerance;
  double sampleRate;
  double supplyVoltage = 250.0;
  double cathodeResistance = 470.0;
  double upperCathodeResistance = 1000.0;
  double loadResistance = 4400.0;
  double bypassCapacitance = 0.00047022;
  double couplingCapacitance = 4.7e-6;
  double node[4] = {3.0673649874780495, 134.94170353179817, 141.4680120157941, 0.0};
  double previous[4] = {3.0673649874780495, 134.94170353179817, 141.4680120157941, 0.0};
  double bypassHistory = 0.0;
  double couplingHistory = 0.0;
  int steps = 0;
  std::unique_ptr<CubicUnityStepInterpolator> currentTable;
  std::unique_ptr<CubicUnityStepInterpolator> slopeTable;
};
