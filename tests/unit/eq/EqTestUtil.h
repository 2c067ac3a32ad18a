#pragma once

#include "dsp/eq/ORVELFilterSmoothed.h"

#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>

namespace eqtest {

struct Settings {
  double hiBoost, hiCut, hiBoostFreq, hiCutFreq, hiFreqQ, loBoost, loCut, loFreq;
};

// The "Init" program's equalizer values.
constexpr Settings kInit = {0.0, 0.0, 0.5, 1.0, 0.5, 0.0, 0.0, 0.0};

inline void setTargets(ORVELFilterSmoothed& f, const Settings& s) {
  f.setTargets(s.hiBoost, s.hiCut, s.hiBoostFreq, s.hiCutFreq, s.hiFreqQ, s.loBoost, s.loCut,
               s.loFreq);
}

// Controls placed on their targets and designed, as after a finished glide.
inline void settle(ORVELFilterSmoothed& f, const Settings& s) {
  setTargets(f, s);
  for (int i = 0; i < ORVELFilterSmoothed::kNumControls; ++i)
    f.controls[i] = f.targets[i].load();
  f.updateCoefficients();
}

inline std::complex<double> polyAt(const double* c, int order, std::complex<double> x) {
  std::complex<double> r = 0.0;
  for (int k = order; k >= 0; --k)
    r = r * x + c[k];
  return r;
}

inline double toDb(double magnitude) { return 20.0 * std::log10(magnitude); }

// |H(j·2π·f)| of the analog prototype, in dB.
inline double analogDb(const FilterCoefficients& c, double hz) {
  const std::complex<double> s(0.0, 2.0 * std::numbers::pi * hz);
  return toDb(std::abs(polyAt(c.analogNum, c.order, s) / polyAt(c.analogDen, c.order, s)));
}

// |H(e^jω)| of the digital filter at `hz` for sample rate `rate`, in dB.
inline double digitalDb(const FilterCoefficients& c, double hz, double rate) {
  const std::complex<double> zInv = std::polar(1.0, -2.0 * std::numbers::pi * hz / rate);
  return toDb(std::abs(polyAt(c.digitalNum, c.order, zInv) / polyAt(c.digitalDen, c.order, zInv)));
}

// Uniform white noise in [-peak, peak], reproducible.
class Noise {
public:
  explicit Noise(std::uint64_t seed) : state(seed) {}
  double next(double peak) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    const double u = static_cast<double>(state >> 11) * 0x1.0p-53; // 0..1
    return (2.0 * u - 1.0) * peak;
  }

private:
  std::uint64_t state;
};

} // namespace eqtest
