#pragma once

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>

// Glides the filter's normalised control values towards their targets with a one-pole step
// (1 % of the remaining distance per step) and redesigns the filter after every step, so every
// intermediate filter is a valid network. T is the filter class deriving from this one; it
// provides `controls`, `sampleRate` and `updateCoefficients`.
//
// Threads: setTargets (any thread) stores the targets, then raises `smoothingActive` (release).
// The audio thread reads the flag (acquire) and only then the targets. No locks.
template <class T, int NumControls = 8> class FilterParameterSmoothing {
public:
  static constexpr double kStepRate = 44100.0; // glide steps per second at 44100 Hz and above
  static constexpr double kStepFraction = 0.01;
  static constexpr double kSettledDistance = 0.001;

  explicit FilterParameterSmoothing(double rate) : stepInterval(stepIntervalFor(rate)) {
    for (auto& t : targets)
      t.store(0.5, std::memory_order_relaxed);
    std::printf("#PARAMS: %d\n", NumControls);
    std::fflush(stdout);
  }

  // Filter samples between glide steps: trunc(rate / 44100), but at least 1 so that rates below
  // 44100 Hz step on every sample instead of dividing by zero.
  static std::int32_t stepIntervalFor(double rate) {
    const double ratio = rate / kStepRate;
    if (!(ratio >= 1.0)) return 1; // also a non-finite or negative rate
    if (ratio >= 1048576.0) return 1048576;
    return static_cast<std::int32_t>(ratio);
  }

  // One call per filter sample while `smoothingActive` is set (audio thread). True when a step
  // was due, and so the filter was redesigned.
  bool smoothStep() {
    // The rate is a plain member its owner may set at any time; a comparison per call is much
    // cheaper than the division that recomputes the interval.
    const double rate = self().sampleRate;
    if (!(rate == intervalRate)) {
      stepInterval = stepIntervalFor(rate);
      intervalRate = rate;
    }
    const bool due = sampleCounter % static_cast<std::uint32_t>(stepInterval) == 0;
    if (due) {
      const std::uint32_t serial = targetSerial.load(std::memory_order_acquire);
      double* controls = self().controls;
      bool settled = true;
      for (int i = 0; i < NumControls; ++i) {
        const double target = targets[i].load(std::memory_order_relaxed);
        controls[i] = controls[i] * (1.0 - kStepFraction) + target * kStepFraction;
        if (settled && std::fabs(controls[i] - target) > kSettledDistance) settled = false;
      }
      self().T::updateCoefficients();
      if (settled) stopGlide(serial);
    }
    ++sampleCounter; // wraps at 2^32
    return due;
  }

  std::atomic<bool> smoothingActive{false};
  std::uint32_t sampleCounter = 0; // smoothStep calls since construction
  std::int32_t stepInterval;
  std::atomic<double> targets[NumControls];

protected:
  ~FilterParameterSmoothing() = default;

  // Called by the filter after it has stored all targets (any thread).
  void publishTargets() {
    targetSerial.fetch_add(1, std::memory_order_seq_cst);
    smoothingActive.store(true, std::memory_order_seq_cst);
  }

  // Controls jump to the targets with one design and no glide (audio thread). Used while the
  // filter has not processed any sample yet: there is no signal a jump could disturb, and gliding
  // through intermediate networks there only produces a burst at the start of processing.
  void snapToTargets() {
    const std::uint32_t serial = targetSerial.load(std::memory_order_acquire);
    double* controls = self().controls;
    for (int i = 0; i < NumControls; ++i)
      controls[i] = targets[i].load(std::memory_order_relaxed);
    self().T::updateCoefficients();
    stopGlide(serial);
  }

  bool processingStarted = false; // audio thread only: the filter has processed a sample

private:
  T& self() { return static_cast<T&>(*this); }

  // Lowers the flag unless new targets were published since `serial` was read; the seq_cst pair
  // (flag store, serial load) against (serial increment, flag store) means a concurrent
  // setTargets can never be lost.
  void stopGlide(std::uint32_t serial) {
    smoothingActive.store(false, std::memory_order_seq_cst);
    if (targetSerial.load(std::memory_order_seq_cst) != serial)
      smoothingActive.store(true, std::memory_order_seq_cst);
  }

  std::atomic<std::uint32_t> targetSerial{0};
  double intervalRate = 0.0; // the rate stepInterval was computed for
};
