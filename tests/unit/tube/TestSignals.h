#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

// Deterministic test signals.
namespace testsignals {

// xorshift64*: uniform in [-1, 1).
class Noise {
public:
  explicit Noise(uint64_t seed) : state(seed ? seed : 0x9E3779B97F4A7C15ull) {}
  double next() {
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    const uint64_t r = state * 0x2545F4914F6CDD1Dull;
    return static_cast<double>(r >> 11) * (2.0 / 9007199254740992.0) - 1.0;
  }

private:
  uint64_t state;
};

// Roughly pink noise (Kellet's economy filter on white noise), about unit RMS scaled by `gain`.
inline std::vector<double> pinkNoise(size_t n, double gain, uint64_t seed) {
  Noise white(seed);
  std::vector<double> out(n);
  double b0 = 0, b1 = 0, b2 = 0;
  for (size_t i = 0; i < n; ++i) {
    const double w = white.next();
    b0 = 0.99765 * b0 + w * 0.0990460;
    b1 = 0.96300 * b1 + w * 0.2965164;
    b2 = 0.57000 * b2 + w * 1.0526913;
    out[i] = (b0 + b1 + b2 + w * 0.1848) * 0.25 * gain;
  }
  return out;
}

inline std::vector<double> sine(size_t n, double amplitude, double frequency, double rate) {
  std::vector<double> out(n);
  for (size_t i = 0; i < n; ++i)
    out[i] =
        amplitude * std::sin(2.0 * std::numbers::pi * frequency * static_cast<double>(i) / rate);
  return out;
}

inline double rms(const std::vector<double>& x, size_t from, size_t to) {
  double s = 0;
  for (size_t i = from; i < to; ++i)
    s += x[i] * x[i];
  return std::sqrt(s / static_cast<double>(to - from));
}

// Amplitude and phase (radians) of the component at `frequency` in x[from, to), by projection
// on sine and cosine over a whole number of periods.
struct Tone {
  double amplitude;
  double phase;
};
inline Tone toneOf(const std::vector<double>& x, size_t from, size_t to, double frequency,
                   double rate) {
  double s = 0, c = 0;
  for (size_t i = from; i < to; ++i) {
    const double a = 2.0 * std::numbers::pi * frequency * static_cast<double>(i) / rate;
    s += x[i] * std::sin(a);
    c += x[i] * std::cos(a);
  }
  const double n = static_cast<double>(to - from);
  return {2.0 * std::hypot(s, c) / n, std::atan2(c, s)};
}

} // namespace testsignals
