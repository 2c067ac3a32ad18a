#include "dsp/tube/TubeStage.h"

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

} // namespace

void TubeStage::PackedTable::build(const CubicUnityStepInterpolator& table) {
  const int32_t n = table.knotCount();
  intervalCount = n - 1;
  intervals = std::make_unique<PackedInterval[]>(n - 1);
  for (int32_t i = 0; i + 1 < n; ++i) {
    intervals[i] = {table.knotValues()[i], table.linearCoefficients()[i],
                    table.quadraticCoefficients()[i], table.cubicCoefficients()[i]};
  }
  bias = -table.knotPositions()[0] - 0.5;
  firstValue = table.knotValues()[0];
  lastValue = table.knotValues()[n - 1];
}

void TubeStage::PackedTable::assignAffine(const PackedTable& source, double offset,
                                          double scale) {
  for (int32_t i = 0; i < intervalCount; ++i) {
    const PackedInterval& k = source.intervals[i];
    intervals[i] = {offset + scale * k.y, scale * k.b, scale * k.c, scale * k.d};
  }
  firstValue = offset + scale * source.firstValue;
  lastValue = offset + scale * source.lastValue;
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
  packedCurrent.build(*currentTable);
  packedSlope.build(*slopeTable);
  packedReducedSlope.build(*slopeTable);
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
  packedReducedSlope.assignAffine(packedSlope, reducedPlateGain * reducedUpperDiagonal + kappaGa,
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
  stepCount = 0;
}
