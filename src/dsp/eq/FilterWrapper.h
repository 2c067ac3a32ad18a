#pragma once

#include "dsp/eq/FilterCoefficients.h"

// Abstract filter designed from NumControls normalised control values (0..1).
// There is deliberately no virtual destructor: owners delete the concrete (final) class.
template <int Order, int NumControls> class FilterWrapper {
public:
  static constexpr int kOrder = Order;
  static constexpr int kNumControls = NumControls;

  explicit FilterWrapper(double rate) : sampleRate(rate), coefficients(Order) {
    for (double& c : controls)
      c = 0.5;
  }

  // Rate in hertz at which the filter runs; redesigns at once.
  virtual void setSampleRate(double rate) {
    sampleRate = rate;
    updateCoefficients();
  }
  // Recomputes `coefficients` from `controls` and `sampleRate`.
  virtual void updateCoefficients() = 0;

  double sampleRate;
  FilterCoefficients coefficients;
  double controls[NumControls];

protected:
  ~FilterWrapper() = default;
  FilterWrapper(const FilterWrapper&) = delete;
  FilterWrapper& operator=(const FilterWrapper&) = delete;
};
