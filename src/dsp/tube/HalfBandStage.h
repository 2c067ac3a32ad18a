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

  void setHistory(double input, double output) {
    previousInput = input;
    previousOutput = output;
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
  AllpassSection& getSection(int32_t i) { return sections[i]; }

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
  // Two interleaved sets: sorted together the twelve coefficients alternate between A and B.
  static constexpr double kCoefficientsA[kSectionsPerBranch] = {
      0.01677466677723562, 0.13902148819717805, 0.3325011117394731,
      0.53766105314488,    0.7214184024215805,  0.8821858402078155};
  static constexpr double kCoefficientsB[kSectionsPerBranch] = {
      0.06501319274445962, 0.23094129990840923, 0.4364942348420355,
      0.6329609551399348,  0.8037808679411123,  0.9599687404800694};
  static_assert(kSectionsPerBranch <= AllpassChain::kMaxSections);

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
  template <class V> friend class HalfBandLanes;

  double delay = 0.0; // branch B's last output, for decimation
  AllpassChain branchA;
  AllpassChain branchB;
};

// Two half-band stages side by side, one per lane of V (see LatticeLadder::Lanes): the same
// operations in the same order as HalfBandStage, so each lane is bit for bit its own stage.
// Loaded from the two stages at the start of a block and stored back at its end.
//
// A chain passes each section's output on as the next section's input, so a section's previous
// input is always the previous section's previous output; a chain here keeps only its first
// section's previous input and every section's previous output.
template <class V> class HalfBandLanes {
public:
  [[gnu::always_inline]] void load(const HalfBandStage& a, const HalfBandStage& b) {
    branchA.load(a.branchA, b.branchA);
    branchB.load(a.branchB, b.branchB);
    delay = V{a.delay, b.delay};
  }

  [[gnu::always_inline]] void store(HalfBandStage& a, HalfBandStage& b) const {
    branchA.store(a.branchA, b.branchA);
    branchB.store(a.branchB, b.branchB);
    a.delay = delay[0];
    b.delay = delay[1];
  }

  [[gnu::always_inline]] void upsample(V x, V& early, V& late) {
    early = branchA.process(x, HalfBandStage::kCoefficientsA);
    late = branchB.process(x, HalfBandStage::kCoefficientsB);
  }

  [[gnu::always_inline]] V downsample(V early, V late) {
    const V y = (branchA.process(early, HalfBandStage::kCoefficientsA) + delay) * 0.5;
    delay = branchB.process(late, HalfBandStage::kCoefficientsB);
    return y;
  }

private:
  static constexpr int32_t kSections = HalfBandStage::kSectionsPerBranch;

  struct Chain {
    V input{};             // first section's x[n-1]
    V output[kSections]{}; // each section's y[n-1]

    [[gnu::always_inline]] void load(const AllpassChain& a, const AllpassChain& b) {
      input = V{a.getSection(0).getPreviousInput(), b.getSection(0).getPreviousInput()};
      for (int32_t i = 0; i < kSections; ++i)
        output[i] = V{a.getSection(i).getPreviousOutput(), b.getSection(i).getPreviousOutput()};
    }

    [[gnu::always_inline]] void store(AllpassChain& a, AllpassChain& b) const {
      V in = input;
      for (int32_t i = 0; i < kSections; ++i) {
        a.getSection(i).setHistory(in[0], output[i][0]);
        b.getSection(i).setHistory(in[1], output[i][1]);
        in = output[i];
      }
    }

    [[gnu::always_inline]] V process(V x, const double (&coefficient)[kSections]) {
      V previousInput = input;
      input = x;
#pragma GCC unroll 8
      for (int32_t i = 0; i < kSections; ++i) {
        const V y = (x - output[i]) * coefficient[i] + previousInput;
        previousInput = output[i];
        output[i] = y;
        x = y;
      }
      return x;
    }
  };

  Chain branchA;
  Chain branchB;
  V delay{};
};
