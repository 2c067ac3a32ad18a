// Every fact about the 13 parameters, once: names, unit labels, kinds, ranges, step texts and
// values, initial values and symbols. The plug-in formats, the editor and the tools derive their
// texts and conversions from this table.
//
// Two scales meet here. The normalised value (0..1) is what a VST host carries and what the
// processor takes. The port value is the parameter in its own units: dB for the levels, 0..1 for
// the continuous controls, kHz or Hz for the selectors (the value of the chosen step), 0 or 1 for
// the toggles (Mode: 1 = Stereo).
//
// Bad values, decided here for every format: a value outside its range is used clamped to the
// range, NaN as the lowest value and an infinity as the nearest end.
#pragma once

#include "core/ParameterIndices.h"

#include <cmath>
#include <cstdint>
#include <span>
#include <string_view>

enum class ParameterKind : std::uint8_t {
  level,      // gain in dB, linear in the normalised value
  continuous, // 0..1
  selector,   // a switched frequency: one of a few steps
  toggle,     // two steps, 0 and 1
};

enum class ParameterUnit : std::uint8_t { none, dB, kHz, Hz };

// One position of a selector or toggle: its display text and its value in port units.
struct ParameterStep {
  std::string_view text;
  double value;
};

struct ParameterInfo {
  std::string_view name;   // "Input level"
  std::string_view label;  // unit label as the VST host shows it ("db", "KHz", "")
  std::string_view symbol; // identifier for formats that name their ports ("input_level")
  ParameterKind kind;
  ParameterUnit unit;
  float initial;                        // normalised value of the "Init" program
  double minimum;                       // port value at normalised 0
  double maximum;                       // port value at normalised 1
  std::span<const ParameterStep> steps; // selectors and toggles, in step order; else empty

  constexpr bool stepped() const { return !steps.empty(); }
  constexpr int numSteps() const { return static_cast<int>(steps.size()); }
};

namespace parameters {

inline constexpr ParameterStep kHiBoostFreqSteps[] = {{"3", 3},   {"4", 4},   {"5", 5},  {"6", 6},
                                                      {"10", 10}, {"12", 12}, {"16", 16}};
inline constexpr ParameterStep kHiCutFreqSteps[] = {{"5", 5},   {"6", 6},   {"8", 8},
                                                    {"10", 10}, {"15", 15}, {"20", 20}};
inline constexpr ParameterStep kLoFreqSteps[] = {{"20", 20}, {"30", 30},   {"45", 45},
                                                 {"60", 60}, {"100", 100}, {"150", 150}};
inline constexpr ParameterStep kOffOn[] = {{"Off", 0}, {"On", 1}};
inline constexpr ParameterStep kMonoStereo[] = {{"Mono", 0}, {"Stereo", 1}};

// Level range of the input and output knobs, in dB.
inline constexpr double kLevelMinDb = -18.0;
inline constexpr double kLevelMaxDb = 18.0;

using K = ParameterKind;
using U = ParameterUnit;

// By parameter index.
inline constexpr ParameterInfo kTable[kNumParams] = {
    {"Input level", "db", "input_level", K::level, U::dB, 0.5f, kLevelMinDb, kLevelMaxDb, {}},
    {"Output level", "db", "output_level", K::level, U::dB, 0.5f, kLevelMinDb, kLevelMaxDb, {}},
    {"Hi Boost", "x", "hi_boost", K::continuous, U::none, 0.0f, 0.0, 1.0, {}},
    {"Hi Cut", "x", "hi_cut", K::continuous, U::none, 0.0f, 0.0, 1.0, {}},
    {"Hi Boost Freq.", "KHz", "hi_boost_freq", K::selector, U::kHz, 0.5f, 3, 16, kHiBoostFreqSteps},
    {"Hi Cut Freq.", "KHz", "hi_cut_freq", K::selector, U::kHz, 1.0f, 5, 20, kHiCutFreqSteps},
    {"Hi Freq. Q", "", "hi_freq_q", K::continuous, U::none, 0.5f, 0.0, 1.0, {}},
    {"Lo Boost", "x", "lo_boost", K::continuous, U::none, 0.0f, 0.0, 1.0, {}},
    {"Lo Cut", "x", "lo_cut", K::continuous, U::none, 0.0f, 0.0, 1.0, {}},
    {"Lo Freq", "Hz", "lo_freq", K::selector, U::Hz, 0.0f, 20, 150, kLoFreqSteps},
    {"Tube Buffer", "", "tube_buffer", K::toggle, U::none, 1.0f, 0, 1, kOffOn},
    {"Equalizer", "", "equalizer", K::toggle, U::none, 1.0f, 0, 1, kOffOn},
    {"Mode", "", "mode", K::toggle, U::none, 1.0f, 0, 1, kMonoStereo},
};

constexpr const ParameterInfo& info(int index) { return kTable[index]; }

// The value a parameter takes for a normalised value from a host: NaN is the lowest value,
// everything else is limited to 0..1 (so the infinities go to the nearest end).
constexpr float clampNormalised(float v) {
  if (!(v >= 0.0f)) return 0.0f; // NaN and below the range
  return v > 1.0f ? 1.0f : v;
}
constexpr double clampNormalised(double v) {
  if (!(v >= 0.0)) return 0.0;
  return v > 1.0 ? 1.0 : v;
}

// The step a normalised value selects: trunc(steps * v), the last step for 1.
constexpr int stepIndex(int numSteps, double normalised) {
  const double scaled = numSteps * clampNormalised(normalised);
  const int step = static_cast<int>(scaled);
  return step < numSteps ? step : numSteps - 1;
}

// The normalised value that stands for step k: k / (steps - 1), so the first and last steps are
// the ends of the range (the toggles' 0 and 1) and every step lies inside its own span of values.
constexpr double stepNormalised(int numSteps, int step) {
  return numSteps > 1 ? static_cast<double>(step) / (numSteps - 1) : 0.0;
}

// Normalised value (clamped) to port units.
constexpr double toPortValue(int index, double normalised) {
  const ParameterInfo& p = kTable[index];
  const double v = clampNormalised(normalised);
  if (p.stepped()) return p.steps[static_cast<std::size_t>(stepIndex(p.numSteps(), v))].value;
  return p.minimum + (p.maximum - p.minimum) * v;
}

// Port value to a normalised value, with the bad-value rule applied in port units. A stepped
// parameter takes the step nearest to the value.
inline double toNormalised(int index, double port) {
  const ParameterInfo& p = kTable[index];
  if (!(port >= p.minimum)) port = p.minimum; // NaN and below the range
  if (port > p.maximum) port = p.maximum;
  if (!p.stepped()) return (port - p.minimum) / (p.maximum - p.minimum);
  int nearest = 0;
  for (int k = 1; k < p.numSteps(); ++k)
    if (std::fabs(p.steps[static_cast<std::size_t>(k)].value - port) <
        std::fabs(p.steps[static_cast<std::size_t>(nearest)].value - port))
      nearest = k;
  return stepNormalised(p.numSteps(), nearest);
}

// Linear gain of a level parameter: 10^(dB / 20).
inline double levelGain(int index, double normalised) {
  return std::pow(10.0, toPortValue(index, normalised) / 20.0);
}

} // namespace parameters
