#pragma once

#include "dsp/eq/ORVELFilterSmoothed.h"
#include "dsp/tube/TubeStage.h"

#include <atomic>
#include <memory>
#include <type_traits>

// Signal chain of one channel at the oversampled rate: pre-gain, equalizer, negated tube stage,
// post-gain. Either element can be switched out; the two gains compensate for the level of the
// elements switched in.
//
// Threads: process, setSampleRate, clearFilterHistory and resetTube on the audio thread (through
// the oversampler); the switch setters and setFilterParameters from any thread. Flags and gains
// are relaxed atomics: a change acts at the next sample, and one sample may see the new preGain
// with the old postGain or the reverse.
class ORVEL {
public:
  // Tube stage components: volts, ohms, ohms, ohms, farads, farads.
  static constexpr double kSupplyVoltage = 250.0;
  static constexpr double kCathodeResistance = 470.0;
  static constexpr double kUpperCathodeResistance = 1000.0;
  static constexpr double kLoadResistance = 4400.0;
  static constexpr double kBypassCapacitance = 0.00047022;
  static constexpr double kCouplingCapacitance = 4.7e-6;

  // Compensation gains (linear). +-23.7 dB rounded to six decimals; 0.55 is about -5.19 dB.
  //   equalizer  tube   preGain   postGain
  //   on         on     1.0       0.55
  //   off        on     0.065313  0.55
  //   on         off    1.0       15.310875
  //   off        off    1.0       1.0
  static constexpr double kTubeOutputGain = 0.55;
  static constexpr double kTubeInputGainWithoutEqualizer = 0.065313;
  static constexpr double kEqualizerMakeUpGain = 15.310875;

  explicit ORVEL(double sampleRate); // hertz
  ~ORVEL();

  ORVEL(const ORVEL&) = delete;
  ORVEL& operator=(const ORVEL&) = delete;

  // Oversampled rate in hertz. Redesigns the equalizer and clears its history; the tube stage
  // keeps its node voltages.
  void setSampleRate(double rate);

  // On for a value of at least 0.5, off otherwise (NaN included); then the gains follow.
  void setEqualizer(double value);
  void setTubeBuffer(double value);

  // Eight normalised equalizer values in the order Hi Boost, Hi Cut, Hi Boost Freq.,
  // Hi Cut Freq., Hi Freq. Q, Lo Boost, Lo Cut, Lo Freq; starts a glide towards them.
  void setFilterParameters(double hiBoost, double hiCut, double hiBoostFreq, double hiCutFreq,
                           double hiFreqQ, double loBoost, double loCut, double loFreq);

  double process(double x) {
    x *= preGain.load(std::memory_order_relaxed);
    // A switched-out element does not run: its history and glide wait where they are.
    if (equalizerOn.load(std::memory_order_relaxed)) x = filter->tick(x);
    // The common-cathode lower triode inverts; the sign change keeps the chain non-inverting.
    if (tubeBufferOn.load(std::memory_order_relaxed)) x = -tube->process(x);
    return x * postGain.load(std::memory_order_relaxed);
  }

  // One sample through each of two cores, exactly as a.process(xa) and b.process(xb) would
  // give (bit for bit); when both tube stages are switched in their Newton solves run side by
  // side, which is much cheaper than two calls. For the two channels of a stereo frame.
  static void processPair(ORVEL& a, double xa, ORVEL& b, double xb, double& ya, double& yb) {
    xa *= a.preGain.load(std::memory_order_relaxed);
    xb *= b.preGain.load(std::memory_order_relaxed);
    if (a.equalizerOn.load(std::memory_order_relaxed)) xa = a.filter->tick(xa);
    if (b.equalizerOn.load(std::memory_order_relaxed)) xb = b.filter->tick(xb);
    const bool tubeA = a.tubeBufferOn.load(std::memory_order_relaxed);
    const bool tubeB = b.tubeBufferOn.load(std::memory_order_relaxed);
    if (tubeA && tubeB) {
      TubeStage::processPair(*a.tube, xa, *b.tube, xb);
      xa = -a.tube->getOutputVoltage();
      xb = -b.tube->getOutputVoltage();
    } else {
      if (tubeA) xa = -a.tube->process(xa);
      if (tubeB) xb = -b.tube->process(xb);
    }
    ya = xa * a.postGain.load(std::memory_order_relaxed);
    yb = xb * b.postGain.load(std::memory_order_relaxed);
  }

  // Both cores of a stereo pair over a whole block, one sample at a time, their signals side by
  // side in the lanes of V (see LatticeLadder::Lanes): each lane is bit for bit its core's
  // process(). The equalizers' lattices, and the tube stages' states while both are switched
  // in, live in the lanes from construction to store(), which must come before anything else
  // touches the cores' filters or tube stages. Flags and gains are still read
  // at every sample, so a change from another thread acts at the next sample as it does in
  // process().
  template <class V> class PairLanes;

  // Zeroes the equalizer's input and output histories; coefficients, glide and tube stage stay.
  void clearFilterHistory();

  // Returns the tube stage to its zero-input operating point. Needed after non-finite input:
  // NaN reaches the tube as a grid voltage the tables read as a cut-off lower triode, so the
  // stage keeps producing finite but meaningless values (the upper cathode runs away and the
  // output sits at a constant of about -250) instead of recovering on its own.
  void resetTube();

  // True when neither the equalizer's histories nor the tube stage's nodes hold NaN or infinity.
  bool isStateFinite() const;

  void updateGains();

  bool isEqualizerOn() const { return equalizerOn.load(std::memory_order_relaxed); }
  bool isTubeBufferOn() const { return tubeBufferOn.load(std::memory_order_relaxed); }
  double getPreGain() const { return preGain.load(std::memory_order_relaxed); }
  double getPostGain() const { return postGain.load(std::memory_order_relaxed); }
  ORVELFilterSmoothed& getFilter() { return *filter; }
  const ORVELFilterSmoothed& getFilter() const { return *filter; }
  TubeStage& getTube() { return *tube; }
  const TubeStage& getTube() const { return *tube; }

private:
  std::unique_ptr<ORVELFilterSmoothed> filter;
  std::unique_ptr<TubeStage> tube;
  std::atomic<bool> equalizerOn{true};
  std::atomic<bool> tubeBufferOn{true};
  std::atomic<double> postGain{1.0};
  std::atomic<double> preGain{1.0};
};

template <class V> class ORVEL::PairLanes {
public:
  [[gnu::always_inline]] PairLanes(ORVEL& a, ORVEL& b) : a(a), b(b), tubes(*a.tube, *b.tube) {
    lattice.loadCoefficients(0, a.filter->section);
    lattice.loadCoefficients(1, b.filter->section);
    lattice.loadHistory(a.filter->section, b.filter->section);
  }

  PairLanes(const PairLanes&) = delete;
  PairLanes& operator=(const PairLanes&) = delete;

  [[gnu::always_inline]] void store() {
    lattice.storeHistory(a.filter->section, b.filter->section);
    tubes.store();
  }

  // One sample is prepare() then finish(): the pre-gain and the equalizer, which do not depend
  // on the tube stages, then the tube stages and the post-gain. A caller may prepare later
  // samples before it finishes earlier ones, as long as each half sees the samples in order.
  [[gnu::always_inline]] V prepare(V x) {
    x *= V{a.preGain.load(std::memory_order_relaxed), b.preGain.load(std::memory_order_relaxed)};
    const bool eqA = a.equalizerOn.load(std::memory_order_relaxed);
    const bool eqB = b.equalizerOn.load(std::memory_order_relaxed);
    // A glide step redesigns the filter's own lattice; its lane follows.
    if (eqA && a.filter->advanceGlide()) lattice.loadCoefficients(0, a.filter->section);
    if (eqB && b.filter->advanceGlide()) lattice.loadCoefficients(1, b.filter->section);
    if (eqA && eqB)
      x = lattice.process(x);
    else if (eqA)
      x = lattice.processLane(x, 0);
    else if (eqB)
      x = lattice.processLane(x, 1);
    return x;
  }

  [[gnu::always_inline]] V finish(V x) {
    const bool tubeA = a.tubeBufferOn.load(std::memory_order_relaxed);
    const bool tubeB = b.tubeBufferOn.load(std::memory_order_relaxed);
    if (tubeA && tubeB) {
      x = tubes.processNegated(x);
    } else {
      // One stage alone runs on its own state: the lanes hand theirs back until both are in.
      tubes.release();
      if (tubeA) x[0] = -a.tube->process(x[0]);
      if (tubeB) x[1] = -b.tube->process(x[1]);
    }
    return x * V{a.postGain.load(std::memory_order_relaxed),
                 b.postGain.load(std::memory_order_relaxed)};
  }

private:
  // Both tube stages, their states held in lanes while both are switched in, where the lanes
  // are the solver's own vector type; elsewhere one paired call per sample.
  class Tubes {
  public:
    [[gnu::always_inline]] Tubes(TubeStage& a, TubeStage& b) : a(a), b(b) {}

    // Both load voltages with the sign change of process().
    [[gnu::always_inline]] V processNegated(V x) {
#if defined(OMBRINE_TUBE_PAIR_LANES)
      if constexpr (std::is_same_v<V, tube_lanes::Pair>) {
        if (!held) {
          lanes.load();
          held = true;
        }
        return -lanes.process(x);
      } else
#endif
      {
        TubeStage::processPair(a, x[0], b, x[1]);
        return V{-a.getOutputVoltage(), -b.getOutputVoltage()};
      }
    }

    [[gnu::always_inline]] void release() {
#if defined(OMBRINE_TUBE_PAIR_LANES)
      if (held) lanes.store();
      held = false;
#endif
    }

    [[gnu::always_inline]] void store() { release(); }

  private:
    TubeStage& a;
    TubeStage& b;
#if defined(OMBRINE_TUBE_PAIR_LANES)
    TubeStage::PairLanes lanes{a, b};
    bool held = std::is_same_v<V, tube_lanes::Pair>; // the lanes load at construction
#endif
  };

  ORVEL& a;
  ORVEL& b;
  LatticeLadder<5>::Lanes<V> lattice;
  Tubes tubes;
};
