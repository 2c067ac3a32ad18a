// Measuring what comes out of the module, the way one would with a sine and a meter.
#pragma once

#include <cmath>
#include <numbers>
#include <vector>

#include "module/ModuleFixture.h"

// Amplitude and phase (radians) of the component at frequency f in x[start..end),
// by correlation over a whole number of periods.
struct Tone {
  double amplitude;
  double phase;
};

inline Tone measureTone(const std::vector<double>& x, double f, double rate, std::size_t start) {
  const double periods = std::floor((x.size() - start) * f / rate);
  const std::size_t n = static_cast<std::size_t>(periods * rate / f);
  double s = 0, c = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double w = 2 * std::numbers::pi * f * static_cast<double>(start + i) / rate;
    s += x[start + i] * std::sin(w);
    c += x[start + i] * std::cos(w);
  }
  return {2.0 * std::hypot(s, c) / static_cast<double>(n), std::atan2(c, s)};
}

// Feeds a sine of the given amplitude to both inputs (double path, blocks of
// 512) and returns the left output.
inline std::vector<double> renderSine(vsthost::Plugin& plugin, double f, double rate,
                                      double amplitude, double seconds) {
  const std::size_t total = static_cast<std::size_t>(seconds * rate);
  std::vector<double> result(total);
  StereoBlock<double> block(512);
  for (std::size_t pos = 0; pos < total; pos += 512) {
    const std::size_t n = std::min<std::size_t>(512, total - pos);
    for (std::size_t i = 0; i < n; ++i) {
      const double v = amplitude * std::sin(2 * std::numbers::pi * f * (pos + i) / rate);
      block.in[0][i] = v;
      block.in[1][i] = v;
    }
    plugin.processDouble(block.inputs(), block.outputs(), static_cast<VstInt32>(n));
    std::copy_n(block.out[0].begin(), n, result.begin() + static_cast<std::ptrdiff_t>(pos));
  }
  return result;
}

// Steady-state gain in dB of the module at frequency f.
inline double gainDb(vsthost::Plugin& plugin, double f, double rate, double amplitude = 0.01) {
  const double seconds = 0.4;
  const auto y = renderSine(plugin, f, rate, amplitude, seconds);
  return 20 * std::log10(measureTone(y, f, rate, y.size() / 2).amplitude / amplitude);
}
