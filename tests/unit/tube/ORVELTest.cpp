#include "dsp/tube/ORVEL.h"

#include "TestSignals.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <numbers>
#include <vector>

namespace {

constexpr double kRate = 88200.0;

// Each switch combination runs the elements switched in, in order, between its two gains: the
// core equals the composition of a separately driven equalizer and tube stage.
TEST(ORVEL, RunsTheSwitchedInElementsBetweenTheirGains) {
  struct Case {
    bool equalizer, tube;
    double preGain, postGain;
  };
  const Case cases[] = {{true, true, 1.0, 0.55},
                        {false, true, 0.065313, 0.55},
                        {true, false, 1.0, 15.310875},
                        {false, false, 1.0, 1.0}};
  const auto in = testsignals::pinkNoise(5000, 0.5, 12);
  for (const Case& c : cases) {
    ORVEL core(kRate);
    core.setEqualizer(c.equalizer ? 1.0 : 0.0);
    core.setTubeBuffer(c.tube ? 1.0 : 0.0);
    EXPECT_EQ(core.getPreGain(), c.preGain);
    EXPECT_EQ(core.getPostGain(), c.postGain);
    ORVELFilterSmoothed filter(kRate);
    TubeStage tube(250.0, 470.0, 1000.0, 4400.0, 0.00047022, 4.7e-6, kRate);
    for (double x : in) {
      double y = x * c.preGain;
      if (c.equalizer) y = filter.tick(y);
      if (c.tube) y = -tube.process(y);
      ASSERT_EQ(core.process(x), y * c.postGain) << c.equalizer << c.tube;
    }
  }
}

TEST(ORVEL, BothSwitchesOffIsTheIdentity) {
  ORVEL core(kRate);
  core.setEqualizer(0.0);
  core.setTubeBuffer(0.0);
  for (double x : {0.0, -0.0, 1.0, -0.3, 1e-300, 12345.678, -1e300})
    EXPECT_EQ(core.process(x), x);
  EXPECT_TRUE(std::isnan(core.process(std::numeric_limits<double>::quiet_NaN())));
}

TEST(ORVEL, SwitchValuesFromOneHalfUpSwitchOn) {
  struct Case {
    double value;
    bool on;
  };
  const Case cases[] = {{0.5, true},
                        {static_cast<double>(0.5f), true},
                        {1.0, true},
                        {0.75, true},
                        {std::nextafter(0.5, 0.0), false},
                        {0.4999, false},
                        {0.0, false},
                        {-1.0, false},
                        {std::numeric_limits<double>::quiet_NaN(), false}};
  for (const Case& c : cases) {
    ORVEL core(kRate);
    core.setEqualizer(c.value);
    EXPECT_EQ(core.isEqualizerOn(), c.on) << c.value;
    core.setTubeBuffer(c.value);
    EXPECT_EQ(core.isTubeBufferOn(), c.on) << c.value;
    core.setEqualizer(1.0 - core.isEqualizerOn()); // a switch back flips it
    EXPECT_EQ(core.isEqualizerOn(), !c.on);
  }
}

TEST(ORVEL, TubeAloneIsSilentAtRestAndUnityForASmallSine) {
  ORVEL core(44100.0);
  core.setSampleRate(kRate);
  core.setEqualizer(0.0);
  core.setTubeBuffer(1.0);
  double worst = 0.0;
  for (int i = 0; i < 44100; ++i)
    worst = std::max(worst, std::fabs(core.process(0.0)));
  EXPECT_LT(worst, 1e-11);

  ORVEL fresh(kRate);
  fresh.setEqualizer(0.0);
  fresh.setTubeBuffer(1.0);
  const auto in = testsignals::sine(static_cast<size_t>(kRate * 0.4), 0.01, 1000.0, kRate);
  std::vector<double> out(in.size());
  for (size_t i = 0; i < in.size(); ++i)
    out[i] = fresh.process(in[i]);
  const size_t from = static_cast<size_t>(kRate * 0.1),
               to = from + static_cast<size_t>(kRate * 0.3);
  const auto a = testsignals::toneOf(in, from, to, 1000.0, kRate);
  const auto b = testsignals::toneOf(out, from, to, 1000.0, kRate);
  EXPECT_NEAR(b.amplitude / a.amplitude, 1.02, 0.01); // 0.065313 x ~28.5 x 0.55
  EXPECT_NEAR(std::remainder(b.phase - a.phase, 2.0 * std::numbers::pi), 0.0, 0.02);
}

// While the equalizer is switched out its glide waits; switched back in it resumes where it
// stopped.
TEST(ORVEL, GlideIsFrozenWhileTheEqualizerIsOff) {
  ORVEL core(kRate);
  core.process(0.0); // the filter has started processing, so targets glide
  core.setFilterParameters(1.0, 0.0, 0.6, 1.0, 0.0, 0.0, 0.0, 0.0);
  const ORVELFilterSmoothed& f = core.getFilter();
  ASSERT_TRUE(f.smoothingActive.load());
  for (int i = 0; i < 40; ++i)
    core.process(0.1);
  const double moved = f.controls[0];
  EXPECT_GT(moved, 0.5);
  EXPECT_LT(moved, f.targets[0].load());

  core.setEqualizer(0.0);
  double frozen[8];
  for (int i = 0; i < 8; ++i)
    frozen[i] = f.controls[i];
  const double a1 = f.coefficients.digitalDen[1];
  for (int i = 0; i < 5000; ++i)
    core.process(0.1);
  for (int i = 0; i < 8; ++i)
    EXPECT_EQ(f.controls[i], frozen[i]) << i;
  EXPECT_EQ(f.coefficients.digitalDen[1], a1);
  EXPECT_TRUE(f.smoothingActive.load());

  core.setEqualizer(1.0);
  // At 88200 Hz a glide step falls on every second filter sample: after two samples exactly one
  // step of 1 % towards the target has been taken from the frozen value.
  core.process(0.1);
  core.process(0.1);
  const double target = f.targets[0].load();
  EXPECT_NEAR(f.controls[0], frozen[0] * 0.99 + target * 0.01, 1e-15);
  for (int i = 0; i < 20000; ++i)
    core.process(0.1);
  EXPECT_FALSE(f.smoothingActive.load());
  EXPECT_NEAR(f.controls[0], target, 0.001);
}

TEST(ORVEL, HistoryClearTubeResetAndRateChangeTouchOnlyTheirParts) {
  ORVEL core(kRate);
  for (double x : testsignals::pinkNoise(3000, 0.5, 13))
    core.process(x);
  const TubeStage& tube = core.getTube();
  const double v = tube.getUpperCathodeVoltage();
  const double t = tube.getLowerCathodeVoltage();
  ASSERT_NE(core.getFilter().section.g[0], 0.0);

  core.clearFilterHistory();
  for (double g : core.getFilter().section.g)
    EXPECT_EQ(g, 0.0);
  EXPECT_EQ(tube.getUpperCathodeVoltage(), v);

  core.setSampleRate(96000.0);
  EXPECT_EQ(core.getFilter().sampleRate, 96000.0);
  EXPECT_EQ(tube.getSampleRate(), 96000.0);
  EXPECT_EQ(tube.getUpperCathodeVoltage(), v);
  EXPECT_EQ(tube.getLowerCathodeVoltage(), t);

  EXPECT_TRUE(core.isStateFinite());
  core.resetTube();
  EXPECT_EQ(tube.getUpperCathodeVoltage(), TubeStage::kQuiescentUpperCathode);
  EXPECT_EQ(tube.getLowerCathodeVoltage(), TubeStage::kQuiescentLowerCathode);
  core.process(std::numeric_limits<double>::infinity());
  EXPECT_FALSE(core.isStateFinite());
}

} // namespace
