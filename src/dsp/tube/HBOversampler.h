#pragma once

#include "dsp/tube/HalfBandStage.h"

#include <array>
#include <cstdint>

// Runs a per-sample processor T at a power-of-two multiple of the host rate: each host sample is
// interpolated with a polyphase half-band filter, T runs on every high-rate sample, and a second
// half-band filter decimates back. One up and one down stage per halving, so MaxFactor = 2
// builds one pair.
//
// T offers process(double) -> double, setSampleRate(double high rate in hertz) and
// clearFilterHistory(); resetTube() and isStateFinite() are used when present.
//
// Threads: everything on the audio thread, except construction, setFactor and setSampleRate,
// which the owner calls while no block is being processed.
template <class T, uint32_t MaxFactor = 2> class HBOversampler {
  static_assert(MaxFactor >= 2 && (MaxFactor & (MaxFactor - 1)) == 0,
                "the maximum factor is a power of two of at least 2");

  static constexpr uint32_t halvings(uint32_t f) { return f <= 1 ? 0 : 1 + halvings(f / 2); }

public:
  static constexpr uint32_t kMaxFactor = MaxFactor;
  static constexpr uint32_t kStageCount = halvings(MaxFactor);

  // Starts at the maximum factor and brings the processor to factor x base rate at once, so a
  // host that processes before announcing its rate runs a design that matches the rate it is
  // actually run at.
  HBOversampler(T* processor, double baseSampleRate)
      : processor(processor), stageCount(kStageCount), factor(MaxFactor),
        baseSampleRate(baseSampleRate) {
    processor->setSampleRate(factor * baseSampleRate);
  }

  virtual ~HBOversampler() = default;

  HBOversampler(const HBOversampler&) = delete;
  HBOversampler& operator=(const HBOversampler&) = delete;

  // A power of two from 2 to MaxFactor; anything else, and the current factor, change nothing.
  void setFactor(uint32_t newFactor) {
    if (newFactor == factor) return;
    if (newFactor < 2 || newFactor > MaxFactor || (newFactor & (newFactor - 1)) != 0) return;
    factor = newFactor;
    processor->setSampleRate(factor * baseSampleRate);
    resetStages();
  }

  // Host rate in hertz. The half-band stages keep their state.
  void setSampleRate(double rate) {
    baseSampleRate = rate;
    processor->setSampleRate(factor * baseSampleRate);
  }

  // One sample at the rate it comes in. Callers pass the current factor and depth 0; deeper
  // stages are reached by recursion, one halving per level.
  double process(double x, uint32_t f, uint32_t depth) {
    double early;
    double late;
    upStages[depth].upsample(x, early, late);
    double c;
    double e;
    if (f <= 2 || depth + 1 >= kStageCount) {
      c = processor->process(early);
      e = processor->process(late);
    } else {
      c = process(early, f / 2, depth + 1);
      e = process(late, f / 2, depth + 1);
    }
    return downStages[depth].downsample(c, e);
  }

  double process(double x) { return process(x, factor, 0); }

  // One host sample through each of two oversamplers (the two channels of a stereo frame),
  // exactly as a.process(xa, a.factor, 0) and b.process(xb, b.factor, 0) would give, bit for
  // bit. At factor 2, when T offers processPair, both processors run side by side.
  static void processPair(HBOversampler& a, double xa, HBOversampler& b, double xb, double& ya,
                          double& yb) {
    if constexpr (requires(T & p, double& y) { T::processPair(p, 0.0, p, 0.0, y, y); }) {
      if (a.factor == 2 && b.factor == 2) {
        double earlyA, lateA, earlyB, lateB;
        a.upStages[0].upsample(xa, earlyA, lateA);
        b.upStages[0].upsample(xb, earlyB, lateB);
        double firstA, firstB, secondA, secondB;
        T::processPair(*a.processor, earlyA, *b.processor, earlyB, firstA, firstB);
        T::processPair(*a.processor, lateA, *b.processor, lateB, secondA, secondB);
        ya = a.downStages[0].downsample(firstA, secondA);
        yb = b.downStages[0].downsample(firstB, secondB);
        return;
      }
    }
    ya = a.process(xa, a.factor, 0);
    yb = b.process(xb, b.factor, 0);
  }

  // Two oversamplers at factor 2 (the two channels of a stereo frame) over a whole block, their
  // samples side by side in the lanes of V (see LatticeLadder::Lanes) through the half-band
  // stages and T::PairLanes<V>: each lane is bit for bit what process() gives its channel. The
  // stage states live in the lanes from construction to store(), which must come before
  // anything else touches the two oversamplers.
  template <class V> class PairLanes {
  public:
    [[gnu::always_inline]] static bool fits(const HBOversampler& a, const HBOversampler& b) {
      return a.factor == 2 && b.factor == 2;
    }

    [[gnu::always_inline]] PairLanes(HBOversampler& a, HBOversampler& b)
        : a(a), b(b), core(*a.processor, *b.processor) {
      up.load(a.upStages[0], b.upStages[0]);
      down.load(a.downStages[0], b.downStages[0]);
    }

    PairLanes(const PairLanes&) = delete;
    PairLanes& operator=(const PairLanes&) = delete;

    [[gnu::always_inline]] V process(V x) { return finish(prepare(x)); }

    // process() in two halves, the interpolation and everything of the processor's that does
    // not wait for its tube stages, then the rest: a caller that prepares the next sample
    // before it finishes this one lets the processor overlap that work with the tube solves,
    // which it cannot see past otherwise. Each half must see the samples in order.
    struct Prepared {
      V early, late;
    };

    [[gnu::always_inline]] Prepared prepare(V x) {
      V early, late;
      up.upsample(x, early, late);
      const V first = core.prepare(early);
      return {first, core.prepare(late)};
    }

    [[gnu::always_inline]] V finish(const Prepared& p) {
      const V first = core.finish(p.early);
      const V second = core.finish(p.late);
      return down.downsample(first, second);
    }

    [[gnu::always_inline]] void store() {
      up.store(a.upStages[0], b.upStages[0]);
      down.store(a.downStages[0], b.downStages[0]);
      core.store();
    }

  private:
    HBOversampler& a;
    HBOversampler& b;
    HalfBandLanes<V> up;
    HalfBandLanes<V> down;
    typename T::template PairLanes<V> core;
  };

  // Recovery after non-finite output: clears the processor's equalizer history, returns its
  // tube stage (if any) to its quiescent point and clears every half-band stage. Without the
  // tube reset a NaN that reached the tube leaves its nodes at a cut-off, run-away state that
  // never recovers by itself.
  void reset() {
    processor->clearFilterHistory();
    if constexpr (requires(T & p) { p.resetTube(); }) processor->resetTube();
    resetStages();
  }

  // True when no half-band state (nor the processor's, if it can tell) holds NaN or infinity.
  // A non-finite input always lands in the first up stage and stays there until a reset.
  bool isStateFinite() const {
    for (uint32_t i = 0; i < kStageCount; ++i) {
      if (!upStages[i].isStateFinite() || !downStages[i].isStateFinite()) return false;
    }
    if constexpr (requires(const T& p) { p.isStateFinite(); }) return processor->isStateFinite();
    return true;
  }

  uint32_t getFactor() const { return factor; }
  uint32_t getStageCount() const { return stageCount; }
  double getBaseSampleRate() const { return baseSampleRate; }
  T* getProcessor() const { return processor; }

private:
  void resetStages() {
    for (uint32_t i = 0; i < kStageCount; ++i) {
      upStages[i].reset();
      downStages[i].reset();
    }
  }

  std::array<HalfBandStage, kStageCount> upStages;   // interpolation, stage 0 first
  std::array<HalfBandStage, kStageCount> downStages; // decimation, stage 0 first
  T* processor;                                      // not owned
  uint32_t stageCount;
  uint32_t factor;
  double baseSampleRate; // hertz
};
