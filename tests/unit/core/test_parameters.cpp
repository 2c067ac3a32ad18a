// The parameter table's conversions: steps, ranges, port units and the bad-value rule.
#include "core/Parameters.h"
#include "dsp/eq/ORVELFilterSmoothed.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace parameters;

TEST(ParameterTable, EveryStepRoundTripsAndIsTheEqualizersStep) {
  for (int index = 0; index < kNumParams; ++index) {
    const ParameterInfo& p = info(index);
    for (int k = 0; k < p.numSteps(); ++k) {
      SCOPED_TRACE(std::string(p.name) + " step " + std::string(p.steps[k].text));
      // Hosts carry single precision.
      const float v = static_cast<float>(stepNormalised(p.numSteps(), k));
      EXPECT_EQ(stepIndex(p.numSteps(), v), k);
      EXPECT_EQ(toPortValue(index, v), p.steps[k].value);
      EXPECT_EQ(toNormalised(index, p.steps[k].value), stepNormalised(p.numSteps(), k));
      if (p.kind == ParameterKind::selector) {
        EXPECT_EQ(
            ORVELFilterSmoothed::switchStep(ORVELFilterSmoothed::clampControl(v), p.numSteps()), k);
      }
    }
  }
}

TEST(ParameterTable, InitialValuesInPortUnits) {
  const double expected[kNumParams] = {0, 0, 0, 0, 6, 20, 0.5, 0, 0, 20, 1, 1, 1};
  for (int index = 0; index < kNumParams; ++index)
    EXPECT_EQ(toPortValue(index, info(index).initial), expected[index]) << info(index).name;
}

TEST(ParameterTable, BadValuesTakeTheNearestEndAndNaNTheLowest) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    int index;
    double port;
    double normalised;
  };
  const Case cases[] = {
      {kInputLevel, -6.0, 1.0 / 3.0},
      {kInputLevel, -19.0, 0.0},
      {kOutputLevel, 1e30, 1.0},
      {kOutputLevel, nan, 0.0},
      {kHiBoost, 1.5, 1.0},
      {kHiBoost, -inf, 0.0},
      {kHiFreqQ, inf, 1.0},
      {kLoFreq, 61.0, 0.6},
      {kLoFreq, 1e9, 1.0},
      {kLoFreq, nan, 0.0},
      {kHiBoostFreq, 0.0, 0.0},
      {kMode, 0.7, 1.0},
      {kMode, nan, 0.0},
      {kTubeBuffer, -3.0, 0.0},
  };
  for (const Case& c : cases)
    EXPECT_DOUBLE_EQ(toNormalised(c.index, c.port), c.normalised)
        << info(c.index).name << " at " << c.port;
  for (double v : {nan, -inf, -1.0, -1e30})
    EXPECT_EQ(clampNormalised(v), 0.0) << v;
  for (double v : {inf, 2.0, 10.0, 1e30})
    EXPECT_EQ(clampNormalised(v), 1.0) << v;
  EXPECT_EQ(toPortValue(kInputLevel, 10.0), 18.0);
  EXPECT_EQ(toPortValue(kHiCutFreq, nan), 5.0);
}
