#pragma once

#include "dsp/tube/BaseUnityStepInterpolator.h"
#include "dsp/tube/CubicBaseInterpolator.h"

// Natural cubic spline on unit-spaced knots: no search and no division per evaluation.
// Held flat at y[0] below the first knot (and for NaN) and at y[n - 1] from the last knot on.
class CubicUnityStepInterpolator final : public CubicBaseInterpolator,
                                         public BaseUnityStepInterpolator {
public:
  // Takes over x and y (allocated with new[], n >= 2, x[i] = x[0] + i). If fitting the spline
  // fails for lack of memory, x and y are released before the exception leaves.
  CubicUnityStepInterpolator(double* knotPositions, double* knotValues, int32_t count);
  ~CubicUnityStepInterpolator() override;

  double evaluate(double argument) const {
    const int32_t i = locate(argument);
    if (i < 0) return y[0];
    if (i >= n - 1) return y[n - 1];
    const double t = argument - x[i];
    return evaluateCubic(t, y[i], b[i], c[i], d[i]);
  }
};
