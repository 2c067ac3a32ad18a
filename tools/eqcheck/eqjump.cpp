// Output peaks of the equalizer filter around control changes, noise in.
//
// Build and run from the repository root:
//   g++ -std=c++20 -O2 -Isrc -Itests/unit/eq tools/eqcheck/eqjump.cpp src/dsp/eq/*.cpp
//     -o /tmp/eqjump && /tmp/eqjump | grep -v '^#PARAMS'
//
// The filter runs at its own rate, twice the host rate, with no tube stage. Two inputs:
// "white": uniform noise of peak 0.1 at the filter rate; "host": uniform noise of peak 0.1 at
// the host rate, zero-stuffed and low-passed by a 127-tap half-band FIR (gain 2), standing in
// for the oversampler, so the filter sees nothing above the host's Nyquist frequency. Peaks are
// of the filter output; "x post" multiplies by 15.310875, the chain's output gain with the tube
// switched out, to compare with whole-chain figures. The settled peak is that of a filter
// started directly at the final values, over one second after a quarter-second run-in.
#include "EqTestUtil.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>
#include <vector>

using eqtest::Settings;

namespace {

constexpr double kPostGainTubeOff = 15.310875;

// Noise source at the filter rate: white, or host-rate noise upsampled by two.
class Source {
public:
  Source(bool hostBandLimited, std::uint64_t seed) : upsample(hostBandLimited), noise(seed) {
    const int taps = 127;
    h.resize(taps);
    line.assign(taps, 0.0);
    for (int n = 0; n < taps; ++n) {
      const double m = n - (taps - 1) / 2.0;
      const double sinc =
          m == 0.0 ? 0.5 : std::sin(std::numbers::pi * m / 2.0) / (std::numbers::pi * m);
      const double w = 0.42 - 0.5 * std::cos(2.0 * std::numbers::pi * n / (taps - 1)) +
                       0.08 * std::cos(4.0 * std::numbers::pi * n / (taps - 1));
      h[n] = 2.0 * sinc * w;
    }
  }
  double next() {
    if (!upsample) return noise.next(0.1);
    const double in = (phase++ % 2 == 0) ? noise.next(0.1) : 0.0;
    line[pos] = in;
    double acc = 0.0;
    const int taps = static_cast<int>(h.size());
    for (int k = 0; k < taps; ++k)
      acc += h[k] * line[(pos - k + taps) % taps];
    pos = (pos + 1) % taps;
    return acc;
  }

private:
  bool upsample;
  eqtest::Noise noise;
  std::vector<double> h, line;
  int pos = 0;
  long phase = 0;
};

// Per-sample drive: the mended entry (tick), or glide step then section with no special start.
double run(ORVELFilterSmoothed& f, double x, bool mended) {
  if (mended) return f.tick(x);
  if (f.smoothingActive.load()) f.smoothStep();
  return f.section.process(x, f.coeffs().digitalDen, f.coeffs().digitalNum);
}

struct Peaks {
  double window, settled;
};

// Peak of a filter that starts at `s` (no glide, no transient) after 0.25 s, over one second.
double settledPeak(const Settings& s, double rate, bool hostNoise) {
  ORVELFilterSmoothed f(rate);
  eqtest::setTargets(f, s);
  Source in(hostNoise, 1234);
  for (int n = 0; n < static_cast<int>(0.25 * rate); ++n)
    f.tick(in.next());
  double peak = 0.0;
  for (int n = 0; n < static_cast<int>(rate); ++n)
    peak = std::max(peak, std::fabs(f.tick(in.next())));
  return peak;
}

// Effect start: filter built at 44100 Hz, the program's targets set, host rate given, maybe a
// restored session before the first block; peak over the first 50 ms.
Peaks startBlast(double hostRate, const Settings* restored, bool mended, bool hostNoise) {
  const double rate = 2.0 * hostRate;
  ORVELFilterSmoothed f(44100.0);
  eqtest::setTargets(f, eqtest::kInit);
  f.setSampleRate(rate);
  if (restored) eqtest::setTargets(f, *restored);
  Source in(hostNoise, 42);
  Peaks p{0.0, 0.0};
  for (int n = 0; n < static_cast<int>(0.05 * rate); ++n)
    p.window = std::max(p.window, std::fabs(run(f, in.next(), mended)));
  p.settled = settledPeak(restored ? *restored : eqtest::kInit, rate, hostNoise);
  return p;
}

// Settled at Init, all eight values changed at once in the middle of the signal; peak over the
// 50 ms after the change.
Peaks midSignalJump(double hostRate, const Settings& to, bool hostNoise) {
  const double rate = 2.0 * hostRate;
  ORVELFilterSmoothed f(rate);
  eqtest::setTargets(f, eqtest::kInit);
  Source in(hostNoise, 7);
  for (int n = 0; n < static_cast<int>(0.5 * rate); ++n)
    f.tick(in.next());
  eqtest::setTargets(f, to);
  Peaks p{0.0, 0.0};
  for (int n = 0; n < static_cast<int>(0.05 * rate); ++n)
    p.window = std::max(p.window, std::fabs(f.tick(in.next())));
  p.settled = settledPeak(to, rate, hostNoise);
  return p;
}

void print(const char* what, double hostRate, const Peaks& p) {
  std::printf("%-44s host %6.0f  peak %9.4f (x post %9.3f)  settled %7.4f (x post %6.3f)  "
              "ratio %8.2f\n",
              what, hostRate, p.window, p.window * kPostGainTubeOff, p.settled,
              p.settled * kPostGainTubeOff, p.window / p.settled);
}

} // namespace

int main() {
  const Settings session = {0.6, 0.3, 0.8, 0.4, 0.3, 0.7, 0.2, 0.6};
  for (bool hostNoise : {true, false}) {
    std::printf("\n== start of processing, %s noise ==\n", hostNoise ? "host" : "white");
    for (double host : {44100.0, 48000.0, 96000.0, 192000.0}) {
      print("Init, gliding from 0.5 (before the mend)", host,
            startBlast(host, nullptr, false, hostNoise));
      print("Init, mended", host, startBlast(host, nullptr, true, hostNoise));
      print("session restored, before the mend", host,
            startBlast(host, &session, false, hostNoise));
      print("session restored, mended", host, startBlast(host, &session, true, hostNoise));
    }
  }
  struct Move {
    const char* what;
    Settings to;
  };
  const Move moves[] = {
      {"Init -> (1,1,0,0,1,1,1,1)", {1, 1, 0, 0, 1, 1, 1, 1}},
      {"Init -> (1,0.5,1,0,0,1,0.5,1)", {1, 0.5, 1, 0, 0, 1, 0.5, 1}},
      {"Init -> (0.5,0.5,0,0,1,0.5,0.5,0.5)", {0.5, 0.5, 0, 0, 1, 0.5, 0.5, 0.5}},
      {"Init -> session-like (.6 .3 .8 .4 .3 .7 .2 .6)", session},
      {"Init -> switches only (.,.,0,0,.,.,.,1)", {0, 0, 0.0, 0.0, 0.5, 0, 0, 1}},
      {"Init -> continuous only (1,1,.,.,1,1,1,.)", {1, 1, 0.5, 1, 1, 1, 1, 0}},
      {"Init -> low only (.,.,.,.,.,1,1,.)", {0, 0, 0.5, 1, 0.5, 1, 1, 0}},
      {"Init -> high only (1,1,.,.,1,.,.,.)", {1, 1, 0.5, 1, 1, 0, 0, 0}},
  };
  for (bool hostNoise : {true, false}) {
    std::printf("\n== all eight values changed mid-signal, %s noise ==\n",
                hostNoise ? "host" : "white");
    for (double host : {48000.0, 96000.0, 192000.0})
      for (const Move& m : moves)
        print(m.what, host, midSignalJump(host, m.to, hostNoise));
  }
  // Random destinations, every value moved by at least 0.2 from Init (host noise).
  std::printf("\n== 100 random destinations moving every value, host noise ==\n");
  for (double host : {48000.0, 96000.0, 192000.0}) {
    std::mt19937_64 rng(99);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<double> ratios, peaks;
    for (int n = 0; n < 100; ++n) {
      const double init[8] = {0, 0, 0.5, 1, 0.5, 0, 0, 0};
      double v[8];
      for (int i = 0; i < 8; ++i)
        do
          v[i] = u(rng);
        while (std::fabs(v[i] - init[i]) < 0.2 || (i == 2 && static_cast<int>(7 * v[i]) == 3) ||
               (i == 3 && static_cast<int>(6 * v[i]) == 5) || (i == 7 && v[i] < 1.0 / 6.0));
      const Peaks p = midSignalJump(host, {v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]}, true);
      ratios.push_back(p.window / p.settled);
      peaks.push_back(p.window * kPostGainTubeOff);
    }
    std::sort(ratios.begin(), ratios.end());
    std::sort(peaks.begin(), peaks.end());
    std::printf("host %6.0f  peak/settled: median %7.2f  90%% %8.2f  max %9.2f;  "
                "peak x post: median %7.3f  max %9.3f\n",
                host, ratios[50], ratios[90], ratios[99], peaks[50], peaks[99]);
  }
  return 0;
}
