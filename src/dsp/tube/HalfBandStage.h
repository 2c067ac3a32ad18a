#pragma once

#include <array>
#include <cstdint>

// First-order allpass H(z) = (a + z^-1) / (1 + a z^-1); low-frequency delay (1 - a) / (1 + a)
// samples of the rate it runs at.
class AllpassSection {
public:
  AllpassSection() = default;
  explicit AllpassSection(double a) : coefficient(a) {}

  double process(double x) {
    const double y = (x - previousOutput) * coefficient + previousInput;
    previousInput = x;
    previousOutput = y;
    return y;
  }

  void reset() {
    previousInput = 0.0;
    previousOutput = 0.0;
  }

  double getCoefficient() const { return coefficient; }
  double getPreviousInput() const { return previousInput; }
  double getPreviousOutput() const { return previousOutput; }

private:
  double coefficient = 0.0;
  double previousInput = 0.0;  // x[n-1]
  double previousOutput = 0.0; // y[n-1]
};

// Allpass sections in series, run in array order. The sections live inside the chain (fixed
// capacity) so a sample touches no other memory.
class AllpassChain {
public:
  static constexpr int32_t kMaxSections = 6;

  // One section per coefficient, in order; count is at most kMaxSections.
  AllpassChain(const double* coefficients, int32_t count);

  double process(double x) {
    for (int32_t i = 0; i < count; ++i)
      x = sections[i].process(x);
    return x;
  }

  void reset() {
    for (int32_t i = 0; i < count; ++i)
      sections[i].reset();
  }

  int32_t getCount() const { return count; }
  const AllpassSection& getSection(int32_t i) const { return sections[i]; }

private:
  std::array<AllpassSection, kMaxSections> sections{};
  int32_t count = 0;
};

// Polyphase half-band filter H(z) = (A(z^2) + z^-1 B(z^2)) / 2 made of two allpass chains:
// -3.01 dB at a quarter of the high rate, flat within 0.0001 dB to 0.239 of it, at least
// 159.5 dB down from 0.275 of it to its Nyquist frequency.
class HalfBandStage {
public:
  static constexpr int32_t kSectionsPerBranch = 6;
  static const double kCoefficientsA[kSectionsPerBranch];
  static const double kCoefficientsB[kSectionsPerBranch];

  HalfBandStage();

  // One sample in at the low rate, two out at the high rate, earlier first.
  void upsample(double x, double& early, double& late) {
    early = branchA.process(x);
    late = branchB.process(x);
  }

  // Two high-rate samples in (earlier first), one out, aligned with the earlier one.
  double downsample(double early, double late) {
    const double y = (branchA.process(early) + delay) * 0.5;
    delay = branchB.process(late);
    return y;
  }

  void reset() {
    delay = 0.0;
    branchA.reset();
    branchB.reset();
  }

  // True when no state holds NaN or infinity.
  bool isStateFinite() const;

private:
  double delay = 0.0; // branch B's last output, for decimation
  AllpassChain branchA;
  AllpassChain branchB;
};
