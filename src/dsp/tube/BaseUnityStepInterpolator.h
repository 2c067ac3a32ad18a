#pragma once

#include "dsp/tube/BaseInterpolator.h"

// Knots at unit spacing, x[i] = x[0] + i, so the interval of an argument is found by
// arithmetic instead of a search.
class BaseUnityStepInterpolator : public virtual BaseInterpolator {
public:
  BaseUnityStepInterpolator(double* knotPositions, double* knotValues, int32_t count)
      : BaseInterpolator(knotPositions, knotValues, count) {}
  ~BaseUnityStepInterpolator() override = default;

  // Interval holding `argument`: -1 below the first knot and for NaN, n - 1 at or beyond the
  // last knot (including +inf and arguments whose offset does not fit an int), otherwise the
  // i with x[i] <= argument < x[i + 1]. The range is tested in double precision before the
  // conversion, so the conversion never sees a value outside 0..n-2.
  static int32_t locate(double argument, double firstKnot, int32_t count) {
    const double offset = argument - firstKnot;
    if (!(offset >= 0.0)) return -1;
    if (offset >= static_cast<double>(count - 1)) return count - 1;
    return static_cast<int32_t>(offset);
  }

  int32_t locate(double argument) const { return locate(argument, x[0], n); }
};
