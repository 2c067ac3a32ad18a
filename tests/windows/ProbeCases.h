// What the module probe renders, shared by the probe (built for Linux and for
// Windows) and the Linux test that compares the two renders. Everything here
// is plain IEEE arithmetic, no maths library, so that both platforms feed the
// module bit-identical input.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace probe {

constexpr int kNumParams = 13;
using Settings = std::array<float, kNumParams>;

struct Setting {
  const char* name;
  Settings values; // mode (index 12) is overridden by each case
};

// Parameter order: input, output, hi boost, hi cut, hi boost freq, hi cut freq, hi freq Q,
// lo boost, lo cut, lo freq, tube buffer, equalizer, mode.
inline const std::array<Setting, 4> kSettings = {{
    {"init", {0.5f, 0.5f, 0.0f, 0.0f, 0.5f, 1.0f, 0.5f, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f}},
    {"shaped", {0.6f, 0.45f, 0.8f, 0.2f, 0.3f, 0.6f, 0.3f, 0.7f, 0.4f, 0.5f, 1.0f, 1.0f, 1.0f}},
    {"eq-hot", {0.8f, 0.4f, 0.5f, 0.6f, 0.9f, 0.2f, 0.7f, 0.9f, 0.1f, 0.83f, 0.0f, 1.0f, 1.0f}},
    {"tube-only", {0.9f, 0.3f, 0.0f, 0.0f, 0.5f, 1.0f, 0.5f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 1.0f}},
}};

// Halfway through each render the hi boost moves, so the glide and the redesigns run too.
constexpr int kAutomatedParam = 2;
constexpr float kAutomatedValue = 0.55f;

inline const std::array<float, 2> kRates = {44100.0f, 96000.0f};
constexpr double kSeconds = 0.3;
constexpr int kBlockFrames = 512;

struct Case {
  std::string name;
  int setting;
  float rate;
  bool doublePrecision;
  bool stereo;
  int frames;
};

inline std::vector<Case> allCases() {
  std::vector<Case> cases;
  for (int s = 0; s < static_cast<int>(kSettings.size()); ++s)
    for (float rate : kRates)
      for (bool dbl : {false, true})
        for (bool stereo : {true, false}) {
          Case c;
          c.setting = s;
          c.rate = rate;
          c.doublePrecision = dbl;
          c.stereo = stereo;
          c.frames = static_cast<int>(kSeconds * rate);
          c.name = std::string(kSettings[static_cast<std::size_t>(s)].name) + "/" +
                   std::to_string(static_cast<int>(rate)) + (dbl ? "/double" : "/float") +
                   (stereo ? "/stereo" : "/mono");
          cases.push_back(c);
        }
  return cases;
}

// cos and sin by their series: identical on every platform, unlike the maths library.
inline double seriesCos(double x) {
  double term = 1.0, sum = 1.0;
  for (int n = 1; n < 30; ++n) {
    term *= -x * x / ((2.0 * n - 1.0) * (2.0 * n));
    sum += term;
  }
  return sum;
}
inline double seriesSin(double x) {
  double term = x, sum = x;
  for (int n = 1; n < 30; ++n) {
    term *= -x * x / ((2.0 * n) * (2.0 * n + 1.0));
    sum += term;
  }
  return sum;
}

// Test input, one channel: a sine by recurrence plus white noise from an LCG, with the last
// fifth silent so that the chain decays towards denormal range.
inline std::vector<double> inputSignal(int channel, int frames, double rate) {
  constexpr double kPi = 3.14159265358979323846;
  const double frequency = channel == 0 ? 220.0 : 3100.0;
  const double amplitude = channel == 0 ? 0.5 : 0.4;
  const double noiseLevel = channel == 0 ? 0.2 : 0.1;
  const double w = 2.0 * kPi * frequency / rate;
  const double c2 = 2.0 * seriesCos(w);
  double s0 = 0.0, s1 = seriesSin(w);
  std::uint64_t state = 0x9E3779B97F4A7C15ull + static_cast<std::uint64_t>(channel);
  std::vector<double> out(static_cast<std::size_t>(frames));
  const int silentFrom = frames - frames / 5;
  for (int i = 0; i < frames; ++i) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    const double noise = static_cast<double>(state >> 11) * (1.0 / 9007199254740992.0) * 2.0 - 1.0;
    const double sine = s0;
    const double next = c2 * s1 - s0;
    s0 = s1;
    s1 = next;
    out[static_cast<std::size_t>(i)] = i < silentFrom ? amplitude * sine + noiseLevel * noise : 0.0;
  }
  return out;
}

} // namespace probe
