#pragma once

#include "dsp/tube/CubicUnityStepInterpolator.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tube_lanes {
// Two doubles in one vector register (GCC/Clang vector extension: SSE2 on x86-64). One
// instruction does the same operation, with the same rounding, on both elements.
using Pair = double __attribute__((vector_size(16)));
template <int N> struct Lanes;
} // namespace tube_lanes

// Circuit model of a shunt-regulated push-pull pair of triodes ("Tube Buffer"), solved per
// sample with Newton's method.
//
//                    250 V
//                      |
//                   [upper]-- grid = lower plate
//                      |
//   upper cathode v ---+----||---- r (output) ---[4400]--- ground
//                      |   4.7 uF
//                   [1000]
//                      |
//   lower plate u -----+
//                      |
//   x (grid) ------[lower]
//                      |
//   lower cathode t ---+---[470]---||(470.22 uF)--- ground (resistor and capacitor in parallel)
//
// Input: lower grid voltage in volts (sample value 1.0 = 1 V). Output: voltage across the load
// in volts, inverted relative to the input. Capacitors use the trapezoidal rule; the triode
// current and its slope come from two cubic tables built once at construction.
//
// Threads: everything runs on the audio thread except construction.
class TubeStage {
public:
  // Triode law constants, as used by the tables and the solver.
  static constexpr double kInverseMu = 0.0300625300625301;      // 1/mu, mu = 33.264
  static constexpr double kKnee = 1.5;                          // k
  static constexpr double kGamma = 1.456;                       // current law exponent
  static constexpr double kGammaMinusOne = 0.45599999999999996; // 1.456 - 1 in double
  static constexpr double kCurrentScale = 0.0054931640625;      // G, amperes
  static constexpr double kMu = 1.0 / kInverseMu;

  // Quiescent node voltages for zero input (volts); both triodes carry about 6.53 mA there.
  static constexpr double kQuiescentLowerCathode = 3.0673649874780495;
  static constexpr double kQuiescentLowerPlate = 134.94170353179817;
  static constexpr double kQuiescentUpperCathode = 141.4680120157941;
  static constexpr double kQuiescentOutput = 0.0;

  static constexpr int kMaxNewtonSteps = 100;
  static constexpr double kTolerance = 1e-6; // volts, per node, between two Newton iterates
  // The first step alone ends a solve only when it moved no node by more than this (volts).
  // The Jacobian's slopes come from their own table, not from the current table's derivative,
  // so Newton's method converges linearly at the end and the accepted values lie about a
  // thousandth of the last step away from the solution. From the corrected starting guess the
  // first step is often small, but a single step just under the tolerance would still leave
  // its thousandth; a confirming step makes those solves as close as the others.
  static constexpr double kSingleStepTolerance = 1e-9;
  // Largest second difference of the grid voltage (volts) that still steers the starting
  // guess; beyond it, and for anything not finite, the guess is the plain extrapolation.
  static constexpr double kGuessInputLimit = 16.0;

  // Volts, ohms, ohms, ohms, farads, farads, hertz.
  TubeStage(double supplyVoltage, double cathodeResistance, double upperCathodeResistance,
            double loadResistance, double bypassCapacitance, double couplingCapacitance,
            double sampleRate);
  ~TubeStage();

  TubeStage(const TubeStage&) = delete;
  TubeStage& operator=(const TubeStage&) = delete;

  // Rate in hertz at which process() is called. Keeps the node voltages and history currents:
  // only the capacitor companion conductances change, from the next sample on.
  void setSampleRate(double rate);
  double getSampleRate() const { return sampleRate; }

  // One sample: lower grid voltage in, load voltage out.
  [[gnu::always_inline]] double process(double x);

  // One sample on each of two stages, exactly as a.process(xa) and b.process(xb) would do it
  // (bit for bit), with both Newton solves run side by side: the two chains of dependent
  // operations overlap and share instructions. Read the outputs with getOutputVoltage().
  [[gnu::always_inline]] static void processPair(TubeStage& a, double xa, TubeStage& b, double xb);

  // Two stages over a run of samples, each pair of samples exactly as processPair() would do
  // it. Their states live in vector lanes from construction (or load()) to store(): the
  // per-sample gathering and scattering of both stages' fields is what a paired call otherwise
  // spends most of its non-arithmetic time on. Nothing else may touch the two stages between
  // load() and store(). Defined where processPair() runs in lanes (OMBRINE_TUBE_PAIR_LANES).
  class PairLanes;

  // Returns the stage to its zero-input operating point: node voltages, their previous values,
  // both capacitor history currents and the starting guess's history as after construction.
  // Used to recover after non-finite input, which otherwise leaves the nodes far from any
  // physical state for good.
  void resetToQuiescent();

  // Newton steps taken by the last process() call (1..100).
  int lastStepCount() const { return stepCount; }

  double getLowerCathodeVoltage() const { return lowerCathodeVoltage; }
  double getLowerPlateVoltage() const { return lowerPlateVoltage; }
  double getUpperCathodeVoltage() const { return upperCathodeVoltage; }
  double getOutputVoltage() const { return outputVoltage; }
  double getBypassHistoryCurrent() const { return bypassHistoryCurrent; }
  double getCouplingHistoryCurrent() const { return couplingHistoryCurrent; }
  double getSupplyVoltage() const { return supplyVoltage; }
  double getCathodeConductance() const { return cathodeConductance; }
  double getUpperCathodeConductance() const { return upperCathodeConductance; }
  double getLoadConductance() const { return loadConductance; }
  double getBypassCapacitance() const { return bypassCapacitance; }
  double getCouplingCapacitance() const { return couplingCapacitance; }

  // Cathode current (amperes) against scaled drive z = 1.5 w, knots z = -64..63.
  const CubicUnityStepInterpolator& getCurrentTable() const { return *currentTable; }
  // Negated slope dI/dw (amperes per volt) against drive w, knots w = -128..127.
  const CubicUnityStepInterpolator& getSlopeTable() const { return *slopeTable; }

  // The current I(w) (amperes) and the slope table's value S(w) at drive w, read the way the
  // solver reads them: equal to the interpolators up to rounding.
  double currentAtDrive(double w) const;
  double slopeAtDrive(double w) const;

private:
  // Both curves on one grid: the current table's knots (every 2/3 V of drive) and the slope
  // table's (every volt) both fall on multiples of 1/3 V, so on each third of a volt both are
  // single cubics. Each interval holds both, re-expanded about its middle in the local variable
  // u = 3 (w - w_j) - 1/2 in [-1/2, 1/2]: one lookup per drive gives the current and the slope,
  // from one cache line.
  // Element 0 of each coefficient is the current's, element 1 the slope's (or the affine
  // function of it), so both curves are evaluated with the same vector operations.
  struct alignas(64) DualInterval {
    tube_lanes::Pair y, b, c, d;
  };

  struct DualTable {
    static constexpr double kSteps = 3.0;         // intervals per volt of drive
    static constexpr double kFirstDrive = -128.0; // first knot of the slope table, volts
    // Biased offset: 3 (w - kFirstDrive) - 0.5, so that rounding it to the nearest integer
    // gives the interval.
    static constexpr double kBias = -kSteps * kFirstDrive - 0.5;

    std::unique_ptr<DualInterval[]> intervals;
    int32_t intervalCount = 0;
    double first1 = 0.0, first2 = 0.0; // below the first knot, and for NaN
    double last1 = 0.0, last2 = 0.0;   // from the last slope knot on

    void build(const CubicUnityStepInterpolator& current, const CubicUnityStepInterpolator& slope);
    // Same intervals as `source` (built to the same size) with the second curve replaced by
    // offset + scale * the source's second curve.
    void assignAffine(const DualTable& source, double offset, double scale);

    static double offsetOf(double w) { return kSteps * w + kBias; }

    static constexpr double kRound = 6755399441055744.0; // 1.5 * 2^52
    static constexpr uint64_t kRoundBits = 0x4338000000000000ull;
    // A signalling NaN: no sum has this bit pattern, so it never matches a rounded offset.
    static constexpr uint64_t kNoInterval = 0x7ff0000000000001ull;

    // The interval a solver's last lookup in a table used. Newton steps move the drives by far
    // less than an interval, and from sample to sample mostly too: when the next lookup rounds
    // to the same bits, its coefficients are read from where they already were, without waiting
    // for the rounding to become an address. The values are the same bits either way.
    // (No member initialisers: the solver's lane state stays trivially constructible.)
    struct Recent {
      uint64_t bits; // the rounded offset, as evaluate() computes it
      uint64_t index;
      double base; // the interval's nearest integer
    };
    static constexpr Recent kNoRecent = {kNoInterval, 0, 0.0};

    // evaluateNear() on one table per lane.
    template <int N>
    [[gnu::always_inline]] static void
    evaluateLanes(const DualTable* const (&tables)[N], typename tube_lanes::Lanes<N>::V biased,
                  typename tube_lanes::Lanes<N>::V& value1,
                  typename tube_lanes::Lanes<N>::V& value2, Recent (&recent)[2]);

    [[gnu::always_inline]] static tube_lanes::Pair cubic(const DualInterval& k, double local) {
      const tube_lanes::Pair u = {local, local};
      return (k.y + k.b * u) + (u * u) * (k.c + k.d * u);
    }

    [[gnu::always_inline]] tube_lanes::Pair ends(double biased) const {
      return biased >= 0.0 ? tube_lanes::Pair{last1, last2} : tube_lanes::Pair{first1, first2};
    }

    // evaluate(), with the lookup skipped when `recent` already holds the interval.
    [[gnu::always_inline]] tube_lanes::Pair evaluateNear(double biased, Recent& recent) const {
      const double rounded = biased + kRound;
      const uint64_t bits = std::bit_cast<uint64_t>(rounded);
      if (bits != recent.bits) [[unlikely]] {
        const uint64_t i = bits - kRoundBits;
        if (i >= static_cast<uint64_t>(intervalCount)) {
          recent.bits = kNoInterval;
          return ends(biased);
        }
        recent.bits = bits;
        recent.index = i;
        recent.base = rounded - kRound;
      }
      return cubic(intervals[recent.index], biased - recent.base);
    }

    // Rounding `biased` with the 1.5 * 2^52 trick gives the interval and, as what the rounding
    // took off, the local variable, in three additions. The cubic is then split so that its
    // two halves and u^2 are computed side by side. (It relies on the default round-to-nearest
    // mode; the block processing only adds flush-to-zero and denormals-are-zero.)
    tube_lanes::Pair evaluate(double biased) const {
      const double rounded = biased + kRound;
      // For -0.5 <= biased < 2^51 the low bits of `rounded` hold the nearest integer to
      // `biased`. Every other argument, NaN and infinities included, leaves the difference of
      // the bit patterns outside 0 .. n - 1, and the end values are held there.
      const uint64_t i = std::bit_cast<uint64_t>(rounded) - kRoundBits;
      if (i >= static_cast<uint64_t>(intervalCount)) [[unlikely]]
        return ends(biased);
      return cubic(intervals[i], biased - (rounded - kRound)); // exact, in [-1/2, 1/2]
    }
  };

  void updateRateConstants();

  // Everything a solve reads and writes that changes from sample to sample, one stage per lane.
  template <class V> struct SolverState {
    V t, u, v, r;     // node voltages of the last sample
    V tp, up, vp, rp; // and of the one before
    V hb, hc;         // capacitor history currents
    V lastInput, lastInputChange, upperSensitivity, lowerSensitivity; // for the starting guess
    DualTable::Recent lowerRecent[2], upperRecent[2];                 // per lane
  };
  // What a solve reads that only changes with the rate.
  template <class V> struct SolverConstants {
    V ga, gk, gL, m, l, kappaGa, outputCoupling, upperDriveBiased, plateGain, kappa, lambda,
        upperDiagonal, fromReduced, pivot;
  };

  // The per-sample solve on N stages at once (N = 1 or 2).
  template <int N>
  [[gnu::always_inline]] static void solve(TubeStage* const (&stage)[N], const double (&input)[N]);
  template <int N>
  [[gnu::always_inline]] static void
  loadLanes(TubeStage* const (&stage)[N], SolverState<typename tube_lanes::Lanes<N>::V>& state,
            SolverConstants<typename tube_lanes::Lanes<N>::V>& constants);
  template <int N>
  [[gnu::always_inline]] static void
  storeLanes(TubeStage* const (&stage)[N],
             const SolverState<typename tube_lanes::Lanes<N>::V>& state,
             typename tube_lanes::Lanes<N>::Count steps);
  // One sample's Newton solve on state held in lanes; returns the steps taken per lane.
  template <int N>
  [[gnu::always_inline]] static typename tube_lanes::Lanes<N>::Count
  advance(const DualTable* const (&lower)[N], const DualTable* const (&upper)[N],
          const SolverConstants<typename tube_lanes::Lanes<N>::V>& c,
          SolverState<typename tube_lanes::Lanes<N>::V>& s, typename tube_lanes::Lanes<N>::V x);

  // Fields of the circuit.
  double sampleRate;
  double supplyVoltage;
  double cathodeResistance;
  double cathodeConductance;
  double upperCathodeResistance;
  double upperCathodeConductance;
  double loadResistance;
  double loadConductance;
  double bypassCapacitance;
  double couplingCapacitance;

  double lowerCathodeVoltage = kQuiescentLowerCathode;
  double lowerPlateVoltage = kQuiescentLowerPlate;
  double upperCathodeVoltage = kQuiescentUpperCathode;
  double outputVoltage = kQuiescentOutput;
  double previousLowerCathodeVoltage = kQuiescentLowerCathode;
  double previousLowerPlateVoltage = kQuiescentLowerPlate;
  double previousUpperCathodeVoltage = kQuiescentUpperCathode;
  double previousOutputVoltage = kQuiescentOutput;
  double bypassHistoryCurrent = 0.0;   // amperes
  double couplingHistoryCurrent = 0.0; // amperes

  // For the starting guess: the last grid voltage and its change from the one before, and how
  // the two drives moved per volt of grid input in the last solve (at its first Newton step's
  // Jacobian; zero until the first solve, which so starts from the plain extrapolation).
  double lastInput = 0.0;
  double lastInputChange = 0.0;
  double upperDriveSensitivity = 0.0;                   // dw2/dx
  double lowerDriveSensitivity = 0.0;                   // dw1/dx, the grid's own volt not counted
  DualTable::Recent lowerRecent = DualTable::kNoRecent; // the intervals of the last lookups
  DualTable::Recent upperRecent = DualTable::kNoRecent;

  std::unique_ptr<CubicUnityStepInterpolator> currentTable;
  std::unique_ptr<CubicUnityStepInterpolator> slopeTable;

  // Solver constants, recomputed when the rate changes.
  double bypassCompanion = 0.0;        // m = 2 C_bypass fs, siemens
  double couplingCompanion = 0.0;      // l = 2 C_coupling fs, siemens
  double upperDriveOffset = 0.0;       // supply / mu, volts
  double upperDriveBiased = 0.0;       // 3 supply / mu + table bias
  double lowerCathodeDiagonal = 0.0;   // m + gk
  double outputPivotInverse = 0.0;     // 1 / (-l - gL)
  double outputCoupling = 0.0;         // l / (-l - gL)
  double reducedUpperDiagonal = 0.0;   // C = l + ga + l^2 / (-l - gL)
  double inverseCathodeDiagonal = 0.0; // kappa = 1 / (m + gk)
  double reducedUpperInverse = 0.0;    // lambda = 1 / (C - ga)
  double reducedPlateGain = 0.0;       // lambda / mu
  double kappaGa = 0.0;                // kappa ga
  double slopeFromReduced = 0.0;       // mu / lambda

  // Lower triode: current and slope. Upper triode: current and
  // X2(w) = (C - S(w)) lambda / mu + kappa ga, rebuilt with the rate.
  DualTable lowerTable;
  DualTable upperTable;

  int stepCount = 0;
};

namespace tube_lanes {

// The solver runs on one stage (plain doubles) or on two stages side by side, one per element
// of a Pair.
template <int N> struct Lanes;

template <> struct Lanes<1> {
  using V = double;
  using M = bool;
  using Count = int;
  static V of(const double* a) { return a[0]; }
  static double at(V v, int) { return v; }
  static V abs(V a) { return std::fabs(a); }
  static M greater(V a, double b) { return a > b; }
  static M atMost(V a, double b) { return a <= b; }
  static V select(M m, V a, V b) { return m ? a : b; }
  static V masked(M m, V a) { return m ? a : 0.0; }
  static bool any(M m) { return m; }
  static M all() { return true; }
  static void count(Count& c, M m) { c += m ? 1 : 0; }
  static M both(M a, M b) { return a & b; }
  static M either(M a, M b) { return a | b; }
  static M below(Count c, int limit) { return c < limit; }
  static int countAt(Count c, int) { return c; }
};

#if defined(__SSE2__)
#define OMBRINE_TUBE_PAIR_LANES 1
// Two lanes in one SSE2 register. Masks are doubles with all bits set or clear, as the SSE2
// comparisons produce them; step counts are doubles too, so nothing leaves the vector unit.
template <> struct Lanes<2> {
  using V = Pair;
  using M = Pair;
  using Count = Pair;
  static V of(const double* a) { return V{a[0], a[1]}; }
  static double at(V v, int l) { return v[l]; }
  static V abs(V a) {
    return _mm_and_pd(a, _mm_castsi128_pd(_mm_set1_epi64x(0x7fffffffffffffffll)));
  }
  static M greater(V a, double b) { return _mm_cmpgt_pd(a, _mm_set1_pd(b)); }
  static M atMost(V a, double b) { return _mm_cmple_pd(a, _mm_set1_pd(b)); }
  static V select(M m, V a, V b) { return _mm_or_pd(_mm_and_pd(m, a), _mm_andnot_pd(m, b)); }
  // a where the mask is set, +0 elsewhere: one instruction, where select takes three.
  static V masked(M m, V a) { return _mm_and_pd(m, a); }
  static bool any(M m) { return _mm_movemask_pd(m) != 0; }
  static M all() { return _mm_castsi128_pd(_mm_set1_epi64x(-1)); }
  static void count(Count& c, M m) { c += _mm_and_pd(m, _mm_set1_pd(1.0)); }
  static M below(Count c, int limit) { return _mm_cmplt_pd(c, _mm_set1_pd(limit)); }
  static int countAt(Count c, int l) { return static_cast<int>(c[l]); }
  static M both(M a, M b) { return _mm_and_pd(a, b); }
  static M either(M a, M b) { return _mm_or_pd(a, b); }
};
#endif

} // namespace tube_lanes

inline double TubeStage::process(double x) {
  TubeStage* stages[1] = {this};
  const double inputs[1] = {x};
  solve<1>(stages, inputs);
  return outputVoltage;
}

inline void TubeStage::processPair(TubeStage& a, double xa, TubeStage& b, double xb) {
#if defined(OMBRINE_TUBE_PAIR_LANES)
  TubeStage* stages[2] = {&a, &b};
  const double inputs[2] = {xa, xb};
  solve<2>(stages, inputs);
#else
  a.process(xa);
  b.process(xb);
#endif
}

template <int N>
inline void TubeStage::DualTable::evaluateLanes(const DualTable* const (&tables)[N],
                                                typename tube_lanes::Lanes<N>::V biased,
                                                typename tube_lanes::Lanes<N>::V& value1,
                                                typename tube_lanes::Lanes<N>::V& value2,
                                                Recent (&recent)[2]) {
  if constexpr (N == 1) {
    const tube_lanes::Pair both = tables[0]->evaluateNear(biased, recent[0]);
    value1 = both[0];
    value2 = both[1];
  } else {
    const tube_lanes::Pair a = tables[0]->evaluateNear(biased[0], recent[0]);
    const tube_lanes::Pair b = tables[1]->evaluateNear(biased[1], recent[1]);
    value1 = tube_lanes::Pair{a[0], b[0]};
    value2 = tube_lanes::Pair{a[1], b[1]};
  }
}

// Newton's method on the four node equations (currents leaving each node):
//   F1 lower cathode: m (t - tn) - hb + gk t - I1
//   F2 lower plate:   ga (v - u) - I1
//   F3 upper cathode: l ((v - vn) - (r - rn)) - hc + ga (v - u) - I2
//   F4 output:        l ((v - vn) - (r - rn)) - hc - gL r
// with I1 = I(w1), w1 = u/mu + x - t, I2 = I(w2), w2 = supply/mu + u - v, S = -dI/dw. Each step
// solves J d = -F = b exactly, with the Jacobian
//   | m+gk-S1   S1/mu       0         0     |
//   | -S1       S1/mu-ga    ga        0     |
//   | 0         S2-ga       l+ga-S2   -l    |
//   | 0         0           l         -l-gL |
// eliminated in closed form down to one division:
//   - the output row gives dr = (b4 - l dv) / (-l - gL); folded into the upper-cathode row it
//     leaves (S2 - ga) du + (C - S2) dv = b3' with C = l + ga + l^2 / (-l - gL) and
//     b3' = b3 + b4 l / (-l - gL);
//   - the first row minus the second has no table terms: (m + gk) dt + ga dw2 = b1 - b2, where
//     dw2 = du - dv is the change of the upper drive;
//   - the folded row has (C - ga) du - (C - S2) dw2 = b3';
//   - the first row then leaves one equation in dw2:
//       dw2 = (b2 - S1 P) / (S1 X2 - ga),  P = mu' lambda b3' - kappa (b1 - b2),
//       X2 = mu' lambda (C - S2) + kappa ga,  mu' = 1/mu, kappa = 1/(m + gk), lambda = 1/(C - ga),
//     and dw1 = du/mu - dt = P + X2 dw2.
// X2 is read from a copy of the slope table scaled for the rate, so the divisor is ready one
// multiplication after the table reads. The time per step is the chain from the table reads
// through the division to the next step's table arguments (the drives, kept as offsets into
// the tables and moved by dw1 and dw2); the node voltages follow off that chain.
template <int N>
inline void TubeStage::loadLanes(TubeStage* const (&stage)[N],
                                 SolverState<typename tube_lanes::Lanes<N>::V>& s,
                                 SolverConstants<typename tube_lanes::Lanes<N>::V>& c) {
  using L = tube_lanes::Lanes<N>;
  const auto field = [&](double TubeStage::*member) {
    double values[N];
    for (int l = 0; l < N; ++l)
      values[l] = stage[l]->*member;
    return L::of(values);
  };
  s.t = field(&TubeStage::lowerCathodeVoltage);
  s.u = field(&TubeStage::lowerPlateVoltage);
  s.v = field(&TubeStage::upperCathodeVoltage);
  s.r = field(&TubeStage::outputVoltage);
  s.tp = field(&TubeStage::previousLowerCathodeVoltage);
  s.up = field(&TubeStage::previousLowerPlateVoltage);
  s.vp = field(&TubeStage::previousUpperCathodeVoltage);
  s.rp = field(&TubeStage::previousOutputVoltage);
  s.hb = field(&TubeStage::bypassHistoryCurrent);
  s.hc = field(&TubeStage::couplingHistoryCurrent);
  s.lastInput = field(&TubeStage::lastInput);
  s.lastInputChange = field(&TubeStage::lastInputChange);
  s.upperSensitivity = field(&TubeStage::upperDriveSensitivity);
  s.lowerSensitivity = field(&TubeStage::lowerDriveSensitivity);
  for (int l = 0; l < N; ++l) {
    s.lowerRecent[l] = stage[l]->lowerRecent;
    s.upperRecent[l] = stage[l]->upperRecent;
  }
  c.ga = field(&TubeStage::upperCathodeConductance);
  c.gk = field(&TubeStage::cathodeConductance);
  c.gL = field(&TubeStage::loadConductance);
  c.m = field(&TubeStage::bypassCompanion);
  c.l = field(&TubeStage::couplingCompanion);
  c.kappaGa = field(&TubeStage::kappaGa);
  c.outputCoupling = field(&TubeStage::outputCoupling);
  c.upperDriveBiased = field(&TubeStage::upperDriveBiased);
  c.plateGain = field(&TubeStage::reducedPlateGain);
  c.kappa = field(&TubeStage::inverseCathodeDiagonal);
  c.lambda = field(&TubeStage::reducedUpperInverse);
  c.upperDiagonal = field(&TubeStage::reducedUpperDiagonal);
  c.fromReduced = field(&TubeStage::slopeFromReduced);
  c.pivot = field(&TubeStage::outputPivotInverse);
}

template <int N>
inline void TubeStage::storeLanes(TubeStage* const (&stage)[N],
                                  const SolverState<typename tube_lanes::Lanes<N>::V>& s,
                                  typename tube_lanes::Lanes<N>::Count steps) {
  using L = tube_lanes::Lanes<N>;
  for (int k = 0; k < N; ++k) {
    TubeStage& st = *stage[k];
    st.stepCount = L::countAt(steps, k);
    st.lastInputChange = L::at(s.lastInputChange, k);
    st.lastInput = L::at(s.lastInput, k);
    st.upperDriveSensitivity = L::at(s.upperSensitivity, k);
    st.lowerDriveSensitivity = L::at(s.lowerSensitivity, k);
    st.lowerRecent = s.lowerRecent[k];
    st.upperRecent = s.upperRecent[k];
    st.bypassHistoryCurrent = L::at(s.hb, k);
    st.couplingHistoryCurrent = L::at(s.hc, k);
    st.previousLowerCathodeVoltage = L::at(s.tp, k);
    st.previousLowerPlateVoltage = L::at(s.up, k);
    st.previousUpperCathodeVoltage = L::at(s.vp, k);
    st.previousOutputVoltage = L::at(s.rp, k);
    st.lowerCathodeVoltage = L::at(s.t, k);
    st.lowerPlateVoltage = L::at(s.u, k);
    st.upperCathodeVoltage = L::at(s.v, k);
    st.outputVoltage = L::at(s.r, k);
  }
}

template <int N>
inline void TubeStage::solve(TubeStage* const (&stage)[N], const double (&input)[N]) {
  using L = tube_lanes::Lanes<N>;
  const DualTable* lower[N];
  const DualTable* upper[N];
  for (int l = 0; l < N; ++l) {
    lower[l] = &stage[l]->lowerTable;
    upper[l] = &stage[l]->upperTable;
  }
  SolverState<typename L::V> state;
  SolverConstants<typename L::V> constants;
  loadLanes<N>(stage, state, constants);
  const typename L::Count steps = advance<N>(lower, upper, constants, state, L::of(input));
  storeLanes<N>(stage, state, steps);
}

template <int N>
inline typename tube_lanes::Lanes<N>::Count
TubeStage::advance(const DualTable* const (&lower)[N], const DualTable* const (&upper)[N],
                   const SolverConstants<typename tube_lanes::Lanes<N>::V>& c,
                   SolverState<typename tube_lanes::Lanes<N>::V>& s,
                   typename tube_lanes::Lanes<N>::V x) {
  using L = tube_lanes::Lanes<N>;
  using V = typename L::V;
  using M = typename L::M;
  const auto constant = [](double value) {
    double values[N];
    for (int l = 0; l < N; ++l)
      values[l] = value;
    return L::of(values);
  };
  const V tn = s.t, un = s.u, vn = s.v, rn = s.r;
  const V tp = s.tp, up = s.up, vp = s.vp, rp = s.rp;
  const V hb = s.hb, hc = s.hc;
  const V ga = c.ga, m = c.m, l = c.l;
  const V kappaGa = c.kappaGa;
  const V outputCoupling = c.outputCoupling;

  // Starting guess: linear extrapolation from the last two samples, plus what the grid input
  // adds beyond a straight line. A node moves by about its sensitivity to the grid,
  // dy/dx = -J^-1 dF/dx, times the input's change, so the straight line misses about that
  // sensitivity times the input's second difference. The right-hand side (-S1, -S1, 0, 0) of the
  // closed-form elimination below gives every node's sensitivity from the two drives' ones,
  // q = dw2/dx and X2 q = dw1/dx, kept from the last solve:
  //   dt = -kappa ga dw2, du = mu (dw1 + dt), dv = du - dw2, dr = -l dv / (l + gL).
  // The guess error drops by two to three orders of magnitude for audio and most solves end a
  // step earlier. A second difference that is huge or not finite (garbage input) leaves the
  // plain guess: it would only throw the guess far off, or make it NaN.
  const V inputChange = x - s.lastInput;
  const V curvature = inputChange - s.lastInputChange;
  const V dx = L::select(L::atMost(L::abs(curvature), kGuessInputLimit), curvature, V{});
  const V e2 = s.upperSensitivity * dx;
  const V e1 = s.lowerSensitivity * dx;
  const V et = -kappaGa * e2;
  const V eu = kMu * (e1 + et);
  const V ev = eu - e2;
  V t = (2.0 * tn - tp) + et;
  V u = (2.0 * un - up) + eu;
  V v = (2.0 * vn - vp) + ev;
  V r = (2.0 * rn - rp) - outputCoupling * ev;

  // Both drives at the guess, w1 = u/mu + x - t and w2 = supply/mu + u - v, as biased offsets
  // into the tables (thirds of a volt), written out in the last two samples' values so that
  // the newest ones enter last.
  constexpr double k3 = DualTable::kSteps;
  const V earlier1 = (k3 * tp - (k3 * kInverseMu) * up) + (k3 * x + DualTable::kBias);
  const V earlier2 = (k3 * vp - k3 * up) + c.upperDriveBiased;
  V offset1 = ((2.0 * k3 * kInverseMu) * un + (earlier1 + k3 * e1)) - (2.0 * k3) * tn;
  V offset2 = ((2.0 * k3) * un + (earlier2 + k3 * e2)) - (2.0 * k3) * vn;

  // Linear parts of the equations at the guess (currents, amperes):
  //   plate    ga (v - u)                      (F2 without I1)
  //   cathode  m (t - tn) - hb + gk t          (F1 without I1)
  //   coupling l ((v - vn) - (r - rn)) - hc    (shared by F3 and F4)
  // A Newton step makes the linear part of every equation equal to its current as linearised
  // at the step's start: after it, plate = cathode = I1 - S1 dw1, coupling + plate =
  // I2 - S2 dw2 and coupling = gL r. So from the second step on b1 - b2 and b4 vanish and the
  // right-hand side needs only the new currents and the two predicted ones, which keeps the
  // node voltages off the chain from one step to the next.
  const V plate = ga * (v - u);
  const V cathode = m * (t - tn) - hb + c.gk * t;
  const V coupling = l * ((v - vn) - (r - rn)) - hc;
  V predicted1 = plate;             // linear part of F2
  V predicted2 = coupling + plate;  // linear part of F3
  const V b12 = plate - cathode;    // b1 - b2, first step only
  const V b4 = c.gL * r - coupling; // -F4, first step only

  const V plateGain = c.plateGain;
  const V kappa = c.kappa;
  const V lambda = c.lambda;
  const V upperDiagonal = c.upperDiagonal;
  const V fromReduced = c.fromReduced;
  const V pivot = c.pivot;
  const V three = constant(DualTable::kSteps);
  const V one = constant(1.0);

  // One Newton step on the lanes still iterating (`active`); lanes that have stopped keep their
  // values. Returns which lanes moved by more than `tolerance`. The first step carries the
  // two right-hand-side terms that later steps have at zero.
  typename L::Count steps{};
  V upperSensitivity{}, lowerSensitivity{};
  const auto step = [&](auto first, M active, double tolerance) __attribute__((always_inline)) {
    constexpr bool kFirst = decltype(first)::value;
    V i1, s1, i2, x2;
    DualTable::evaluateLanes<N>(lower, offset1, i1, s1, s.lowerRecent);
    DualTable::evaluateLanes<N>(upper, offset2, i2, x2, s.upperRecent);

    const V b2 = i1 - predicted1;
    V b3 = i2 - predicted2;
    V p = plateGain * b3;
    if constexpr (kFirst) {
      b3 += outputCoupling * b4; // output row folded in
      p = plateGain * b3 - kappa * b12;
    }
    const V divisor = s1 * x2 - ga;
    const V numerator2 = b2 - s1 * p;
    const V numerator1 = p * divisor + x2 * numerator2;
    // The offsets move by three times the drives' changes.
    const V inverse3 = three / divisor;
    const V inverse = one / divisor;
    const V dw2 = numerator2 * inverse;
    const V dw1 = numerator1 * inverse;
    // S2 = C - (X2 - kappa ga) mu / lambda.
    const V s2 = upperDiagonal - (x2 - kappaGa) * fromReduced;

    V dt = -kappa * ga * dw2;
    if constexpr (kFirst) dt = kappa * (b12 - ga * dw2);
    const V du = lambda * b3 + (x2 - kappaGa) * kMu * dw2;
    const V dv = du - dw2;
    V dr = -l * dv * pivot;
    if constexpr (kFirst) dr = (b4 - l * dv) * pivot;

    // A lane that has stopped goes on with steps that are thrown away; only its node voltages
    // must stay (adding +0 leaves them as they are).
    offset1 += numerator1 * inverse3;
    offset2 += numerator2 * inverse3;
    predicted1 = i1 - s1 * dw1;
    predicted2 = i2 - s2 * dw2;
    t += L::masked(active, dt);
    u += L::masked(active, du);
    v += L::masked(active, dv);
    r += L::masked(active, dr);
    // The sensitivity to the grid input for the next sample's guess, at the first step's
    // Jacobian: the guess is close enough to the solution for that, and every lane takes it.
    if constexpr (kFirst) {
      upperSensitivity = -s1 * inverse;
      lowerSensitivity = x2 * upperSensitivity;
    }
    L::count(steps, active);
    // The step's change against the tolerance, node by node; a NaN compares false and so counts
    // as converged. (The change is the difference between the new value and the guess up to
    // the rounding of the addition.)
    const M moving = L::either(
        L::either(L::greater(L::abs(dt), tolerance), L::greater(L::abs(du), tolerance)),
        L::either(L::greater(L::abs(dv), tolerance), L::greater(L::abs(dr), tolerance)));
    return L::both(L::both(active, moving), L::below(steps, kMaxNewtonSteps));
  };
  M active = step(std::true_type{}, L::all(), kSingleStepTolerance);
  while (L::any(active))
    active = step(std::false_type{}, active, kTolerance);

  s.hb = m * (t - tn) - hb;
  s.hc = l * ((v - vn) - (r - rn)) - hc;
  s.tp = tn;
  s.up = un;
  s.vp = vn;
  s.rp = rn;
  s.t = t;
  s.u = u;
  s.v = v;
  s.r = r;
  s.lastInputChange = inputChange;
  s.lastInput = x;
  s.upperSensitivity = upperSensitivity;
  s.lowerSensitivity = lowerSensitivity;
  return steps;
}

#if defined(OMBRINE_TUBE_PAIR_LANES)
class TubeStage::PairLanes {
public:
  [[gnu::always_inline]] PairLanes(TubeStage& a, TubeStage& b)
      : stages{&a, &b}, lower{&a.lowerTable, &b.lowerTable}, upper{&a.upperTable, &b.upperTable} {
    load();
  }

  PairLanes(const PairLanes&) = delete;
  PairLanes& operator=(const PairLanes&) = delete;

  // Takes both stages' states (again) into the lanes, after a store() that let other code run
  // them; the constants are reread too.
  [[gnu::always_inline]] void load() {
    loadLanes<2>(stages, state, constants);
    steps = tube_lanes::Pair{static_cast<double>(stages[0]->stepCount),
                             static_cast<double>(stages[1]->stepCount)};
  }

  // One grid voltage per lane in, both load voltages out.
  [[gnu::always_inline]] tube_lanes::Pair process(tube_lanes::Pair x) {
    steps = advance<2>(lower, upper, constants, state, x);
    return state.r;
  }

  // Writes the lanes back to the two stages, the last sample's step counts included.
  [[gnu::always_inline]] void store() { storeLanes<2>(stages, state, steps); }

private:
  TubeStage* const stages[2];
  const DualTable* const lower[2];
  const DualTable* const upper[2];
  SolverState<tube_lanes::Pair> state;
  SolverConstants<tube_lanes::Pair> constants;
  tube_lanes::Lanes<2>::Count steps{};
};
#endif
