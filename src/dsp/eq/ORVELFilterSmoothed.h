#pragma once

#include "dsp/eq/FilterParameterSmoothing.h"
#include "dsp/eq/FilterProcessor.h"
#include "dsp/eq/LatticeLadder.h"

// Model of a passive program-equalizer network, designed from its component values as a
// fifth-order analog H(s), mapped to the digital domain by the bilinear transform and run as one
// fifth-order normalised lattice-ladder (it stays bounded while the controls glide).
//
// Control order (normalised 0..1): 0 Hi Boost, 1 Hi Cut, 2 Hi Boost Freq., 3 Hi Cut Freq.,
// 4 Hi Freq. Q, 5 Lo Boost, 6 Lo Cut, 7 Lo Freq. The continuous ones glide; the three switches
// are read from their targets and act at the next glide step.
//
// Threads: setTargets from any thread; tick, smoothStep and setSampleRate on the audio thread.
class ORVELFilterSmoothed final : public FilterProcessor<5, LatticeLadder<5>, 8>,
                                  public FilterParameterSmoothing<ORVELFilterSmoothed> {
public:
  static constexpr int kNumControls = 8;
  static constexpr int kHiBoostFreqSteps = 7;
  static constexpr int kHiCutFreqSteps = 6;
  static constexpr int kLoFreqSteps = 6;

  // Component values of the network (ohms, farads, henries).
  struct Components {
    double Rhb, Rhc, Rq, Rlb, Rlc;  // potentiometer sections
    double Chb, Lhb, Chc, Clb, Clc; // switched parts
  };

  explicit ORVELFilterSmoothed(double rate); // rate in hertz

  // New glide targets from the eight normalised parameter values (any thread). Each value is
  // made finite and brought into 0..1 first (NaN -> 0, infinities -> nearest end); Lo Boost and
  // Lo Cut are then shaped, and all eight clamped to 0.005..0.995.
  void setTargets(double hiBoost, double hiCut, double hiBoostFreq, double hiCutFreq,
                  double hiFreqQ, double loBoost, double loCut, double loFreq);

  // Taper of the low-band potentiometers: v / (5.5 - 4.5 v); 0 -> 0, 0.5 -> 2/13, 1 -> 1.
  static double shapeLowControl(double v) { return v / (5.5 - 4.5 * v); }
  // (|t - 0.005| + 0.005 + 0.995 - |t - 0.995|) / 2: t limited to 0.005..0.995.
  static double clampControl(double t) {
    return (std::fabs(t - 0.005) + 0.005 + 0.995 - std::fabs(t - 0.995)) * 0.5;
  }
  // Switch position trunc(count · t), kept within 0..count-1.
  static int switchStep(double t, int count);

  // The network's components for the current controls and switch targets.
  Components components() const;
  // D0..D5 into den and N0..N5 into num (ascending powers of s, s in rad/s).
  static void networkPolynomials(const Components& c, double* den, double* num);

  void updateCoefficients() override;

  // Another filter whose designs this one may take instead of designing again: when this one's
  // components and rate are exactly those of the other's latest design, the result would be the
  // same bits. Both filters' designs must run on the same thread (the audio thread, or the
  // owner's while no block runs). Null: always design.
  void shareDesignsWith(const ORVELFilterSmoothed* other) { designSource = other; }

  // Per-sample entry of the channel core (audio thread): a glide step when one is due, then the
  // filter. Targets that arrive before the first sample ever processed take effect at once.
  double tick(double x) {
    advanceGlide();
    return section.process(x);
  }

  // The glide half of tick(), for callers that run the section themselves. True when the
  // section's coefficients may have changed. Only the flag test is inline: it is all a settled
  // filter does per sample.
  bool advanceGlide() {
    if (!smoothingActive.load(std::memory_order_acquire)) {
      processingStarted = true;
      return false;
    }
    return glideStep();
  }

  void clearHistory() { section.clearHistory(); }
  const FilterCoefficients& coeffs() const { return coefficients; }
  bool hasProcessed() const { return processingStarted; }

private:
  bool glideStep();

  // What the latest design was made from, and whether the section took it (a conversion that
  // fails leaves the section's previous lattice in place).
  struct Design {
    Components components{};
    double rate = 0.0;
    bool converted = false;
  };

  Design latest;
  const ORVELFilterSmoothed* designSource = nullptr;
};
