// Cost of one equalizer design (a glide step's redesign, the section's conversion included) and
// of one filter sample.
//   cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DOMBRINE_BENCH=ON
//   cmake --build build --target bench_eq && build/bench/bench_eq
#include "dsp/eq/ORVELFilterSmoothed.h"

#include <benchmark/benchmark.h>

namespace {

void BM_EqualizerDesign(benchmark::State& state) {
  ORVELFilterSmoothed f(96000.0);
  f.setTargets(0.6, 0.3, 0.8, 0.4, 0.3, 0.7, 0.2, 0.6);
  double wobble = 0.0;
  for (auto _ : state) {
    f.controls[0] = 0.3 + wobble; // a fresh value each time, as during a glide
    wobble = wobble > 0.5 ? 0.0 : wobble + 1e-3;
    f.updateCoefficients();
    benchmark::DoNotOptimize(f.section.v[0]);
  }
}
BENCHMARK(BM_EqualizerDesign);

// The same where the low band's poles crowd z = 1 (Lo Boost and Lo Cut full at 20 Hz, 192 kHz
// host): the section's conversion runs again in extended precision.
void BM_EqualizerDesignExtended(benchmark::State& state) {
  ORVELFilterSmoothed f(384000.0);
  f.setTargets(1.0, 1.0, 0.0, 0.0, 1.0, 1.0, 1.0, 0.0);
  double wobble = 0.0;
  for (auto _ : state) {
    f.controls[0] = 0.3 + wobble;
    wobble = wobble > 0.5 ? 0.0 : wobble + 1e-3;
    f.updateCoefficients();
    benchmark::DoNotOptimize(f.section.v[0]);
  }
}
BENCHMARK(BM_EqualizerDesignExtended);

void BM_SectionSample(benchmark::State& state) {
  ORVELFilterSmoothed f(96000.0);
  f.setTargets(0.6, 0.3, 0.8, 0.4, 0.3, 0.7, 0.2, 0.6);
  f.tick(0.0);
  double x = 0.1;
  for (auto _ : state) {
    x = -x;
    benchmark::DoNotOptimize(f.section.process(x));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SectionSample);

// The core's per-sample entry while idle: flag test, then the section.
void BM_TickIdle(benchmark::State& state) {
  ORVELFilterSmoothed f(96000.0);
  f.tick(0.0);
  double x = 0.1;
  for (auto _ : state) {
    x = -x;
    benchmark::DoNotOptimize(f.tick(x));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TickIdle);

// While gliding at 96000 Hz: a design every second sample.
void BM_TickGliding(benchmark::State& state) {
  ORVELFilterSmoothed f(96000.0);
  f.tick(0.0);
  double x = 0.1;
  int n = 0;
  for (auto _ : state) {
    if (n++ % 512 == 0) f.setTargets((n / 512) % 2, 0.3, 0.8, 0.4, 0.3, 0.7, 0.2, 0.6);
    x = -x;
    benchmark::DoNotOptimize(f.tick(x));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TickGliding);

} // namespace

BENCHMARK_MAIN();
