#include "dsp/eq/ORVELFilterSmoothed.h"

#include <array>
#include <bit>
#include <cstdint>

namespace {

// Full-scale values of the potentiometer sections (ohms).
constexpr double kHiBoostOhms = 10000.0;
constexpr double kHiCutOhms = 1000.0;
constexpr double kHiFreqQOhms = 2200.0;
constexpr double kLoBoostOhms = 10000.0;
constexpr double kLoCutOhms = 100000.0;

// "Hi Boost Freq." 3, 4, 5, 6, 10, 12, 16 kHz: series capacitor (F) and inductor (H).
constexpr double kChb[ORVELFilterSmoothed::kHiBoostFreqSteps] = {1.5e-8, 1.5e-8, 1e-8,  1e-8,
                                                                 6.8e-9, 6.8e-9, 3.3e-9};
constexpr double kLhb[ORVELFilterSmoothed::kHiBoostFreqSteps] = {0.175, 0.1,   0.09, 0.065,
                                                                 0.035, 0.023, 0.015};
// "Hi Cut Freq." 5, 6, 8, 10, 15, 20 kHz: capacitor (F).
constexpr double kChc[ORVELFilterSmoothed::kHiCutFreqSteps] = {1.94e-7, 1.47e-7, 1.15e-7,
                                                               9.4e-8,  6.9e-8,  4.7e-8};
// "Lo Freq" 20, 30, 45, 60, 100, 150 Hz: cut and boost capacitors (F).
constexpr double kClc[ORVELFilterSmoothed::kLoFreqSteps] = {1e-7,   4.7e-8, 3.3e-8,
                                                            2.2e-8, 1.5e-8, 1e-8};
constexpr double kClb[ORVELFilterSmoothed::kLoFreqSteps] = {2.2e-6, 1e-6,   6.8e-7,
                                                            4.7e-7, 3.3e-7, 2.2e-7};

// A parameter value made finite and brought into 0..1: NaN and everything below 0 give 0,
// everything above 1 (+inf included) gives 1. Values inside 0..1 pass unchanged.
// Bit-for-bit equality of two values made of doubles (NaN equals the same NaN, -0 differs from
// +0), inline: a library memcmp call costs more than the comparison itself.
template <class T> bool sameBits(const T& a, const T& b) {
  static_assert(sizeof(T) % sizeof(std::uint64_t) == 0);
  using Words = std::array<std::uint64_t, sizeof(T) / sizeof(std::uint64_t)>;
  const Words x = std::bit_cast<Words>(a);
  const Words y = std::bit_cast<Words>(b);
  std::uint64_t difference = 0;
  for (std::size_t i = 0; i < x.size(); ++i)
    difference |= x[i] ^ y[i];
  return difference == 0;
}

double unitRange(double v) {
  if (!(v >= 0.0)) return 0.0;
  return v > 1.0 ? 1.0 : v;
}

// One high-section polynomial of the network, cubic in s:
//   H(s) = P(s)·(β + (β·Rhc + γ − α·Rhc²)·Chc·s) − Chb·Rhb²·s·(ζ + (ζ·Rhc + η − ε·Rhc²)·Chc·s)
// with P(s) = 1 + p1·s + p2·s² the boost branch, p1 = Chb·(1 + Rhb + Rq), p2 = Chb·Lhb.
// The constants fold in the network's fixed resistors; each set is exactly the coefficient
// printed in the expanded D0..D5 (tools/eqcheck proves the expansion term by term).
struct Branch {
  double beta, gamma, alpha, zeta, eta, eps;
};

struct Shared {
  double Rhc, Rhc2, Chc, p1, p2, r; // r = Chb·Rhb²
};

inline void branchPolynomial(const Branch& k, const Shared& x, double* h) {
  const double q1 = (k.beta * x.Rhc + k.gamma - k.alpha * x.Rhc2) * x.Chc;
  const double r1 = (k.zeta * x.Rhc + k.eta - k.eps * x.Rhc2) * x.Chc;
  h[0] = k.beta;
  h[1] = k.beta * x.p1 + q1 - k.zeta * x.r;
  h[2] = k.beta * x.p2 + q1 * x.p1 - x.r * r1;
  h[3] = q1 * x.p2;
}

// Denominator branches, weighted by the low section: A by (1 + a·s)(1 + b·s), B by Rlc·(1 + a·s),
// C by Rlb·(1 + b·s), E by Rlb·Rlc, where a = Rlb·Clb and b = Rlc·Clc.
constexpr Branch kDenA = {1520004820003.3, 114000361500247.5, 320000620.0003,
                          140000440.0003,  10500033000.0225,  20000.02};
constexpr Branch kDenB = {220000220.0, 16500016500.0, 20000.02, 20000.02, 1500001.5, 0.0};
constexpr Branch kDenC = {251000640.0003, 18825048000.0225, 21000.02, 12000.02, 900001.5, 1.0};
constexpr Branch kDenE = {31000.02, 2325001.5, 1.0, 1.0, 75.0, 0.0};

// Numerator: N(s) = P(s)·M(s), M the same low-section weighting (no B term) of linear factors
// g(s) = β + (β·Rhc + γ − α·Rhc²)·Chc·s.
constexpr double kNumA[3] = {100000200000.1, 7500015000007.5, 100000200.0001};
constexpr double kNumC[3] = {120000320.0002, 9000024000.015, 10000.01};
constexpr double kNumE[3] = {10000.01, 750000.75, 0.0};

inline double numeratorSlope(const double* k, const Shared& x) {
  return (k[0] * x.Rhc + k[1] - k[2] * x.Rhc2) * x.Chc;
}

} // namespace

ORVELFilterSmoothed::ORVELFilterSmoothed(double rate)
    : FilterProcessor<5, LatticeLadder<5>, 8>(rate), FilterParameterSmoothing<ORVELFilterSmoothed>(
                                                         rate) {
  updateCoefficients();
}

void ORVELFilterSmoothed::setTargets(double hiBoost, double hiCut, double hiBoostFreq,
                                     double hiCutFreq, double hiFreqQ, double loBoost, double loCut,
                                     double loFreq) {
  const double values[kNumControls] = {hiBoost,
                                       hiCut,
                                       hiBoostFreq,
                                       hiCutFreq,
                                       hiFreqQ,
                                       shapeLowControl(unitRange(loBoost)),
                                       shapeLowControl(unitRange(loCut)),
                                       loFreq};
  for (int i = 0; i < kNumControls; ++i)
    targets[i].store(clampControl(unitRange(values[i])), std::memory_order_relaxed);
  publishTargets();
}

int ORVELFilterSmoothed::switchStep(double t, int count) {
  const double position = count * t;
  if (!(position >= 1.0)) return 0;
  const int step = static_cast<int>(position < count ? position : count);
  return step < count ? step : count - 1;
}

ORVELFilterSmoothed::Components ORVELFilterSmoothed::components() const {
  const int hb = switchStep(targets[2].load(std::memory_order_relaxed), kHiBoostFreqSteps);
  const int hc = switchStep(targets[3].load(std::memory_order_relaxed), kHiCutFreqSteps);
  const int lo = switchStep(targets[7].load(std::memory_order_relaxed), kLoFreqSteps);
  Components c;
  c.Rhb = kHiBoostOhms * controls[0];
  c.Rhc = kHiCutOhms * controls[1];
  c.Rq = kHiFreqQOhms * controls[4];
  c.Rlb = kLoBoostOhms * controls[5];
  c.Rlc = kLoCutOhms * controls[6];
  c.Chb = kChb[hb];
  c.Lhb = kLhb[hb];
  c.Chc = kChc[hc];
  c.Clb = kClb[lo];
  c.Clc = kClc[lo];
  return c;
}

void ORVELFilterSmoothed::networkPolynomials(const Components& c, double* den, double* num) {
  Shared x;
  x.Rhc = c.Rhc;
  x.Rhc2 = c.Rhc * c.Rhc;
  x.Chc = c.Chc;
  x.p1 = c.Chb * (1.0 + c.Rhb + c.Rq);
  x.p2 = c.Chb * c.Lhb;
  x.r = c.Chb * (c.Rhb * c.Rhb);

  // Low section: a, b are the time constants (s) of the boost and cut legs.
  const double a = c.Rlb * c.Clb, b = c.Rlc * c.Clc;
  const double ab1 = a + b, ab2 = a * b, RlbRlc = c.Rlb * c.Rlc;

  double hA[4], hB[4], hC[4], hE[4];
  branchPolynomial(kDenA, x, hA);
  branchPolynomial(kDenB, x, hB);
  branchPolynomial(kDenC, x, hC);
  branchPolynomial(kDenE, x, hE);

  den[0] = hA[0] + c.Rlc * hB[0] + c.Rlb * hC[0] + RlbRlc * hE[0];
  den[1] = hA[1] + ab1 * hA[0] + c.Rlc * (hB[1] + a * hB[0]) + c.Rlb * (hC[1] + b * hC[0]) +
           RlbRlc * hE[1];
  den[2] = hA[2] + ab1 * hA[1] + ab2 * hA[0] + c.Rlc * (hB[2] + a * hB[1]) +
           c.Rlb * (hC[2] + b * hC[1]) + RlbRlc * hE[2];
  den[3] = hA[3] + ab1 * hA[2] + ab2 * hA[1] + c.Rlc * (hB[3] + a * hB[2]) +
           c.Rlb * (hC[3] + b * hC[2]) + RlbRlc * hE[3];
  den[4] = ab1 * hA[3] + ab2 * hA[2] + c.Rlc * a * hB[3] + c.Rlb * b * hC[3];
  den[5] = ab2 * hA[3];

  const double gA1 = numeratorSlope(kNumA, x), gC1 = numeratorSlope(kNumC, x),
               gE1 = numeratorSlope(kNumE, x);
  const double m0 = kNumA[0] + c.Rlb * kNumC[0] + RlbRlc * kNumE[0];
  const double m1 = gA1 + ab1 * kNumA[0] + c.Rlb * (gC1 + b * kNumC[0]) + RlbRlc * gE1;
  const double m2 = ab1 * gA1 + ab2 * kNumA[0] + c.Rlb * b * gC1;
  const double m3 = ab2 * gA1;
  num[0] = m0;
  num[1] = m1 + x.p1 * m0;
  num[2] = m2 + x.p1 * m1 + x.p2 * m0;
  num[3] = m3 + x.p1 * m2 + x.p2 * m1;
  num[4] = x.p1 * m3 + x.p2 * m2;
  num[5] = x.p2 * m3;
}

bool ORVELFilterSmoothed::glideStep() {
  bool redesigned = true;
  if (processingStarted)
    redesigned = smoothStep();
  else
    snapToTargets();
  processingStarted = true;
  return redesigned;
}

void ORVELFilterSmoothed::updateCoefficients() {
  const Components c = components();
  // The two channels of a stereo pair usually glide in step from the same settings: the design
  // and its conversion are pure functions of the components and the rate, so the same bits
  // come out of taking the other's. Compared bit for bit, from what each side actually read.
  if (const ORVELFilterSmoothed* other = designSource) {
    const Design& d = other->latest;
    if (sameBits(d.components, c) && sameBits(d.rate, sampleRate)) {
      coefficients = other->coefficients;
      // The conversion fails the same way on the same design: then the section keeps its own.
      if (d.converted) {
        for (int m = 0; m <= LatticeLadder<5>::kOrder; ++m) {
          section.k[m] = other->section.k[m];
          section.c[m] = other->section.c[m];
          section.v[m] = other->section.v[m];
        }
      }
      latest = d;
      return;
    }
  }
  networkPolynomials(c, coefficients.analogDen, coefficients.analogNum);
  coefficients.bilinearTransform(sampleRate);
  // The section's state carries over: only its coefficients follow the new design.
  latest.converted = section.setCoefficients(coefficients.digitalDen, coefficients.digitalNum);
  latest.components = c;
  latest.rate = sampleRate;
}
