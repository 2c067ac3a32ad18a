// Output peaks of the equalizer filter around control changes, with white noise in.
//
// Build and run from the repository root:
//   g++ -std=c++20 -O2 -Isrc -Itests/unit/eq tools/eqcheck/eqjump.cpp src/dsp/eq/*.cpp \
//       -o /tmp/eqjump && /tmp/eqjump | grep -v '^#PARAMS'
//
// Runs at the filter's own rate (twice the host rate), no oversampler and no tube stage. Peaks
// are of the filter output; "x post" multiplies by 15.310875, the chain's output gain with the
// tube stage switched out, to compare with whole-chain figures.
#include "EqTestUtil.h"

#include <algorithm>
#include <cstdio>

using eqtest::Settings;

namespace {

constexpr double kPostGainTubeOff = 15.310875;

// Per-sample drive: the mended entry (tick) or glide step plus section as the core did before.
double run(ORVELFilterSmoothed& f, double x, bool mended) {
  if (mended) return f.tick(x);
  if (f.smoothingActive.load()) f.smoothStep();
  return f.section.process(x, f.coeffs().digitalDen, f.coeffs().digitalNum);
}

struct Peaks {
  double window;  // peak over the window of interest
  double settled; // peak over one second once the glide has finished
};

// Effect start: filter built at 44100 Hz, the program's targets set, host rate given, maybe a
// restored session set before the first block; peak over the first 50 ms.
Peaks startBlast(double hostRate, const Settings* restored, bool mended) {
  const double rate = 2.0 * hostRate;
  ORVELFilterSmoothed f(44100.0);
  eqtest::setTargets(f, eqtest::kInit);
  f.setSampleRate(rate);
  if (restored) eqtest::setTargets(f, *restored);
  eqtest::Noise noise(42);
  Peaks p{0.0, 0.0};
  const int first = static_cast<int>(0.05 * rate);
  for (int n = 0; n < first; ++n)
    p.window = std::max(p.window, std::fabs(run(f, noise.next(0.1), mended)));
  while (f.smoothingActive.load())
    run(f, noise.next(0.1), mended);
  for (int n = 0; n < static_cast<int>(rate); ++n)
    p.settled = std::max(p.settled, std::fabs(run(f, noise.next(0.1), mended)));
  return p;
}

// Settled at `from`, all eight values changed at once in the middle of the signal; peak over the
// 50 ms after the change against the settled peak at `to`.
Peaks midSignalJump(double hostRate, const Settings& from, const Settings& to) {
  const double rate = 2.0 * hostRate;
  ORVELFilterSmoothed f(rate);
  eqtest::setTargets(f, from);
  eqtest::Noise noise(7);
  for (int n = 0; n < static_cast<int>(0.5 * rate); ++n)
    f.tick(noise.next(0.1));
  eqtest::setTargets(f, to);
  Peaks p{0.0, 0.0};
  for (int n = 0; n < static_cast<int>(0.05 * rate); ++n)
    p.window = std::max(p.window, std::fabs(f.tick(noise.next(0.1))));
  while (f.smoothingActive.load())
    f.tick(noise.next(0.1));
  for (int n = 0; n < static_cast<int>(rate); ++n)
    p.settled = std::max(p.settled, std::fabs(f.tick(noise.next(0.1))));
  return p;
}

void print(const char* what, double hostRate, const Peaks& p) {
  std::printf("%-46s host %6.0f  peak %8.4f (x post %8.3f)  settled %7.4f (x post %6.3f)  "
              "ratio %6.2f\n",
              what, hostRate, p.window, p.window * kPostGainTubeOff, p.settled,
              p.settled * kPostGainTubeOff, p.window / p.settled);
}

} // namespace

int main() {
  const Settings session = {0.6, 0.3, 0.8, 0.4, 0.3, 0.7, 0.2, 0.6};
  for (double host : {44100.0, 48000.0, 96000.0, 192000.0}) {
    print("start, Init, glide from 0.5 (unmended)", host, startBlast(host, nullptr, false));
    print("start, Init, mended", host, startBlast(host, nullptr, true));
    print("start, session restored, unmended", host, startBlast(host, &session, false));
    print("start, session restored, mended", host, startBlast(host, &session, true));
  }
  struct Move {
    const char* what;
    Settings to;
  };
  const Move moves[] = {
      {"Init -> all moved (1,1,0,0,1,1,1,1)", {1, 1, 0, 0, 1, 1, 1, 1}},
      {"Init -> all moved (1,0.5,1,0,0,1,0.5,1)", {1, 0.5, 1, 0, 0, 1, 0.5, 1}},
      {"Init -> session-like", session},
      {"Init -> switches only (.., 0, 0, .., 1)", {0, 0, 0.0, 0.0, 0.5, 0, 0, 1}},
      {"Init -> continuous only (1,1,..,1,1,1,..)", {1, 1, 0.5, 1, 1, 1, 1, 0}},
  };
  for (double host : {48000.0, 96000.0, 192000.0})
    for (const Move& m : moves)
      print(m.what, host, midSignalJump(host, eqtest::kInit, m.to));
  return 0;
}
