#include "dsp/tube/TubeStage.h"

#include <algorithm>

namespace {

constexpr int32_t kCurrentKnots = 128; // z = -64 .. 63
constexpr double kCurrentFirstKnot = -64.0;
constexpr int32_t kSlopeKnots = 256; // w = -128 .. 127
constexpr double kSlopeFirstKnot = -128.0;

// I(z / 1.5) = G (ln(e^z + 1) / 1.5)^1.456 at z = -64..63.
std::unique_ptr<CubicUnityStepInterpolator> buildCurrentTable() {
  std::unique_ptr<double[]> x(new double[kCurrentKnots]);
  std::unique_ptr<double[]> y(new double[kCurrentKnots]);
  for (int32_t i = 0; i < kCurrentKnots; ++i) {
    const double z = kCurrentFirstKnot + i;
    x[i] = z;
    y[i] = std::pow(std::log(std::exp(z) + 1.0) / TubeStage::kKnee, TubeStage::kGamma) *
           TubeStage::kCurrentScale;
  }
  // The interpolator owns the arrays from here on, also if its constructor throws.
  double* xs = x.release();
  double* ys = y.release();
  return std::make_unique<CubicUnityStepInterpolator>(xs, ys, kCurrentKnots);
}

// S(w) = -c e^(1.5w) ln(e^(1.5w) + 1)^(gamma-1) / (e^(1.5w) + 1) at w = -128..127, with
// c = 1.5^-(gamma-1) * gamma * G.
std::unique_ptr<CubicUnityStepInterpolator> buildSlopeTable() {
  std::unique_ptr<double[]> x(new double[kSlopeKnots]);
  std::unique_ptr<double[]> y(new double[kSlopeKnots]);
  const double c = std::pow(TubeStage::kKnee, -TubeStage::kGammaMinusOne) * TubeStage::kGamma *
                   TubeStage::kCurrentScale;
  for (int32_t i = 0; i < kSlopeKnots; ++i) {
    const double w = kSlopeFirstKnot + i;
    const double e = std::exp(TubeStage::kKnee * w);
    x[i] = w;
    y[i] = -(c * e * std::pow(std::log(e + 1.0), TubeStage::kGammaMinusOne) / (e + 1.0));
  }
  double* xs = x.release();
  double* ys = y.release();
  return std::make_unique<CubicUnityStepInterpolator>(xs, ys, kSlopeKnots);
}

// Coefficients of y + b t + c t^2 + d t^3 re-expanded in u, with t = t0 + alpha u.
void reexpand(const CubicUnityStepInterpolator& table, int32_t k, double t0, double alpha,
              double& y, double& b, double& c, double& d) {
  const double y0 = table.knotValues()[k];
  const double b0 = table.linearCoefficients()[k];
  const double c0 = table.quadraticCoefficients()[k];
  const double d0 = table.cubicCoefficients()[k];
  y = ((d0 * t0 + c0) * t0 + b0) * t0 + y0;
  b = alpha * ((3.0 * d0 * t0 + 2.0 * c0) * t0 + b0);
  c = alpha * alpha * (3.0 * d0 * t0 + c0);
  d = alpha * alpha * alpha * d0;
}

// A curve held at one value over an interval.
void constant(double value, double& y, double& b, double& c, double& d) {
  y = value;
  b = c = d = 0.0;
}

} // namespace

// Interval j covers w = -128 + j/3 .. -128 + (j+1)/3. In the slope table (knots every volt
// from -128) it is third j mod 3 of knot interval j / 3; in the current table (knots every
// 2/3 V of drive, z = 1.5 w from -64) it is half (j - 256) mod 2 of knot interval
// (j - 256) / 2, held at the end values outside the knots.
void TubeStage::DualTable::build(const CubicUnityStepInterpolator& current,
                                 const CubicUnityStepInterpolator& slope) {
  static_assert(kFirstDrive == kSlopeFirstKnot);
  const int32_t slopeKnots = slope.knotCount();
  const int32_t currentKnots = current.knotCount();
  intervalCount = 3 * (slopeKnots - 1);
  intervals = std::make_unique<DualInterval[]>(intervalCount);
  for (int32_t j = 0; j < intervalCount; ++j) {
    double y1, b1, c1, d1, y2, b2, c2, d2;
    // Half-knots of the current table from its first knot: z = 1.5 (-128 + j/3) = -192 + j/2.
    const int32_t h = j - 2 * static_cast<int32_t>(kCurrentFirstKnot - kKnee * kSlopeFirstKnot);
    if (h < 0) {
      constant(current.knotValues()[0], y1, b1, c1, d1);
    } else if (h / 2 >= currentKnots - 1) {
      constant(current.knotValues()[currentKnots - 1], y1, b1, c1, d1);
    } else {
      reexpand(current, h / 2, 0.5 * (h % 2) + 0.25, 0.5, y1, b1, c1, d1);
    }
    reexpand(slope, j / 3, (j % 3) / 3.0 + 1.0 / 6.0, 1.0 / 3.0, y2, b2, c2, d2);
    DualInterval& k = intervals[j];
    k.y = tube_lanes::Pair{y1, y2};
    k.b = tube_lanes::Pair{b1, b2};
    k.c = tube_lanes::Pair{c1, c2};
    k.d = tube_lanes::Pair{d1, d2};
  }
  first1 = current.knotValues()[0];
  last1 = current.knotValues()[currentKnots - 1];
  first2 = slope.knotValues()[0];
  last2 = slope.knotValues()[slopeKnots - 1];
}

void TubeStage::DualTable::assignAffine(const DualTable& source, double offset, double scale) {
  for (int32_t j = 0; j < intervalCount; ++j) {
    const DualInterval& k = source.intervals[j];
    DualInterval& out = intervals[j];
    out.y = tube_lanes::Pair{k.y[0], offset + scale * k.y[1]};
    out.b = tube_lanes::Pair{k.b[0], scale * k.b[1]};
    out.c = tube_lanes::Pair{k.c[0], scale * k.c[1]};
    out.d = tube_lanes::Pair{k.d[0], scale * k.d[1]};
  }
  first1 = source.first1;
  last1 = source.last1;
  first2 = offset + scale * source.first2;
  last2 = offset + scale * source.last2;
}

double TubeStage::currentAtDrive(double w) const {
  return lowerTable.evaluate(DualTable::offsetOf(w))[0];
}

double TubeStage::slopeAtDrive(double w) const {
  return lowerTable.evaluate(DualTable::offsetOf(w))[1];
}

TubeStage::TubeStage(double supplyVoltage, double cathodeResistance, double upperCathodeResistance,
                     double loadResistance, double bypassCapacitance, double couplingCapacitance,
                     double sampleRate)
    : sampleRate(sampleRate), supplyVoltage(supplyVoltage), cathodeResistance(cathodeResistance),
      cathodeConductance(1.0 / cathodeResistance), upperCathodeResistance(upperCathodeResistance),
      upperCathodeConductance(1.0 / upperCathodeResistance), loadResistance(loadResistance),
      loadConductance(1.0 / loadResistance), bypassCapacitance(bypassCapacitance),
      couplingCapacitance(couplingCapacitance), currentTable(buildCurrentTable()),
      slopeTable(buildSlopeTable()) {
  lowerTable.build(*currentTable, *slopeTable);
  upperTable.build(*currentTable, *slopeTable);
  updateRateConstants();
}

TubeStage::~TubeStage() = default;

void TubeStage::setSampleRate(double rate) {
  sampleRate = rate;
  updateRateConstants();
}

void TubeStage::updateRateConstants() {
  bypassCompanion = 2.0 * bypassCapacitance * sampleRate;
  couplingCompanion = 2.0 * couplingCapacitance * sampleRate;
  upperDriveOffset = supplyVoltage * kInverseMu;
  upperDriveBiased = DualTable::kSteps * upperDriveOffset + DualTable::kBias;
  lowerCathodeDiagonal = bypassCompanion + cathodeConductance;
  const double l = couplingCompanion;
  outputPivotInverse = 1.0 / (-l - loadConductance);
  outputCoupling = l * outputPivotInverse;
  // l + ga - S2 - (-l) * l / (-l - gL), without the S2 term.
  reducedUpperDiagonal = l + upperCathodeConductance + l * outputCoupling;
  const double ga = upperCathodeConductance;
  inverseCathodeDiagonal = 1.0 / lowerCathodeDiagonal;
  reducedUpperInverse = 1.0 / (reducedUpperDiagonal - ga);
  reducedPlateGain = reducedUpperInverse * kInverseMu;
  kappaGa = inverseCathodeDiagonal * ga;
  slopeFromReduced = 1.0 / reducedPlateGain;
  upperTable.assignAffine(lowerTable, reducedPlateGain * reducedUpperDiagonal + kappaGa,
                          -reducedPlateGain);
}

void TubeStage::resetToQuiescent() {
  lowerCathodeVoltage = kQuiescentLowerCathode;
  lowerPlateVoltage = kQuiescentLowerPlate;
  upperCathodeVoltage = kQuiescentUpperCathode;
  outputVoltage = kQuiescentOutput;
  previousLowerCathodeVoltage = kQuiescentLowerCathode;
  previousLowerPlateVoltage = kQuiescentLowerPlate;
  previousUpperCathodeVoltage = kQuiescentUpperCathode;
  previousOutputVoltage = kQuiescentOutput;
  bypassHistoryCurrent = 0.0;
  couplingHistoryCurrent = 0.0;
  lastInput = lastInputChange = 0.0;
  upperDriveSensitivity = lowerDriveSensitivity = 0.0;
  stepCount = 0;
}
