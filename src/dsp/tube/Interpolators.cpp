#include "dsp/tube/CubicUnityStepInterpolator.h"

CubicBaseInterpolator::CubicBaseInterpolator(double* knotPositions, double* knotValues,
                                             int32_t count)
    : BaseInterpolator(knotPositions, knotValues, count) {
  computeSecondDerivatives();
  computeCoefficients();
}

CubicBaseInterpolator::CubicBaseInterpolator() : BaseInterpolator(nullptr, nullptr, 0) {
  computeSecondDerivatives();
  computeCoefficients();
}

CubicBaseInterpolator::~CubicBaseInterpolator() = default;

void CubicBaseInterpolator::computeSecondDerivatives() {
  y2 = std::make_unique<double[]>(n);
  std::unique_ptr<double[]> u = std::make_unique<double[]>(n);
  y2[0] = 0.0;
  y2[n - 1] = 0.0;
  u[0] = 0.0;
  // Tridiagonal sweep for the natural spline.
  for (int32_t i = 1; i <= n - 2; ++i) {
    const double sigma = (x[i] - x[i - 1]) / (x[i + 1] - x[i - 1]);
    const double p = sigma * y2[i - 1] + 2.0;
    y2[i] = (sigma - 1.0) / p;
    u[i] = (y[i + 1] - y[i]) / (x[i + 1] - x[i]) - (y[i] - y[i - 1]) / (x[i] - x[i - 1]);
    u[i] = (6.0 * u[i] / (x[i + 1] - x[i - 1]) - sigma * u[i - 1]) / p;
  }
  for (int32_t k = n - 2; k >= 0; --k)
    y2[k] = y2[k] * y2[k + 1] + u[k];
}

void CubicBaseInterpolator::computeCoefficients() {
  b = std::make_unique<double[]>(n);
  c = std::make_unique<double[]>(n);
  d = std::make_unique<double[]>(n);
  for (int32_t i = 0; i + 1 < n; ++i) {
    const double h = (x[i + 1] - x[i]) * (x[i + 1] - x[i]);
    b[i] = y[i + 1] - (y2[i] * h / 3.0 + y[i]) - y2[i + 1] * h / 6.0;
    c[i] = y2[i] * h * 0.5;
    d[i] = (y2[i + 1] - y2[i]) * h / 6.0;
  }
}

CubicUnityStepInterpolator::CubicUnityStepInterpolator(double* knotPositions, double* knotValues,
                                                       int32_t count)
    : BaseInterpolator(knotPositions, knotValues, count), CubicBaseInterpolator(),
      BaseUnityStepInterpolator(knotPositions, knotValues, count) {}

CubicUnityStepInterpolator::~CubicUnityStepInterpolator() = default;
