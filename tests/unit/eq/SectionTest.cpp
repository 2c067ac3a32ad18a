// Lattice-ladder section, coefficient set and filter processor.
#include "EqTestUtil.h"
#include "ReferenceDFI.h"
#include "dsp/eq/FilterCoefficients.h"
#include "dsp/eq/FilterProcessor.h"
#include "dsp/eq/LatticeLadder.h"

#include <algorithm>
#include <complex>
#include <gtest/gtest.h>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

namespace {

// A random stable fifth-order design: denominator from poles inside the unit circle (two
// conjugate pairs and a real pole), numerator random.
void randomDesign(std::mt19937_64& rng, double maxRadius, double* a, double* b) {
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::complex<double> poly[6] = {1.0};
  int degree = 0;
  auto multiply = [&](std::complex<double> root) {
    for (int i = ++degree; i >= 1; --i)
      poly[i] -= root * poly[i - 1];
  };
  for (int pair = 0; pair < 2; ++pair) {
    const auto p = std::polar(maxRadius * std::sqrt(u(rng)), std::numbers::pi * u(rng));
    multiply(p);
    multiply(std::conj(p));
  }
  multiply(maxRadius * (2.0 * u(rng) - 1.0));
  for (int i = 0; i < 6; ++i) {
    a[i] = poly[i].real();
    b[i] = 2.0 * u(rng) - 1.0;
  }
}

TEST(LatticeLadder, PassesTheInputBeforeAndWithIdentityCoefficients) {
  LatticeLadder<5> section;
  eqtest::Noise noise(1);
  for (int n = 0; n < 50; ++n) {
    const double x = noise.next(1.0);
    EXPECT_EQ(section.process(x), x);
  }
  const double a[6] = {1, 0, 0, 0, 0, 0}, b[6] = {1, 0, 0, 0, 0, 0};
  ASSERT_TRUE(section.setCoefficients(a, b));
  for (int n = 0; n < 50; ++n) {
    const double x = noise.next(1.0);
    EXPECT_EQ(section.process(x), x);
  }
}

// For coefficients that stay put the lattice computes what the direct form computes.
TEST(LatticeLadder, SettledResponseEqualsTheDirectForm) {
  std::mt19937_64 rng(3);
  for (double radius : {0.5, 0.9, 0.999}) {
    double a[6], b[6];
    randomDesign(rng, radius, a, b);
    LatticeLadder<5> section;
    ASSERT_TRUE(section.setCoefficients(a, b));
    DFI<> reference;
    eqtest::Noise noise(2);
    double peak = 0, worst = 0;
    for (int n = 0; n < 20000; ++n) {
      const double x = noise.next(1.0), y = reference.process(x, a, b);
      peak = std::max(peak, std::fabs(y));
      worst = std::max(worst, std::fabs(section.process(x) - y));
    }
    EXPECT_LE(worst, 1e-11 * peak) << "pole radius " << radius;
  }
}

// Each stage is a rotation, so with no input the state's energy can only fall, whatever the
// coefficients do between samples. (A direct form fails this at once.)
TEST(LatticeLadder, StateNeverGainsEnergyWhileTheCoefficientsJump) {
  std::mt19937_64 rng(7);
  LatticeLadder<5> section;
  eqtest::Noise noise(4);
  double a[6], b[6];
  for (int n = 0; n < 200; ++n) {
    randomDesign(rng, 0.999, a, b);
    ASSERT_TRUE(section.setCoefficients(a, b));
    section.process(noise.next(1.0));
  }
  auto energy = [&] {
    double e = 0;
    for (double g : section.g)
      e += g * g;
    return e;
  };
  double before = energy();
  ASSERT_GT(before, 0.0);
  for (int n = 0; n < 5000; ++n) {
    randomDesign(rng, 0.999, a, b);
    ASSERT_TRUE(section.setCoefficients(a, b));
    section.process(0.0);
    const double after = energy();
    ASSERT_LE(after, before * (1.0 + 1e-12) + 1e-300) << n;
    before = after;
  }
}

// Denominators that no stable design gives (|k| >= 1) or that are not finite leave the last good
// realisation in place: the section never computes NaN from them.
TEST(LatticeLadder, UnstableOrNonFiniteCoefficientsKeepTheCurrentRealisation) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const double good[6] = {1, -0.5, 0.1, 0, 0, 0}, num[6] = {0.5, 0.2, 0, 0, 0, 0};
  const double bad[][6] = {{1, 0, 0, 0, 0, 1.0},
                           {1, 0, 0, 0, 0, -1.5},
                           {1, -2.0, 1.0, 0, 0, 0},
                           {1, 0, 0, 0, 0, nan},
                           {1, inf, 0, 0, 0, 0}};
  const double badNum[6] = {nan, 0, 0, 0, 0, 0};
  for (int c = 0; c <= static_cast<int>(std::size(bad)); ++c) {
    LatticeLadder<5> section, reference;
    ASSERT_TRUE(section.setCoefficients(good, num));
    ASSERT_TRUE(reference.setCoefficients(good, num));
    const bool refused = c < static_cast<int>(std::size(bad))
                             ? !section.setCoefficients(bad[c], num)
                             : !section.setCoefficients(good, badNum);
    EXPECT_TRUE(refused) << c;
    eqtest::Noise noise(9);
    for (int n = 0; n < 100; ++n) {
      const double x = noise.next(1.0);
      ASSERT_EQ(section.process(x), reference.process(x)) << c;
    }
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
class GainFilter final : public FilterProcessor<1, LatticeLadder<1>, 2> {
public:
  explicit GainFilter(double rate) : FilterProcessor<1, LatticeLadder<1>, 2>(rate) {
    updateCoefficients();
  }
  void updateCoefficients() override {
    ++designs;
    coefficients.digitalDen[0] = 1.0;
    coefficients.digitalDen[1] = -0.5;
    coefficients.digitalNum[0] = controls[0] + controls[1];
    section.setCoefficients(coefficients.digitalDen, coefficients.digitalNum);
  }
  int designs = 0;
};

TEST(FilterProcessor, SampleRateChangeRedesignsAndClearsTheState) {
  GainFilter f(44100.0);
  EXPECT_EQ(f.controls[0], 0.5);
  EXPECT_EQ(f.controls[1], 0.5);
  EXPECT_EQ(f.designs, 1);
  for (int n = 0; n < 10; ++n)
    f.section.process(1.0);
  ASSERT_NE(f.section.g[0], 0.0);
  f.setSampleRate(96000.0);
  EXPECT_EQ(f.sampleRate, 96000.0);
  EXPECT_EQ(f.designs, 2);
  EXPECT_EQ(f.section.g[0], 0.0);
  EXPECT_NEAR(f.section.process(0.25), 1.0 * 0.25, 1e-15); // first output: b0 · input
}

TEST(FilterProcessor, EqualizerSampleRateChangeClearsItsSection) {
  ORVELFilterSmoothed f(44100.0);
  eqtest::Noise noise(5);
  for (int n = 0; n < 100; ++n)
    f.tick(noise.next(0.5));
  f.setSampleRate(192000.0);
  const double b0 = f.coeffs().digitalNum[0];
  EXPECT_NEAR(f.tick(0.5), b0 * 0.5, 1e-12 * b0);
}

// The equalizer's settled output is the designed filter's (its direct form in extended precision)
// at every filter rate, including low-band poles right next to z = 1 (Lo Freq 20 Hz at 384 kHz).
// The double-precision direct form itself strays by up to 2e-7 of peak there; the lattice by 4e-9
// in the worst corner (Lo Boost and Lo Cut full at 20 Hz) and by about 1e-12 elsewhere.
TEST(Equalizer, SettledOutputEqualsTheDirectForm) {
  const eqtest::Settings settings[] = {eqtest::kInit,
                                       {1, 1, 0, 0, 1, 1, 1, 0},
                                       {0.6, 0.3, 0.8, 0.4, 0.3, 0.7, 0.2, 0.6},
                                       {0, 0, 1, 1, 0, 1, 0, 0},
                                       {0, 0, 0.5, 1, 0.5, 0, 1, 0}};
  for (double rate : {88200.0, 96000.0, 192000.0, 384000.0})
    for (const auto& s : settings) {
      ORVELFilterSmoothed f(rate);
      eqtest::settle(f, s);
      DFI<long double> reference;
      eqtest::Noise noise(6);
      double peak = 0, worst = 0;
      for (int n = 0; n < static_cast<int>(rate / 2); ++n) {
        const double x = noise.next(0.1);
        const double y = reference.process(x, f.coeffs().digitalDen, f.coeffs().digitalNum);
        peak = std::max(peak, std::fabs(y));
        worst = std::max(worst, std::fabs(f.tick(x) - y));
      }
      EXPECT_LE(worst, 1e-8 * peak) << rate << " Lo Freq " << s.loFreq << " Lo Boost " << s.loBoost;
    }
}

} // namespace
