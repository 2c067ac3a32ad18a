#pragma once

#include <cstdint>
#include <memory>

// Knots of a tabulated curve: positions x[i] and values y[i], i = 0..n-1, increasing in x.
// Takes over two arrays allocated with new[] by the caller and releases them with itself.
class BaseInterpolator {
public:
  BaseInterpolator(double* knotPositions, double* knotValues, int32_t count)
      : x(knotPositions), y(knotValues), n(count) {}
  virtual ~BaseInterpolator() = default;

  BaseInterpolator(const BaseInterpolator&) = delete;
  BaseInterpolator& operator=(const BaseInterpolator&) = delete;

  const double* knotPositions() const { return x.get(); }
  const double* knotValues() const { return y.get(); }
  int32_t knotCount() const { return n; }

protected:
  std::unique_ptr<double[]> x;
  std::unique_ptr<double[]> y;
  int32_t n;
};
