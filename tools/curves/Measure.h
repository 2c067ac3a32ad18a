// Steady-sine measurements of a module loaded by path, as one would make them with a generator
// and a meter: the magnitude response of a setting, and the harmonics of a tone against its level.
#pragma once

#include "curves/Settings.h"

#include <array>
#include <string>
#include <vector>

namespace curves {

// 20 Hz to 20 kHz in steps of 1/80 decade, the base-ten form of the 1/24 octave (10^(1/80) is
// within 0.01 % of 2^(1/24)), so that the decades fall on points: 241 frequencies.
std::vector<double> responseFrequencies();

struct MeasureOptions {
  double sampleRate = 48000.0;
  double levelDb = -30.0;  // of the response sine, dBFS: well inside the tube's small-signal range
  int threads = 2;         // instances running at once
  bool showTraces = false; // the module's own output to standard error instead of nowhere
};

// Gain in dB of the left output over the left input at each frequency, one row per setting.
std::vector<std::vector<double>> measureResponses(const std::string& modulePath,
                                                  const std::vector<Setting>& settings,
                                                  const std::vector<double>& frequencies,
                                                  const MeasureOptions& options);

// Harmonics 2 to 5 of a sine, in dB relative to the fundamental at the output.
struct HarmonicsRow {
  double levelDb = 0.0; // input level, dBFS
  std::array<double, 4> harmonicsDb{};
};

// -40 to 0 dBFS in 2 dB steps.
std::vector<double> harmonicLevels();

// Relative levels below this are reported as it: the tube switched out leaves only rounding.
inline constexpr double kHarmonicFloorDb = -200.0;

std::vector<HarmonicsRow> measureHarmonics(const std::string& modulePath, const Setting& setting,
                                           const std::vector<double>& levelsDb, double frequency,
                                           const MeasureOptions& options);

} // namespace curves
