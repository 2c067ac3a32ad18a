// Equalizer changes while a signal runs, through the module: a session recall (all eight values
// at once), automation every block, two settings recalled in turn. The output may move from one
// setting's level to the other's, but never burst beyond them.
#include "module/ModuleFixture.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <numbers>
#include <random>
#include <tuple>

namespace {

using Setting = std::array<float, 8>; // Hi Boost .. Lo Freq, normalised
constexpr VstInt32 kFirstEq = kHiBoostIndex;

const Setting kInitEq = {0, 0, 0.5f, 1, 0.5f, 0, 0, 0};
// Everything up, lowest high frequencies, highest low one; and full boosts with Lo Freq 20 Hz,
// whose low-band poles sit next to z = 1 at high rates.
const Setting kCornerUp = {1, 1, 0, 0, 1, 1, 1, 1};
const Setting kCornerLow = {1, 0, 1, 1, 0, 1, 0, 0};

// The peak a change may reach, against the larger settled peak of the settings involved.
constexpr double kAllowed = 1.5;

// White noise of peak 0.1, over the whole band or low-passed to 16 kHz (windowed sinc).
std::vector<double> makeNoise(std::size_t n, double rate, bool bandLimited, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> d(-0.1, 0.1);
  std::vector<double> white(n);
  for (auto& x : white)
    x = d(rng);
  if (!bandLimited) return white;
  constexpr int kTaps = 127;
  const double fc = 16000.0 / rate;
  std::vector<double> h(kTaps);
  for (int i = 0; i < kTaps; ++i) {
    const double m = i - (kTaps - 1) / 2.0;
    const double sinc =
        m == 0 ? 2 * fc : std::sin(2 * std::numbers::pi * fc * m) / (std::numbers::pi * m);
    const double w = 0.42 - 0.5 * std::cos(2 * std::numbers::pi * i / (kTaps - 1)) +
                     0.08 * std::cos(4 * std::numbers::pi * i / (kTaps - 1));
    h[i] = sinc * w;
  }
  std::vector<double> y(n, 0.0);
  for (std::size_t i = 0; i < n; ++i)
    for (int k = 0; k < kTaps && k <= static_cast<int>(i); ++k)
      y[i] += h[k] * white[i - k];
  // Back to peak 0.1, so both kinds of noise drive the module alike.
  double peak = 0;
  for (double v : y)
    peak = std::max(peak, std::fabs(v));
  for (double& v : y)
    v *= 0.1 / peak;
  return y;
}

// The same noise is asked for many times: made once per kind.
const std::vector<double>& noise(std::size_t n, double rate, bool bandLimited, unsigned seed) {
  static std::map<std::tuple<std::size_t, double, bool, unsigned>, std::vector<double>> cache;
  auto& v = cache[{n, rate, bandLimited, seed}];
  if (v.empty()) v = makeNoise(n, rate, bandLimited, seed);
  return v;
}

struct Signal {
  double rate;
  bool bandLimited;
  bool tube;
};

// Renders the noise (blocks of 512, double path, stereo) through a fresh instance that starts at
// `start`; before each block, `automate(blockIndex, plugin)` may change parameters. Returns the
// peak of both outputs from `from` on.
template <class Automation>
double render(const Signal& run, const Setting& start, double seconds, double from,
              Automation automate) {
  vsthost::Plugin plugin(builtModule());
  plugin.setSampleRate(static_cast<float>(run.rate));
  plugin.setParameter(kTubeBufferIndex, run.tube ? 1.0f : 0.0f);
  for (int i = 0; i < 8; ++i)
    plugin.setParameter(kFirstEq + i, start[i]);
  const std::size_t total = static_cast<std::size_t>(seconds * run.rate);
  const std::size_t skip = static_cast<std::size_t>(from * run.rate);
  const auto& left = noise(total, run.rate, run.bandLimited, 1);
  const auto& right = noise(total, run.rate, run.bandLimited, 2);
  StereoBlock<double> block(512);
  double peak = 0;
  for (std::size_t pos = 0, index = 0; pos + 512 <= total; pos += 512, ++index) {
    automate(index, plugin);
    std::copy_n(left.begin() + static_cast<std::ptrdiff_t>(pos), 512, block.in[0].begin());
    std::copy_n(right.begin() + static_cast<std::ptrdiff_t>(pos), 512, block.in[1].begin());
    plugin.processDouble(block.inputs(), block.outputs(), 512);
    for (int c = 0; c < 2; ++c)
      for (std::size_t i = 0; i < 512; ++i) {
        if (!std::isfinite(block.out[c][i])) return INFINITY;
        if (pos + i >= skip) peak = std::max(peak, std::fabs(block.out[c][i]));
      }
  }
  return peak;
}

void apply(vsthost::Plugin& plugin, const Setting& s) {
  for (int i = 0; i < 8; ++i)
    plugin.setParameter(kFirstEq + i, s[i]);
}

// The settled peak of one setting over [from, seconds), started at that setting.
double settledPeak(const Signal& run, const Setting& s, double seconds, double from) {
  return render(run, s, seconds, from, [](std::size_t, vsthost::Plugin&) {});
}

std::string describe(const Signal& run) {
  char text[64];
  std::snprintf(text, sizeof text, "%.0f Hz, %s noise, tube %s", run.rate,
                run.bandLimited ? "16 kHz" : "full-band", run.tube ? "on" : "off");
  return text;
}

Setting randomSetting(std::mt19937& rng) {
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  Setting s;
  for (float& v : s)
    v = u(rng);
  return s;
}

class ModuleGlides : public testing::TestWithParam<double> {};

// All eight values jump at once 200 ms into the signal; the 300 ms after it are watched.
TEST_P(ModuleGlides, SessionRecallStaysWithinTheSettledLevels) {
  std::mt19937 rng(static_cast<unsigned>(GetParam()));
  const Setting a = randomSetting(rng), b = randomSetting(rng);
  const std::pair<Setting, Setting> changes[] = {{kInitEq, kCornerUp},
                                                 {kCornerUp, kInitEq},
                                                 {kInitEq, kCornerLow},
                                                 {kCornerLow, kInitEq},
                                                 {a, b}};
  constexpr double kChange = 0.2, kEnd = 0.5;
  double worst = 0;
  for (bool bandLimited : {false, true})
    for (bool tube : {false, true}) {
      const Signal run{GetParam(), bandLimited, tube};
      for (const auto& [from, to] : changes) {
        const std::size_t changeBlock = static_cast<std::size_t>(kChange * run.rate) / 512;
        const double changeAt = static_cast<double>(changeBlock * 512) / run.rate;
        const double peak = render(run, from, kEnd, changeAt, [&](std::size_t i, auto& p) {
          if (i == changeBlock) apply(p, to);
        });
        const double settled =
            std::max(settledPeak(run, from, kEnd, changeAt), settledPeak(run, to, kEnd, changeAt));
        worst = std::max(worst, peak / settled);
        EXPECT_LE(peak, kAllowed * settled) << describe(run);
      }
    }
  std::printf("session recall at %.0f Hz: worst peak %.3f x the settled level\n", GetParam(),
              worst);
}

INSTANTIATE_TEST_SUITE_P(HostRates, ModuleGlides,
                         testing::Values(44100.0, 48000.0, 96000.0, 192000.0));

class ModuleAutomation : public testing::TestWithParam<double> {};

// A selector swept up and down by automation, a new value every block, its band at full boost;
// then two settings recalled in turn every 40 ms.
TEST_P(ModuleAutomation, SweepsAndAlternatingRecallsStayWithinTheSettledLevels) {
  const Signal run{GetParam(), false, false};
  constexpr double kSeconds = 0.6;
  struct Sweep {
    VstInt32 index;
    Setting base;
  };
  const Sweep sweeps[] = {{kHiCutFreqIndex, {0, 1, 0.5f, 0, 0.5f, 0, 0, 0}},
                          {kLoFreqIndex, {0, 0, 0.5f, 1, 0.5f, 1, 0, 0}}};
  for (const Sweep& sweep : sweeps) {
    double settled = 0;
    for (int step = 0; step < 6; ++step) {
      Setting s = sweep.base;
      s[sweep.index - kFirstEq] = (step + 0.5f) / 6.0f;
      settled = std::max(settled, settledPeak(run, s, kSeconds, 0.1));
    }
    const double peak = render(run, sweep.base, kSeconds, 0.1, [&](std::size_t i, auto& p) {
      const float phase = static_cast<float>(i % 40) / 20.0f; // 0..2, a triangle
      p.setParameter(sweep.index, phase <= 1.0f ? phase : 2.0f - phase);
    });
    std::printf("%s swept at %.0f Hz: peak %.3f x the settled level\n",
                sweep.index == kLoFreqIndex ? "Lo Freq" : "Hi Cut Freq.", run.rate, peak / settled);
    EXPECT_LE(peak, kAllowed * settled) << "parameter " << sweep.index << ", " << describe(run);
  }

  const std::size_t every = static_cast<std::size_t>(0.04 * run.rate / 512);
  const double peak = render(run, kInitEq, kSeconds, 0.1, [&](std::size_t i, auto& p) {
    if (i % every == 0) apply(p, (i / every) % 2 ? kCornerUp : kInitEq);
  });
  const double settled = std::max(settledPeak(run, kInitEq, kSeconds, 0.1),
                                  settledPeak(run, kCornerUp, kSeconds, 0.1));
  std::printf("alternating recalls at %.0f Hz: peak %.3f x the settled level\n", run.rate,
              peak / settled);
  EXPECT_LE(peak, kAllowed * settled) << describe(run);
}

INSTANTIATE_TEST_SUITE_P(HighRates, ModuleAutomation, testing::Values(96000.0, 192000.0));

} // namespace
