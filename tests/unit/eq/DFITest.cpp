// Direct-form-I section, coefficient set and filter processor.
#include "dsp/eq/DFI.h"

#include "EqTestUtil.h"
#include "dsp/eq/FilterCoefficients.h"
#include "dsp/eq/FilterProcessor.h"

#include <complex>
#include <gtest/gtest.h>
#include <numbers>
#include <random>
#include <vector>

namespace {

TEST(DFI, IdentityCoefficientsPassTheInput) {
  DFI section;
  const double a[6] = {1, 0, 0, 0, 0, 0}, b[6] = {1, 0, 0, 0, 0, 0};
  eqtest::Noise noise(1);
  for (int n = 0; n < 100; ++n) {
    const double x = noise.next(1.0);
    EXPECT_EQ(section.process(x, a, b), x);
  }
}

TEST(DFI, HistoriesAreSixValuesOldestFirst) {
  DFI section;
  EXPECT_EQ(section.order, 5);
  const double a[6] = {1, 0, 0, 0, 0, 0}, b[6] = {1, 0, 0, 0, 0, 0};
  for (int n = 1; n <= 7; ++n)
    section.process(n, a, b);
  // Inputs 2..7 remain; 1 was dropped from element 0.
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(section.inputHistory[i], i + 2.0);
    EXPECT_EQ(section.outputHistory[i], i + 2.0);
  }
  section.clearHistory();
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(section.inputHistory[i], 0.0);
    EXPECT_EQ(section.outputHistory[i], 0.0);
  }
}

// y[n] = b0·x[n] + sum(b_k·x[n-k] - a_k·y[n-k]), checked against a plain evaluation, including
// a coefficient change between two samples that must keep both histories.
TEST(DFI, RecursionAndCoefficientChangeKeepHistories) {
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> u(-0.2, 0.2);
  double a[6] = {1}, b[6];
  for (int k = 1; k < 6; ++k)
    a[k] = u(rng);
  for (double& v : b)
    v = u(rng);
  DFI section;
  std::vector<double> x, y;
  eqtest::Noise noise(2);
  for (int n = 0; n < 64; ++n) {
    if (n == 40) { // new coefficients mid-stream
      const double inBefore[6] = {section.inputHistory[0], section.inputHistory[1],
                                  section.inputHistory[2], section.inputHistory[3],
                                  section.inputHistory[4], section.inputHistory[5]};
      for (int k = 1; k < 6; ++k)
        a[k] = u(rng);
      for (double& v : b)
        v = u(rng);
      for (int i = 0; i < 6; ++i)
        EXPECT_EQ(section.inputHistory[i], inBefore[i]);
      EXPECT_EQ(section.outputHistory[5], y.back());
    }
    x.push_back(noise.next(1.0));
    double expected = b[0] * x[n];
    for (int k = 1; k <= 5; ++k)
      if (n - k >= 0) expected += b[k] * x[n - k] - a[k] * y[n - k];
    y.push_back(section.process(x[n], a, b));
    EXPECT_NEAR(y[n], expected, 1e-12) << n;
  }
}

TEST(FilterCoefficients, FirstOrderBilinearBeforeAndAfterNormalisation) {
  FilterCoefficients c(1);
  const double rate = 48000.0, K = 2.0 * rate;
  c.analogDen[0] = 3.0;
  c.analogDen[1] = 2e-4;
  c.analogNum[0] = 1.5;
  c.analogNum[1] = 5e-5;
  c.bilinearTransform(rate);
  const double a0 = 3.0 + K * 2e-4, a1 = 3.0 - K * 2e-4; // before normalisation
  const double b0 = 1.5 + K * 5e-5, b1 = 1.5 - K * 5e-5;
  EXPECT_EQ(c.digitalDen[0], 1.0);
  EXPECT_NEAR(c.digitalDen[1], a1 / a0, 1e-15);
  EXPECT_NEAR(c.digitalNum[0], b0 / a0, 1e-15);
  EXPECT_NEAR(c.digitalNum[1], b1 / a0, 1e-15);
  for (int k = 2; k < 6; ++k) { // untouched beyond the order
    EXPECT_EQ(c.digitalDen[k], 0.0);
    EXPECT_EQ(c.digitalNum[k], 0.0);
  }
}

TEST(FilterCoefficients, NormalisationDividesByTheOriginalA0) {
  FilterCoefficients c(2);
  const double den[3] = {4.0, 2.0, -1.0}, num[3] = {8.0, 1.0, 2.0};
  for (int k = 0; k < 3; ++k) {
    c.digitalDen[k] = den[k];
    c.digitalNum[k] = num[k];
  }
  c.normalizeCoefficients();
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(c.digitalDen[k], den[k] / 4.0);
    EXPECT_EQ(c.digitalNum[k], num[k] / 4.0);
  }
}

TEST(FilterCoefficients, ZeroOrderCopiesTheGain) {
  FilterCoefficients c(0);
  c.analogDen[0] = 2.0;
  c.analogNum[0] = 3.0;
  c.bilinearTransform(44100.0);
  EXPECT_EQ(c.digitalDen[0], 1.0);
  EXPECT_EQ(c.digitalNum[0], 1.5);
}

// For every order the digital response at ω is the analog one at K·tan(ω/2).
TEST(FilterCoefficients, EveryOrderMapsFrequencyByTheBilinearWarp) {
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> u(0.5, 2.0);
  const double rate = 96000.0, K = 2.0 * rate;
  for (int order = 0; order <= 5; ++order) {
    FilterCoefficients c(order);
    // Coefficients scaled like a real network: s^k terms of size 1/(2π·5 kHz)^k.
    double scale = 1.0;
    for (int k = 0; k <= order; ++k) {
      c.analogDen[k] = u(rng) * scale;
      c.analogNum[k] = u(rng) * scale;
      scale /= 2.0 * std::numbers::pi * 5000.0;
    }
    c.bilinearTransform(rate);
    EXPECT_EQ(c.digitalDen[0], 1.0);
    for (double hz : {50.0, 1000.0, 7000.0, 20000.0, 40000.0}) {
      const double w = 2.0 * std::numbers::pi * hz / rate;
      const std::complex<double> zInv = std::polar(1.0, -w);
      const std::complex<double> s(0.0, K * std::tan(w / 2.0));
      const std::complex<double> hd =
          eqtest::polyAt(c.digitalNum, order, zInv) / eqtest::polyAt(c.digitalDen, order, zInv);
      const std::complex<double> ha =
          eqtest::polyAt(c.analogNum, order, s) / eqtest::polyAt(c.analogDen, order, s);
      EXPECT_NEAR(std::abs(hd - ha), 0.0, 1e-9 * std::abs(ha)) << "order " << order << " " << hz;
    }
  }
}

// A two-control gain filter, enough to exercise the processor on its own.
class GainFilter final : public FilterProcessor<1, DFI, 2> {
public:
  explicit GainFilter(double rate) : FilterProcessor<1, DFI, 2>(rate) { updateCoefficients(); }
  void updateCoefficients() override {
    ++designs;
    coefficients.digitalDen[0] = 1.0;
    coefficients.digitalNum[0] = controls[0] + controls[1];
  }
  int designs = 0;
};

TEST(FilterProcessor, SampleRateChangeRedesignsAndClearsHistories) {
  GainFilter f(44100.0);
  EXPECT_EQ(f.controls[0], 0.5);
  EXPECT_EQ(f.controls[1], 0.5);
  EXPECT_EQ(f.designs, 1);
  const double a[6] = {1, -0.5, 0, 0, 0, 0}, b[6] = {0.7, 0.2, 0.1, 0, 0, 0};
  for (int n = 0; n < 10; ++n)
    f.section.process(1.0, a, b);
  f.setSampleRate(96000.0);
  EXPECT_EQ(f.sampleRate, 96000.0);
  EXPECT_EQ(f.designs, 2);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(f.section.inputHistory[i], 0.0);
    EXPECT_EQ(f.section.outputHistory[i], 0.0);
  }
  EXPECT_EQ(f.section.process(0.25, a, b), 0.7 * 0.25); // first output: b0 · input
}

TEST(FilterProcessor, EqualizerSampleRateChangeClearsItsSection) {
  ORVELFilterSmoothed f(44100.0);
  eqtest::Noise noise(5);
  for (int n = 0; n < 100; ++n)
    f.tick(noise.next(0.5));
  f.setSampleRate(192000.0);
  const double b0 = f.coeffs().digitalNum[0];
  EXPECT_EQ(f.tick(0.5), b0 * 0.5);
}

} // namespace
