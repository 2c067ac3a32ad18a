// Helpers for the curve tool's tests: running the built executable in a scratch directory,
// reading its CSV, and the response the chain is designed to have, computed from the equalizer's
// digital filter, the oversampler's half-band stages and the chain's fixed gains.
#pragma once

#include "ToolTestSupport.h"
#include "core/Parameters.h"
#include "curves/Settings.h"
#include "dsp/eq/ORVELFilterSmoothed.h"
#include "dsp/tube/HalfBandStage.h"
#include "dsp/tube/ORVEL.h"
#include "dsp/tube/TubeStage.h"
#include "render/HostSession.h"

#include <complex>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <numbers>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace curvestest {

using tooltest::readText;
using tooltest::RunResult;

class ScratchDir : public tooltest::ScratchDir {
public:
  ScratchDir() : tooltest::ScratchDir("ombrine-curves-test") {}
};

// Runs the built ombrine-curves.
inline RunResult runCurves(const std::vector<std::string>& args) {
  return tooltest::runProgram(OMBRINE_CURVES_PATH, args);
}

// A CSV of numbers: its header line and its rows.
struct Table {
  std::string header;
  std::vector<std::vector<double>> rows;
};

inline Table readCsv(const std::string& path) {
  Table t;
  std::istringstream in(readText(path));
  std::getline(in, t.header);
  for (std::string line; std::getline(in, line);) {
    std::vector<double> row;
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, ',');)
      row.push_back(std::strtod(cell.c_str(), nullptr));
    t.rows.push_back(row);
  }
  return t;
}

// A setting's normalised values, as the tool turns its text into them.
inline std::vector<float> settingValues(const std::string& text) {
  render::HostSession session(OMBRINE_MODULE_PATH);
  const auto table = render::ParameterTable::probe(session.plugin());
  return curves::parseSetting(table, text).values;
}

// H(e^jw) of a polynomial in z^-1, coefficients z^0 first.
inline std::complex<double> polynomial(const double* c, int order, double w) {
  std::complex<double> sum = 0.0;
  for (int k = 0; k <= order; ++k)
    sum += c[k] * std::polar(1.0, -w * k);
  return sum;
}

// The half-band filter (A(z^2) + z^-1 B(z^2)) / 2 at the high rate. Interpolation and decimation
// each apply it once, so the oversampler's response at a host frequency is its square.
inline double oversamplerGain(double f, double hostRate) {
  const double w = std::numbers::pi * f / hostRate; // at twice the host rate
  const std::complex<double> z2 = std::polar(1.0, -2.0 * w);
  std::complex<double> a = 1.0, b = 1.0;
  for (int i = 0; i < HalfBandStage::kSectionsPerBranch; ++i) {
    const double ca = HalfBandStage::kCoefficientsA[i], cb = HalfBandStage::kCoefficientsB[i];
    a *= (ca + z2) / (1.0 + ca * z2);
    b *= (cb + z2) / (1.0 + cb * z2);
  }
  return std::norm(0.5 * (a + std::polar(1.0, -w) * b));
}

// The designed response of the chain with the tube switched out, in dB at each frequency: the
// equalizer's digital filter at twice the host rate with the setting's controls, the
// oversampler, the levels and the make-up gain that stands in for the switched-out tube.
inline std::vector<double> designedResponseDb(const std::vector<float>& v,
                                              const std::vector<double>& frequencies,
                                              double hostRate) {
  ORVELFilterSmoothed filter(2.0 * hostRate);
  const auto c = [&](int index) { return static_cast<double>(v[static_cast<std::size_t>(index)]); };
  filter.setTargets(c(kHiBoost), c(kHiCut), c(kHiBoostFreq), c(kHiCutFreq), c(kHiFreqQ),
                    c(kLoBoost), c(kLoCut), c(kLoFreq));
  filter.tick(0.0); // targets before the first sample take effect at once
  const FilterCoefficients& k = filter.coeffs();
  const bool equalizer = c(kEqualizer) >= 0.5;
  const double fixed = parameters::levelGain(kInputLevel, c(kInputLevel)) *
                       parameters::levelGain(kOutputLevel, c(kOutputLevel)) *
                       (equalizer ? ORVEL::kEqualizerMakeUpGain : 1.0);
  std::vector<double> db;
  for (double f : frequencies) {
    const double w = std::numbers::pi * f / hostRate;
    const double eq =
        equalizer
            ? std::abs(polynomial(k.digitalNum, k.order, w) / polynomial(k.digitalDen, k.order, w))
            : 1.0;
    db.push_back(20.0 * std::log10(eq * fixed * oversamplerGain(f, hostRate)));
  }
  return db;
}

// Gain of the tube stage alone for a small sine at f, run at the chain's rate (twice the host's):
// a second to let its capacitors charge, then a Hann-windowed correlation over whole periods.
inline double tubeGain(double f, double hostRate, double amplitude = 1e-3) {
  const double rate = 2.0 * hostRate;
  TubeStage tube(ORVEL::kSupplyVoltage, ORVEL::kCathodeResistance, ORVEL::kUpperCathodeResistance,
                 ORVEL::kLoadResistance, ORVEL::kBypassCapacitance, ORVEL::kCouplingCapacitance,
                 rate);
  const long settle = static_cast<long>(rate);
  const long window = std::lround(std::ceil(std::max(8.0, 0.05 * f)) * rate / f);
  std::complex<double> in = 0.0, out = 0.0;
  for (long n = 0; n < settle + window; ++n) {
    const double theta = 2.0 * std::numbers::pi * f * static_cast<double>(n) / rate;
    const double x = amplitude * std::sin(theta);
    const double y = tube.process(x);
    if (n < settle) continue;
    const double w = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * (n - settle) / window);
    in += w * x * std::polar(1.0, -theta);
    out += w * y * std::polar(1.0, -theta);
  }
  return std::abs(out) / std::abs(in);
}

} // namespace curvestest
