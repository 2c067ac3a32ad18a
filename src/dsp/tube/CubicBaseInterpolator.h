#pragma once

#include "dsp/tube/BaseInterpolator.h"

// Natural cubic spline through the knots (second derivative zero at both ends). On interval i,
// with t = (x - x[i]) / (x[i + 1] - x[i]): value = y[i] + b[i] t + c[i] t^2 + d[i] t^3.
class CubicBaseInterpolator : public virtual BaseInterpolator {
public:
  // Fits the spline at once; throws std::bad_alloc if its arrays cannot be allocated.
  CubicBaseInterpolator(double* knotPositions, double* knotValues, int32_t count);
  ~CubicBaseInterpolator() override;

  const double* secondDerivatives() const { return y2.get(); }
  const double* linearCoefficients() const { return b.get(); }
  const double* quadraticCoefficients() const { return c.get(); }
  const double* cubicCoefficients() const { return d.get(); }

  // Cubic of interval i at local position t; the same Horner order everywhere it is evaluated.
  static double evaluateCubic(double t, double yi, double bi, double ci, double di) {
    return ((t * di + ci) * t + bi) * t + yi;
  }

protected:
  // Base-class initialisation of the spline, for the case where BaseInterpolator is already
  // constructed by a most-derived class.
  CubicBaseInterpolator();

  void computeSecondDerivatives();
  void computeCoefficients();

  std::unique_ptr<double[]> y2;
  std::unique_ptr<double[]> b;
  std::unique_ptr<double[]> c;
  std::unique_ptr<double[]> d;
};
