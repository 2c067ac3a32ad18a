#pragma once

#include "dsp/tube/CubicUnityStepInterpolator.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>

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
  static constexpr double kScaledInverseMu = kKnee * kInverseMu;

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

  // The same curves as the two tables, read the way the solver reads them (equal to the
  // interpolators up to rounding).
  double currentAt(double z) const { return packedCurrent.evaluateBiased(z + packedCurrent.bias); }
  double slopeAt(double w) const { return packedSlope.evaluateBiased(w + packedSlope.bias); }

private:
  // One interval of a unit-step cubic table: y + b t + c t^2 + d t^3 for t in [0, 1].
  struct alignas(32) PackedInterval {
    double y, b, c, d;
  };

  // The solver's copy of a CubicUnityStepInterpolator: the same knots, held flat at the end
  // values outside them, with the interval found from an argument kept as its offset from the
  // first knot minus one half. Rounding that offset to the nearest integer with the
  // 1.5 * 2^52 trick gives the interval and its position in two additions, and the powers of t
  // are ready before the coefficients arrive, which takes about ten cycles off each read
  // compared with a conversion to an integer and a Horner evaluation.
  struct PackedTable {
    std::unique_ptr<PackedInterval[]> intervals;
    double bias = 0.0;          // biased offset = argument + bias = argument - x[0] - 0.5
    double highestBiased = 0.0; // n - 1.5: from here on the last value
    double firstValue = 0.0;
    double lastValue = 0.0;

    void build(const CubicUnityStepInterpolator& table);

    double evaluateBiased(double biased) const {
      if (!(biased >= -0.5)) [[unlikely]] // below the first knot, or NaN
        return firstValue;
      if (!(biased < highestBiased)) [[unlikely]]
        return lastValue;
      constexpr double kRound = 6755399441055744.0; // 1.5 * 2^52
      const double rounded = biased + kRound;
      // In range, the low 32 bits of `rounded` hold the nearest integer to `biased`: the
      // interval i with x[0] + i <= argument <= x[0] + i + 1.
      const uint32_t i = static_cast<uint32_t>(std::bit_cast<uint64_t>(rounded));
      const double t = (biased - (rounded - kRound)) + 0.5; // exact, in [0, 1]
      const double t2 = t * t;
      const double t3 = t2 * t;
      const PackedInterval& k = intervals[i];
      return (k.y + k.b * t) + (k.c * t2 + k.d * t3);
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
  double bypassCompanion = 0.0;      // m = 2 C_bypass fs, siemens
  double couplingCompanion = 0.0;    // l = 2 C_coupling fs, siemens
  double upperDriveOffset = 0.0;     // supply / mu, volts
  double lowerCathodeDiagonal = 0.0; // m + gk
  double outputPivotInverse = 0.0;   // 1 / (-l - gL)
  double outputCoupling = 0.0;       // l / (-l - gL)
  double reducedUpperDiagonal = 0.0; // l + ga + l^2 / (-l - gL)
  // Determinant of the reduced system as a polynomial in the two slopes:
  // det = detConstant + detLinear S1 + detBilinear S1 S2.
  double detConstant = 0.0;
  double detLinear = 0.0;
  double detBilinear = 0.0;
  double upperPlateTerm = 0.0; // ga (c33 - ga)

  PackedTable packedCurrent;
  PackedTable packedSlope;

  int stepCount = 0;
};

// Newton's method on the four node equations (currents leaving each node):
//   F1 lower cathode: m (t - tn) - hb + gk t - I1
//   F2 lower plate:   ga (v - u) - I1
//   F3 upper cathode: l ((v - vn) - (r - rn)) - hc + ga (v - u) - I2
//   F4 output:        l ((v - vn) - (r - rn)) - hc - gL r
// with I1 = I(u/mu + x - t), I2 = I(supply/mu + u - v) and S = -dI/dw. The Jacobian
//   | m+gk-S1   S1/mu       0         0     |
//   | -S1       S1/mu-ga    ga        0     |
//   | 0         S2-ga       l+ga-S2   -l    |
//   | 0         0           l         -l-gL |
// is eliminated in closed form: the output row is folded into the upper-cathode row with a
// per-rate factor, and the remaining 3x3 system is solved by Cramer's rule with one division.
//
// The time per step is the chain from one step's table reads to the next step's: tables,
// determinant, division, drive update. The determinant is a precomputed polynomial in the two
// slopes, and the four table arguments (both drives, as offsets into both tables) follow the
// Newton updates directly instead of being recomputed from the node voltages.
inline double TubeStage::process(double x) {
  const double tn = lowerCathodeVoltage;
  const double un = lowerPlateVoltage;
  const double vn = upperCathodeVoltage;
  const double rn = outputVoltage;
  const double hb = bypassHistoryCurrent;
  const double hc = couplingHistoryCurrent;

  // Starting guess: linear extrapolation from the last two samples.
  double t = 2.0 * tn - previousLowerCathodeVoltage;
  double u = 2.0 * un - previousLowerPlateVoltage;
  double v = 2.0 * vn - previousUpperCathodeVoltage;
  double r = 2.0 * rn - previousOutputVoltage;

  // Drives w1 = u/mu + x - t and w2 = supply/mu + u - v as biased offsets into both tables
  // (the current table is read at 1.5 w).
  const double w1 = u * kInverseMu + x - t;
  const double w2 = upperDriveOffset + u - v;
  double slope1 = w1 + packedSlope.bias;
  double slope2 = w2 + packedSlope.bias;
  // The current table's offset follows from the slope table's: 1.5 (o + 127.5) - 63.5.
  const double currentFromSlope = packedCurrent.bias - kKnee * packedSlope.bias;

  // The linear parts of the four equations are affine in the node voltages:
  //   m (t - tn) - hb + gk t = (m + gk) t - (m tn + hb)
  //   l ((v - vn) - (r - rn)) - hc = l (v - r) - (l (vn - rn) + hc)
  const double bypassConstant = bypassCompanion * tn + hb;
  const double couplingConstant = couplingCompanion * (vn - rn) + hc;

  int steps = 0;
  for (;;) {
    const double i1 = packedCurrent.evaluateBiased(kKnee * slope1 + currentFromSlope);
    const double i2 = packedCurrent.evaluateBiased(kKnee * slope2 + currentFromSlope);
    const double s1 = packedSlope.evaluateBiased(slope1);
    const double s2 = packedSlope.evaluateBiased(slope2);

    // Right-hand side -F; the parts without table values are ready before the tables are.
    const double coupling = couplingCompanion * (v - r) - couplingConstant;
    const double plate = upperCathodeConductance * (v - u);
    const double b1 = i1 - (lowerCathodeDiagonal * t - bypassConstant);
    const double b2 = i1 - plate;
    const double b4 = loadConductance * r - coupling;
    // Upper-cathode row with the output row folded in.
    const double b3 = (i2 - (coupling + plate)) + outputCoupling * b4;

    const double ga = upperCathodeConductance;
    const double a11 = lowerCathodeDiagonal - s1;
    const double a12 = s1 * kInverseMu;
    const double a32 = s2 - ga;
    const double a33 = reducedUpperDiagonal - s2;

    const double det = (detConstant + detLinear * s1) + detBilinear * (s1 * s2);
    const double q = b2 * a33 - ga * b3;
    const double numT = b1 * (a12 * a33 - upperPlateTerm) - a12 * q;
    const double numU = a11 * q + s1 * b1 * a33;
    const double numV = a11 * ((a12 - ga) * b3 - a32 * b2) + s1 * (a12 * b3 - a32 * b1);
    const double numW1 = numU * kInverseMu - numT; // (du/mu - dt) det
    const double numW2 = numU - numV;              // (du - dv) det
    const double inverse = 1.0 / det;

    slope1 += numW1 * inverse;
    slope2 += numW2 * inverse;

    const double dt = numT * inverse;
    const double du = numU * inverse;
    const double dv = numV * inverse;
    const double dr = (b4 - couplingCompanion * dv) * outputPivotInverse;
    const double nt = t + dt;
    const double nu = u + du;
    const double nv = v + dv;
    const double nr = r + dr;
    ++steps;
    // A NaN difference compares false and so counts as converged.
    const bool moving = (std::fabs(nt - t) > kTolerance) | (std::fabs(nu - u) > kTolerance) |
                        (std::fabs(nv - v) > kTolerance) | (std::fabs(nr - r) > kTolerance);
    t = nt;
    u = nu;
    v = nv;
    r = nr;
    if (!moving || steps >= kMaxNewtonSteps) break;
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
