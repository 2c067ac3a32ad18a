#include "dsp/tube/CubicUnityStepInterpolator.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <vector>

namespace {

// Unit-spaced knots from `first` with the given values; the interpolator takes both arrays.
std::unique_ptr<CubicUnityStepInterpolator> makeSpline(double first,
                                                       const std::vector<double>& values) {
  const int32_t n = static_cast<int32_t>(values.size());
  double* x = new double[n];
  double* y = new double[n];
  for (int32_t i = 0; i < n; ++i) {
    x[i] = first + i;
    y[i] = values[i];
  }
  return std::make_unique<CubicUnityStepInterpolator>(x, y, n);
}

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(CubicUnityStepInterpolator, ReturnsKnotValuesExactlyAtInnerKnots) {
  const std::vector<double> values = {0.3, -1.7, 2.25, 8.0, 8.5, -0.125, 4.0};
  const auto spline = makeSpline(-3.0, values);
  for (int i = 0; i < static_cast<int>(values.size()); ++i)
    EXPECT_EQ(spline->evaluate(-3.0 + i), values[i]) << "knot " << i;
}

// Arguments outside the knots, NaN, and arguments whose offset from the first knot does not fit
// a 32-bit integer: below (or NaN) gives the first value, at or beyond the last knot the last.
TEST(CubicUnityStepInterpolator, HoldsEndValuesOutsideTheKnotsAndForNonFiniteArguments) {
  const auto spline = makeSpline(-2.0, {5.0, 1.0, -3.0, 7.0});
  struct Case {
    double argument;
    double expected;
  };
  const Case cases[] = {{-2.0000001, 5.0},
                        {-3.0, 5.0},
                        {-1e9, 5.0},
                        {-3e9, 5.0},
                        {-1e300, 5.0},
                        {-kInf, 5.0},
                        {kNaN, 5.0},
                        {-kNaN, 5.0},
                        {1.0, 7.0},
                        {1.0000001, 7.0},
                        {2147483647.0, 7.0},
                        {2147483648.5, 7.0},
                        {3e9, 7.0},
                        {1e19, 7.0},
                        {1e300, 7.0},
                        {kInf, 7.0},
                        {std::numeric_limits<double>::max(), 7.0}};
  for (const Case& c : cases)
    EXPECT_EQ(spline->evaluate(c.argument), c.expected) << c.argument;
  EXPECT_EQ(spline->locate(kNaN), -1);
  EXPECT_EQ(spline->locate(1e300), 3);
  EXPECT_EQ(spline->locate(0.999999), 2);
}

TEST(CubicUnityStepInterpolator, ReproducesAStraightLineExactly) {
  std::vector<double> values;
  for (int i = 0; i < 10; ++i)
    values.push_back(2.0 * i + 1.0);
  const auto spline = makeSpline(0.0, values);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(spline->secondDerivatives()[i], 0.0);
    if (i < 9) {
      EXPECT_EQ(spline->quadraticCoefficients()[i], 0.0);
      EXPECT_EQ(spline->cubicCoefficients()[i], 0.0);
    }
  }
  for (double x = 0.0; x <= 9.0; x += 0.0625)
    EXPECT_EQ(spline->evaluate(x), 2.0 * x + 1.0) << x;
}

TEST(CubicUnityStepInterpolator, TwoKnotsGiveTheSegment) {
  const auto spline = makeSpline(10.0, {-1.0, 3.0});
  EXPECT_EQ(spline->evaluate(10.0), -1.0);
  EXPECT_EQ(spline->evaluate(10.25), 0.0);
  EXPECT_EQ(spline->evaluate(10.5), 1.0);
  EXPECT_EQ(spline->evaluate(11.0), 3.0);
  EXPECT_EQ(spline->evaluate(9.0), -1.0);
}

// The fit is a natural spline: zero curvature at the ends, second derivatives solving the
// unit-spacing tridiagonal system, and value, slope and curvature continuous at every knot.
TEST(CubicUnityStepInterpolator, FitsANaturalSpline) {
  std::vector<double> values;
  for (int i = 0; i < 12; ++i)
    values.push_back(std::sin(0.7 * i) + 0.05 * i * i);
  const auto s = makeSpline(-4.0, values);
  const double* y2 = s->secondDerivatives();
  const double* b = s->linearCoefficients();
  const double* c = s->quadraticCoefficients();
  const double* d = s->cubicCoefficients();
  EXPECT_EQ(y2[0], 0.0);
  EXPECT_EQ(y2[11], 0.0);
  for (int i = 1; i < 11; ++i) {
    EXPECT_NEAR(y2[i - 1] + 4.0 * y2[i] + y2[i + 1],
                6.0 * (values[i + 1] - 2.0 * values[i] + values[i - 1]), 1e-12)
        << i;
    // End of interval i-1 against start of interval i.
    EXPECT_NEAR(values[i - 1] + b[i - 1] + c[i - 1] + d[i - 1], values[i], 1e-12) << i;
    EXPECT_NEAR(b[i - 1] + 2.0 * c[i - 1] + 3.0 * d[i - 1], b[i], 1e-12) << i;
    EXPECT_NEAR(2.0 * c[i - 1] + 6.0 * d[i - 1], 2.0 * c[i], 1e-12) << i;
  }
  // Between knots the spline stays close to a smooth curve it was fitted to.
  for (double x = -3.0; x <= 6.0; x += 0.1) {
    const double k = x + 4.0;
    EXPECT_NEAR(s->evaluate(x), std::sin(0.7 * k) + 0.05 * k * k, 0.01) << x;
  }
}

// The tube stage's current table has 128 knots from -64: [62, 63) is the last interval and
// from 63 on the value at 63 holds.
TEST(CubicUnityStepInterpolator, LastIntervalOfA128KnotTable) {
  std::vector<double> values;
  for (int i = 0; i < 128; ++i)
    values.push_back(std::log1p(std::exp(-64.0 + i)));
  const auto s = makeSpline(-64.0, values);
  EXPECT_EQ(s->locate(62.0), 126);
  EXPECT_EQ(s->locate(62.9999999), 126);
  EXPECT_EQ(s->locate(63.0), 127);
  const double t = 0.75;
  const double expected = ((t * s->cubicCoefficients()[126] + s->quadraticCoefficients()[126]) * t +
                           s->linearCoefficients()[126]) *
                              t +
                          values[126];
  EXPECT_EQ(s->evaluate(62.75), expected);
  EXPECT_NEAR(s->evaluate(62.9999999), values[127], 1e-6);
  EXPECT_EQ(s->evaluate(63.0), values[127]);
  EXPECT_EQ(s->evaluate(63.5), values[127]);
  EXPECT_EQ(s->evaluate(1e300), values[127]);
}

} // namespace
