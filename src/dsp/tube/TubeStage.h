#pragma once

#include "dsp/tube/CubicUnityStepInterpolator.h"

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

  // The same curves as the two tables, read from the solver's packed copies.
  double currentAt(double z) const { return packedCurrent.evaluate(z); }
  double slopeAt(double w) const { return packedSlope.evaluate(w); }

private:
  // One interval of a unit-step cubic table in one place, so a read touches one cache line or
  // two instead of five arrays.
  struct PackedKnot {
    double x, y, b, c, d;
  };

  // Copy of a CubicUnityStepInterpolator's coefficients with the same lookup and Horner order,
  // so its values are bit-identical to the interpolator's.
  struct PackedTable {
    std::unique_ptr<PackedKnot[]> knots;
    double firstKnot = 0.0;
    double lastOffset = 0.0; // n - 1
    double firstValue = 0.0;
    double lastValue = 0.0;

    void build(const CubicUnityStepInterpolator& table);

    double evaluate(double argument) const {
      const double offset = argument - firstKnot;
      if (!(offset >= 0.0)) [[unlikely]]
        return firstValue;
      if (offset >= lastOffset) [[unlikely]]
        return lastValue;
      const PackedKnot& k = knots[static_cast<int32_t>(offset)];
      const double t = argument - k.x;
      return CubicBaseInterpolator::evaluateCubic(t, k.y, k.b, k.c, k.d);
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
inline double TubeStage::process(double x) {
  const double tn = lowerCathodeVoltage;
  const double un = lowerPlateVoltage;
  const double vn = upperCathodeVoltage;
  const double rn = outputVoltage;
  const double hb = bypassHistoryCurrent;
  const double hc = couplingHistoryCurrent;
  const double m = bypassCompanion;
  const double l = couplingCompanion;
  const double gk = cathodeConductance;
  const double ga = upperCathodeConductance;
  const double gL = loadConductance;
  const double mgk = lowerCathodeDiagonal;
  const double k44 = outputPivotInverse;
  const double e = outputCoupling;
  const double c33 = reducedUpperDiagonal;
  const double upperOffset = upperDriveOffset;

  // Starting guess: linear extrapolation from the last two samples.
  double t = 2.0 * tn - previousLowerCathodeVoltage;
  double u = 2.0 * un - previousLowerPlateVoltage;
  double v = 2.0 * vn - previousUpperCathodeVoltage;
  double r = 2.0 * rn - previousOutputVoltage;

  int steps = 0;
  for (;;) {
    const double w1 = u * kInverseMu + x - t;
    const double w2 = upperOffset + u - v;
    const double i1 = packedCurrent.evaluate(kKnee * w1);
    const double i2 = packedCurrent.evaluate(kKnee * w2);
    const double s1 = packedSlope.evaluate(w1);
    const double s2 = packedSlope.evaluate(w2);

    // Right-hand side, -F.
    const double coupling = l * ((v - vn) - (r - rn)) - hc;
    const double b1 = -(m * (t - tn) - hb + gk * t - i1);
    const double b2 = -(ga * (v - u) - i1);
    const double b3 = -(coupling + ga * (v - u) - i2);
    const double b4 = -(coupling - gL * r);

    const double a11 = mgk - s1;
    const double a12 = s1 * kInverseMu;
    const double a22 = a12 - ga;
    const double a32 = s2 - ga;
    const double a33 = c33 - s2; // upper-cathode diagonal with the output row folded in
    const double b3r = b3 + e * b4;

    const double gaA11 = ga * a11;
    const double p = a12 * mgk - gaA11; // a11 a22 - a12 a21
    const double det = p * a33 - gaA11 * a32;
    const double q = b2 * a33 - ga * b3r;
    const double numT = b1 * (a22 * a33 - ga * a32) - a12 * q;
    const double numU = a11 * q + s1 * b1 * a33;
    const double numV = a11 * (a22 * b3r - a32 * b2) + s1 * (a12 * b3r - a32 * b1);
    const double inverse = 1.0 / det;
    const double dt = numT * inverse;
    const double du = numU * inverse;
    const double dv = numV * inverse;
    const double dr = (b4 - l * dv) * k44;

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

  bypassHistoryCurrent = m * (t - tn) - hb;
  couplingHistoryCurrent = l * ((v - vn) - (r - rn)) - hc;
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
