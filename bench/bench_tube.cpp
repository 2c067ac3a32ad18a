// Per-component timing of the tube stage, the channel core and the oversampled chain.
//
//   cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DOMBRINE_BENCH=ON
//   cmake --build build --target bench_tube && build/bench/bench_tube
//
// Each iteration runs one second of audio; "ns_per_call" is the time of one process() call,
// "rt_stereo" (oversampled chain) the real-time factor of two channels at the host rate, and
// "newton_steps" the mean Newton steps per tube-stage solve for the same signal ("paired_steps":
// per paired solve of two channels, which takes as many as the slower one needs). Init-level
// signals are the chain at -12 dB, +18 dB of input drive the chain at +6 dB.
#include "dsp/tube/HBOversampler.h"
#include "dsp/tube/ORVEL.h"
#include "dsp/tube/TubeStage.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdint>
#include <vector>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace {

constexpr double kHostRate = 48000.0;
constexpr double kHighRate = 2.0 * kHostRate;

// The block processing runs with flush-to-zero and denormals-are-zero; so do the benchmarks.
struct DenormalsOff {
#if defined(__SSE__)
  DenormalsOff() : saved(_mm_getcsr()) { _mm_setcsr(saved | 0x8040); }
  ~DenormalsOff() { _mm_setcsr(saved); }
  unsigned saved;
#endif
};

// Roughly pink noise with the given RMS level (full scale = 1.0).
std::vector<double> pinkNoise(size_t n, double rms, uint64_t seed) {
  std::vector<double> out(n);
  uint64_t s = seed;
  double b0 = 0, b1 = 0, b2 = 0, sum = 0;
  for (size_t i = 0; i < n; ++i) {
    s ^= s >> 12;
    s ^= s << 25;
    s ^= s >> 27;
    const double w = static_cast<double>((s * 0x2545F4914F6CDD1Dull) >> 11) * 0x1p-52 - 1.0;
    b0 = 0.99765 * b0 + w * 0.0990460;
    b1 = 0.96300 * b1 + w * 0.2965164;
    b2 = 0.57000 * b2 + w * 1.0526913;
    out[i] = b0 + b1 + b2 + w * 0.1848;
    sum += out[i] * out[i];
  }
  const double scale = rms / std::sqrt(sum / static_cast<double>(n));
  for (double& x : out)
    x *= scale;
  return out;
}

double dB(double level) { return std::pow(10.0, level / 20.0); }

// The equalizer at the initial program's settings (about -24 dB through the band).
void setInitProgram(ORVEL& core) {
  core.setEqualizer(1.0);
  core.setTubeBuffer(1.0);
  core.setFilterParameters(0.0, 0.0, 0.5, 1.0, 0.5, 0.0, 0.0, 0.0);
}

// Tube stage alone at the high rate. Argument: input RMS in millivolts.
void BM_TubeStage(benchmark::State& state) {
  DenormalsOff guard;
  const auto in = pinkNoise(static_cast<size_t>(kHighRate), state.range(0) * 1e-3, 1);
  TubeStage tube(250.0, 470.0, 1000.0, 4400.0, 0.00047022, 4.7e-6, kHighRate);
  long steps = 0;
  for (double x : in) {
    tube.process(x);
    steps += tube.lastStepCount();
  }
  for (auto _ : state) {
    for (double x : in)
      benchmark::DoNotOptimize(tube.process(x));
  }
  const double n = static_cast<double>(in.size());
  state.counters["ns_per_call"] = benchmark::Counter(
      n * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["newton_steps"] = static_cast<double>(steps) / n;
}
BENCHMARK(BM_TubeStage)->Arg(20)->Arg(300)->Arg(1000)->Arg(4000)->Unit(benchmark::kMillisecond);

// Channel core (equalizer + tube) at the high rate. Argument: host level in dBFS RMS.
void BM_ORVEL(benchmark::State& state) {
  DenormalsOff guard;
  const auto in = pinkNoise(static_cast<size_t>(kHighRate), dB(state.range(0)), 2);
  ORVEL core(kHighRate);
  setInitProgram(core);
  long steps = 0;
  for (double x : in) {
    core.process(x);
    steps += core.getTube().lastStepCount();
  }
  for (auto _ : state) {
    for (double x : in)
      benchmark::DoNotOptimize(core.process(x));
  }
  const double n = static_cast<double>(in.size());
  state.counters["ns_per_call"] = benchmark::Counter(
      n * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["newton_steps"] = static_cast<double>(steps) / n;
}
BENCHMARK(BM_ORVEL)->Arg(-12)->Arg(6)->Unit(benchmark::kMillisecond);

// Counts the Newton steps of every solve the oversampler asks for.
struct CountingCore {
  ORVEL* core;
  long steps = 0;
  double process(double x) {
    const double y = core->process(x);
    steps += core->getTube().lastStepCount();
    return y;
  }
  void setSampleRate(double rate) { core->setSampleRate(rate); }
  void clearFilterHistory() { core->clearFilterHistory(); }
};

// Mean Newton steps per tube solve for a chain set up as in BM_HBOversampler.
double meanSteps(const std::vector<double>& in, bool equalizer) {
  ORVEL core(kHostRate * 2.0);
  setInitProgram(core);
  core.setEqualizer(equalizer ? 1.0 : 0.0);
  CountingCore counting{&core};
  HBOversampler<CountingCore> chain(&counting, kHostRate);
  for (double x : in)
    chain.process(x, 2, 0);
  return static_cast<double>(counting.steps) / (2.0 * static_cast<double>(in.size()));
}

// One channel of the whole chain at 48 kHz, per host sample. Arguments: host level in dBFS RMS
// and the equalizer switch.
void BM_HBOversampler(benchmark::State& state) {
  DenormalsOff guard;
  const auto in = pinkNoise(static_cast<size_t>(kHostRate), dB(state.range(0)), 3);
  ORVEL core(44100.0);
  HBOversampler<ORVEL> chain(&core, 44100.0);
  chain.setSampleRate(kHostRate);
  setInitProgram(core);
  core.setEqualizer(state.range(1) ? 1.0 : 0.0);
  for (auto _ : state) {
    for (double x : in)
      benchmark::DoNotOptimize(chain.process(x, 2, 0));
  }
  const double n = static_cast<double>(in.size());
  state.counters["ns_per_call"] = benchmark::Counter(
      n * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  // Seconds of stereo audio per CPU second: two channels per host sample.
  state.counters["rt_stereo"] =
      benchmark::Counter(n / kHostRate / 2.0, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["newton_steps"] = meanSteps(in, state.range(1) != 0);
}
BENCHMARK(BM_HBOversampler)
    ->Args({-12, 1})
    ->Args({6, 1})
    ->Args({18, 1})
    ->Args({-12, 0})
    ->Args({6, 0})
    ->Unit(benchmark::kMillisecond);

// Both channels as the block processing runs them: left then right for every frame.
void BM_HBOversamplerStereo(benchmark::State& state) {
  DenormalsOff guard;
  const auto left = pinkNoise(static_cast<size_t>(kHostRate), dB(state.range(0)), 4);
  const auto right = pinkNoise(static_cast<size_t>(kHostRate), dB(state.range(0)), 5);
  ORVEL leftCore(44100.0), rightCore(44100.0);
  HBOversampler<ORVEL> leftChain(&leftCore, 44100.0), rightChain(&rightCore, 44100.0);
  for (ORVEL* core : {&leftCore, &rightCore})
    setInitProgram(*core);
  leftChain.setSampleRate(kHostRate);
  rightChain.setSampleRate(kHostRate);
  for (auto _ : state) {
    for (size_t i = 0; i < left.size(); ++i) {
      benchmark::DoNotOptimize(leftChain.process(left[i], 2, 0));
      benchmark::DoNotOptimize(rightChain.process(right[i], 2, 0));
    }
  }
  const double n = static_cast<double>(left.size());
  state.counters["ns_per_frame"] = benchmark::Counter(
      n * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["rt_stereo"] =
      benchmark::Counter(n / kHostRate, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_HBOversamplerStereo)->Arg(-12)->Arg(6)->Arg(18)->Unit(benchmark::kMillisecond);

// Counts, for two cores run through processPair, the Newton steps of every solve and the steps
// of the paired loop, which runs as long as the slower of its two lanes.
struct CountingPair {
  ORVEL* core;
  long steps = 0, pairedSteps = 0, solves = 0;
  static void processPair(CountingPair& a, double xa, CountingPair& b, double xb, double& ya,
                          double& yb) {
    ORVEL::processPair(*a.core, xa, *b.core, xb, ya, yb);
    const int sa = a.core->getTube().lastStepCount(), sb = b.core->getTube().lastStepCount();
    a.steps += sa + sb;
    a.pairedSteps += std::max(sa, sb);
    ++a.solves;
  }
  double process(double x) { return core->process(x); }
  void setSampleRate(double rate) { core->setSampleRate(rate); }
  void clearFilterHistory() { core->clearFilterHistory(); }
};

// Both channels through processPair: the same results, with the two tube solves side by side.
void BM_HBOversamplerPair(benchmark::State& state) {
  DenormalsOff guard;
  const auto left = pinkNoise(static_cast<size_t>(kHostRate), dB(state.range(0)), 4);
  const auto right = pinkNoise(static_cast<size_t>(kHostRate), dB(state.range(0)), 5);
  ORVEL leftCore(44100.0), rightCore(44100.0);
  HBOversampler<ORVEL> leftChain(&leftCore, 44100.0), rightChain(&rightCore, 44100.0);
  for (ORVEL* core : {&leftCore, &rightCore})
    setInitProgram(*core);
  leftChain.setSampleRate(kHostRate);
  rightChain.setSampleRate(kHostRate);
  for (auto _ : state) {
    for (size_t i = 0; i < left.size(); ++i) {
      double yl, yr;
      HBOversampler<ORVEL>::processPair(leftChain, left[i], rightChain, right[i], yl, yr);
      benchmark::DoNotOptimize(yl);
      benchmark::DoNotOptimize(yr);
    }
  }
  const double n = static_cast<double>(left.size());
  state.counters["ns_per_frame"] = benchmark::Counter(
      n * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["rt_stereo"] =
      benchmark::Counter(n / kHostRate, benchmark::Counter::kIsIterationInvariantRate);

  ORVEL countedLeft(kHighRate), countedRight(kHighRate);
  for (ORVEL* core : {&countedLeft, &countedRight})
    setInitProgram(*core);
  CountingPair a{&countedLeft}, b{&countedRight};
  HBOversampler<CountingPair> countingLeft(&a, kHostRate), countingRight(&b, kHostRate);
  for (size_t i = 0; i < left.size(); ++i) {
    double yl, yr;
    HBOversampler<CountingPair>::processPair(countingLeft, left[i], countingRight, right[i], yl,
                                             yr);
  }
  const double solves = static_cast<double>(a.solves);
  state.counters["newton_steps"] = static_cast<double>(a.steps) / (2.0 * solves);
  state.counters["paired_steps"] = static_cast<double>(a.pairedSteps) / solves;
}
BENCHMARK(BM_HBOversamplerPair)->Arg(-12)->Arg(6)->Arg(18)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
