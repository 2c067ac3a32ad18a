#pragma once

#include "dsp/tube/CubicUnityStepInterpolator.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>
#include <type_traits>

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
  double process(double x);

  // Returns the stage to its zero-input operating point: node voltages, their previous values
  // and both capacitor history currents as after construction. Used to recover after
  // non-finite input, which otherwise leaves the nodes far from any physical state for good.
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
  // single cubics. Each interval holds both, re-expanded in the local variable
  // tau = 3 (w - w_j) in [0, 1]: one lookup per drive gives the current and the slope, from one
  // cache line.
  struct alignas(64) DualInterval {
    double y1, b1, c1, d1; // current
    double y2, b2, c2, d2; // slope, or an affine function of it
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

    // Rounding `biased` with the 1.5 * 2^52 trick gives the interval and the local variable in
    // a few additions, and the powers of tau are ready before the coefficients arrive.
    void evaluate(double biased, double& value1, double& value2) const {
      constexpr double kRound = 6755399441055744.0; // 1.5 * 2^52
      constexpr uint64_t kRoundBits = 0x4338000000000000ull;
      const double rounded = biased + kRound;
      // For -0.5 <= biased < 2^51 the low bits of `rounded` hold the nearest integer to
      // `biased`. Every other argument, NaN and infinities included, leaves the difference of
      // the bit patterns outside 0 .. n - 1, and the end values are held there.
      const uint64_t i = std::bit_cast<uint64_t>(rounded) - kRoundBits;
      if (i >= static_cast<uint64_t>(intervalCount)) [[unlikely]] {
        const bool above = biased >= 0.0; // NaN: below
        value1 = above ? last1 : first1;
        value2 = above ? last2 : first2;
        return;
      }
      const double tau = (biased - (rounded - kRound)) + 0.5; // exact, in [0, 1]
      const double tau2 = tau * tau;
      const double tau3 = tau2 * tau;
      const DualInterval& k = intervals[i];
      value1 = (k.y1 + k.b1 * tau) + (k.c1 * tau2 + k.d1 * tau3);
      value2 = (k.y2 + k.b2 * tau) + (k.c2 * tau2 + k.d2 * tau3);
    }
  };

  void updateRateConstants();

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
inline double TubeStage::process(double x) {
  const double tn = lowerCathodeVoltage;
  const double un = lowerPlateVoltage;
  const double vn = upperCathodeVoltage;
  const double rn = outputVoltage;
  const double hb = bypassHistoryCurrent;
  const double hc = couplingHistoryCurrent;
  const double ga = upperCathodeConductance;

  // Starting guess: linear extrapolation from the last two samples.
  double t = 2.0 * tn - previousLowerCathodeVoltage;
  double u = 2.0 * un - previousLowerPlateVoltage;
  double v = 2.0 * vn - previousUpperCathodeVoltage;
  double r = 2.0 * rn - previousOutputVoltage;

  // Both drives at the guess, w1 = u/mu + x - t and w2 = supply/mu + u - v, as biased offsets
  // into the tables (thirds of a volt), written out in the last two samples' values so that
  // the newest ones enter last.
  constexpr double k3 = DualTable::kSteps;
  const double earlier1 =
      (k3 * previousLowerCathodeVoltage - (k3 * kInverseMu) * previousLowerPlateVoltage) +
      (k3 * x + DualTable::kBias);
  const double earlier2 =
      (k3 * previousUpperCathodeVoltage - k3 * previousLowerPlateVoltage) + upperDriveBiased;
  double offset1 = ((2.0 * k3 * kInverseMu) * un + earlier1) - (2.0 * k3) * tn;
  double offset2 = ((2.0 * k3) * un + earlier2) - (2.0 * k3) * vn;

  // Linear parts of the equations at the guess (currents, amperes):
  //   plate    ga (v - u)                      (F2 without I1)
  //   cathode  m (t - tn) - hb + gk t          (F1 without I1)
  //   coupling l ((v - vn) - (r - rn)) - hc    (shared by F3 and F4)
  // A Newton step makes the linear part of every equation equal to its current as linearised
  // at the step's start: after it, plate = cathode = I1 - S1 dw1, coupling + plate =
  // I2 - S2 dw2 and coupling = gL r. So from the second step on b1 - b2 and b4 vanish and the
  // right-hand side needs only the new currents and the two predicted ones, which keeps the
  // node voltages off the chain from one step to the next.
  const double plate = ga * (v - u);
  const double cathode = bypassCompanion * (t - tn) - hb + cathodeConductance * t;
  const double coupling = couplingCompanion * ((v - vn) - (r - rn)) - hc;
  double predicted1 = plate;                        // linear part of F2
  double predicted2 = coupling + plate;             // linear part of F3
  const double b12 = plate - cathode;               // b1 - b2, first step only
  const double b4 = loadConductance * r - coupling; // -F4, first step only

  int steps = 0;
  // One Newton step; returns whether any node moved by more than the tolerance. The first
  // step carries the two right-hand-side terms that later steps have at zero.
  const auto step = [&](auto first) {
    constexpr bool kFirst = decltype(first)::value;
    double i1, s1, i2, x2;
    lowerTable.evaluate(offset1, i1, s1);
    upperTable.evaluate(offset2, i2, x2);

    const double b2 = i1 - predicted1;
    double b3 = i2 - predicted2;
    double p = reducedPlateGain * b3;
    if constexpr (kFirst) {
      b3 += outputCoupling * b4; // output row folded in
      p = reducedPlateGain * b3 - inverseCathodeDiagonal * b12;
    }
    const double divisor = s1 * x2 - ga;
    const double numerator2 = b2 - s1 * p;
    const double numerator1 = p * divisor + x2 * numerator2;
    // The offsets move by three times the drives' changes.
    const double inverse3 = DualTable::kSteps / divisor;
    offset1 += numerator1 * inverse3;
    offset2 += numerator2 * inverse3;
    const double inverse = 1.0 / divisor;
    const double dw2 = numerator2 * inverse;
    const double dw1 = numerator1 * inverse;

    // S2 = C - (X2 - kappa ga) mu / lambda.
    const double s2 = reducedUpperDiagonal - (x2 - kappaGa) * slopeFromReduced;
    predicted1 = i1 - s1 * dw1;
    predicted2 = i2 - s2 * dw2;

    double dt = -inverseCathodeDiagonal * ga * dw2;
    if constexpr (kFirst) dt = inverseCathodeDiagonal * (b12 - ga * dw2);
    const double du = reducedUpperInverse * b3 + (x2 - kappaGa) * kMu * dw2;
    const double dv = du - dw2;
    double dr = -couplingCompanion * dv * outputPivotInverse;
    if constexpr (kFirst) dr = (b4 - couplingCompanion * dv) * outputPivotInverse;
    t += dt;
    u += du;
    v += dv;
    r += dr;
    ++steps;
    // The step's change against the tolerance, node by node; a NaN compares false and so counts
    // as converged. (The change is the difference between the new value and the guess up to
    // the rounding of the addition.)
    const bool moving = (std::fabs(dt) > kTolerance) | (std::fabs(du) > kTolerance) |
                        (std::fabs(dv) > kTolerance) | (std::fabs(dr) > kTolerance);
    return moving;
  };
  if (step(std::true_type{})) {
    while (step(std::false_type{}) && steps < kMaxNewtonSteps) {
    }
  }
  stepCount = steps;

  bypassHistoryCurrent = bypassCompanion * (t - tn) - hb;
  couplingHistoryCurrent = couplingCompanion * ((v - vn) - (r - rn)) - hc;
  previousLowerCathodeVoltage = tn;
  previousLowerPlateVoltage = un;
  previousUpperCathodeVoltage = vn;
  previousOutputVoltage = rn;
  lowerCathodeVoltage = t;
  lowerPlateVoltage = u;
  upperCathodeVoltage = v;
  outputVoltage = r;
  return r;
}
