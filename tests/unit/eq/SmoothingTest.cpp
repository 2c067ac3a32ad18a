// Control glide: step timing, settling, interruption, thread hand-over, the start of processing.
#include "EqTestUtil.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

using eqtest::Settings;

namespace {

// A filter that has processed its first sample, controls and targets at `s`.
void startSettled(ORVELFilterSmoothed& f, const Settings& s) {
  eqtest::setTargets(f, s);
  f.tick(0.0); // before the first sample targets apply at once
  ASSERT_FALSE(f.smoothingActive.load());
}

TEST(Smoothing, TraceLineAtConstruction) {
  testing::internal::CaptureStdout();
  { ORVELFilterSmoothed f(44100.0); }
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "#PARAMS: 8\n");
}

// Which of the first calls take a glide step, by filter rate. Rates under 44100 Hz step on
// every call rather than dividing by a zero interval.
TEST(Smoothing, StepIntervalFollowsTheFilterRate) {
  struct Case {
    double rate;
    int interval;
  };
  const Case cases[] = {{22050.0, 1},  {44100.0, 1},  {48000.0, 1},  {88200.0, 2}, {96000.0, 2},
                        {176400.0, 4}, {192000.0, 4}, {384000.0, 8}, {0.0, 1}};
  for (const Case& c : cases) {
    ORVELFilterSmoothed f(c.rate);
    startSettled(f, eqtest::kInit);
    eqtest::setTargets(f, {1, 1, 0.5, 1, 0.5, 1, 1, 0});
    for (int call = 0; call < 24; ++call) {
      const double before = f.controls[0];
      f.tick(0.0);
      EXPECT_EQ(f.stepInterval, c.interval) << c.rate;
      EXPECT_EQ(f.controls[0] != before, call % c.interval == 0) << c.rate << " call " << call;
    }
    EXPECT_EQ(f.sampleCounter, 24u);
  }
}

TEST(Smoothing, FullRangeMoveSettlesAtThe687thStep) {
  ORVELFilterSmoothed f(88200.0);
  startSettled(f, {0, 0, 0.5, 1, 0.5, 0, 0, 0});
  eqtest::setTargets(f, {1, 0, 0.5, 1, 0.5, 0, 0, 0}); // Hi Boost 0.005 -> 0.995
  int calls = 0, steps = 0;
  while (f.smoothingActive.load() && calls < 100000) {
    const double before = f.controls[0];
    f.tick(0.0);
    ++calls;
    steps += f.controls[0] != before;
  }
  EXPECT_EQ(steps, 687);
  EXPECT_GE(calls, 1373); // about 1374 filter samples at 88200 Hz
  EXPECT_LE(calls, 1374);
  EXPECT_LE(std::fabs(f.controls[0] - 0.995), 0.001);
  EXPECT_GT(std::fabs(f.controls[0] - 0.995), 0.00099 * 0.99); // not overshooting the criterion
}

TEST(Smoothing, EqualTargetsTakeOneStep) {
  ORVELFilterSmoothed f(88200.0);
  startSettled(f, eqtest::kInit);
  const FilterCoefficients before = f.coeffs();
  eqtest::setTargets(f, eqtest::kInit);
  EXPECT_TRUE(f.smoothingActive.load());
  int calls = 0;
  while (f.smoothingActive.load() && calls < 10) {
    f.tick(0.0);
    ++calls;
  }
  EXPECT_EQ(calls, 1); // the counter is even here: a step at the first call
  for (int k = 0; k < 6; ++k)
    EXPECT_EQ(f.coeffs().digitalDen[k], before.digitalDen[k]);
}

TEST(Smoothing, InterruptedGlideContinuesFromCurrentValues) {
  ORVELFilterSmoothed f(44100.0);
  startSettled(f, eqtest::kInit);
  eqtest::setTargets(f, {1, 0, 0.5, 1, 0.5, 0, 0, 0});
  for (int n = 0; n < 100; ++n)
    f.tick(0.0);
  const double midway = f.controls[0];
  EXPECT_GT(midway, 0.3);
  EXPECT_LT(midway, 0.9);
  eqtest::setTargets(f, {0.2, 0, 0.5, 1, 0.5, 0, 0, 0});
  f.tick(0.0);
  EXPECT_DOUBLE_EQ(f.controls[0], midway * 0.99 + 0.2 * 0.01);
}

TEST(Smoothing, SwitchActsAtTheFirstStepWhileItsValueGlides) {
  ORVELFilterSmoothed f(44100.0);
  startSettled(f, eqtest::kInit);
  eqtest::setTargets(f, {0, 0, 0.5, 0.0, 0.5, 0, 0, 0}); // Hi Cut Freq. step 5 -> 0
  f.tick(0.0);
  EXPECT_EQ(f.components().Chc, 1.94e-7);
  int calls = 1;
  while (f.smoothingActive.load() && calls < 100000) {
    f.tick(0.0);
    ++calls;
  }
  EXPECT_GT(calls, 600); // glide runs until the switch's own value has arrived
}

TEST(Smoothing, SampleRateChangeNeitherStartsNorStopsAGlide) {
  ORVELFilterSmoothed f(44100.0);
  startSettled(f, eqtest::kInit);
  f.setSampleRate(96000.0);
  EXPECT_FALSE(f.smoothingActive.load());
  eqtest::setTargets(f, {1, 0, 0.5, 1, 0.5, 0, 0, 0});
  f.setSampleRate(192000.0);
  EXPECT_TRUE(f.smoothingActive.load());
}

// Targets that arrive before the first processed sample (the program's values, a session
// restored by the host) apply at once; from the first sample on, changes glide.
TEST(Smoothing, TargetsBeforeTheFirstSampleApplyAtOnce) {
  ORVELFilterSmoothed f(44100.0);
  eqtest::setTargets(f, eqtest::kInit);
  f.setSampleRate(96000.0);
  eqtest::setTargets(f, {0.6, 0.3, 0.8, 0.4, 0.3, 0.7, 0.2, 0.6});
  EXPECT_EQ(f.controls[0], 0.5); // nothing moves off the audio thread
  f.tick(0.0);
  EXPECT_FALSE(f.smoothingActive.load());
  for (int i = 0; i < 8; ++i)
    EXPECT_EQ(f.controls[i], f.targets[i].load());
  ORVELFilterSmoothed direct(96000.0);
  eqtest::settle(direct, {0.6, 0.3, 0.8, 0.4, 0.3, 0.7, 0.2, 0.6});
  for (int k = 0; k < 6; ++k)
    EXPECT_EQ(f.coeffs().digitalNum[k], direct.coeffs().digitalNum[k]);

  eqtest::setTargets(f, eqtest::kInit);
  f.tick(0.0);
  EXPECT_TRUE(f.smoothingActive.load());
  EXPECT_NEAR(f.controls[0], 0.6 * 0.99 + 0.005 * 0.01, 1e-15);
}

struct StartCase {
  double filterRate;
  bool restoreSession;
};

// Peak of the filter output, white noise of peak 0.1 in: over the first 50 ms, and over the
// following second once any glide has finished.
struct StartPeaks {
  double first50ms, settled;
};

StartPeaks startOfProcessing(const StartCase& c, bool throughTick) {
  ORVELFilterSmoothed f(44100.0); // as the channel core builds it
  eqtest::setTargets(f, eqtest::kInit);
  f.setSampleRate(c.filterRate);
  if (c.restoreSession) eqtest::setTargets(f, {0.6, 0.3, 0.8, 0.4, 0.3, 0.7, 0.2, 0.6});
  auto run = [&](double x) {
    if (throughTick) return f.tick(x);
    if (f.smoothingActive.load()) // glide step then filter, with no special start
      f.smoothStep();
    return f.section.process(x);
  };
  eqtest::Noise noise(42);
  StartPeaks p{0.0, 0.0};
  for (int n = 0; n < static_cast<int>(0.05 * c.filterRate); ++n)
    p.first50ms = std::max(p.first50ms, std::fabs(run(noise.next(0.1))));
  for (int n = 0; n < 400000 && f.smoothingActive.load(); ++n)
    run(noise.next(0.1));
  for (int n = 0; n < static_cast<int>(c.filterRate); ++n)
    p.settled = std::max(p.settled, std::fabs(run(noise.next(0.1))));
  return p;
}

TEST(Smoothing, NoBurstAtTheStartOfProcessing) {
  const StartCase cases[] = {
      {192000.0, false}, {192000.0, true}, {384000.0, false}, {384000.0, true}};
  for (const StartCase& c : cases) {
    const StartPeaks mended = startOfProcessing(c, true);
    EXPECT_LE(mended.first50ms, mended.settled)
        << c.filterRate << (c.restoreSession ? " session" : " Init");
    // Gliding from the constructor's values instead stays bounded too, by the section alone.
    const StartPeaks gliding = startOfProcessing(c, false);
    EXPECT_LE(gliding.first50ms, 1.5 * gliding.settled)
        << c.filterRate << (c.restoreSession ? " session" : " Init");
  }
}

// A filter that takes the designs of another whenever they were made from its own components
// and rate runs exactly as one that always designs: while the two glide in step, after its own
// switch target or rate has parted from the other's and come back, and once the other steps at
// a phase of its own.
TEST(Smoothing, SharedDesignsGiveTheSameBitsAsOwnDesigns) {
  enum Who { kSource, kSharer, kAll };
  struct Event {
    int at; // sample
    Who who;
    Settings targets;
    double rate; // a rate change instead when not 0
  };
  const Settings boost = {0.9, 0.1, 0.7, 0.3, 0.6, 0.8, 0.2, 0.4};
  const Settings otherFreq = {0.9, 0.1, 0.1, 0.3, 0.6, 0.8, 0.2, 0.4};
  const Settings cut = {0.1, 0.9, 0.2, 0.9, 0.1, 0.1, 0.9, 0.9};
  const Event events[] = {
      {100, kAll, boost, 0},         {1500, kAll, cut, 0},   {2400, kAll, boost, 0},
      {2500, kSharer, otherFreq, 0}, {3000, kAll, cut, 0},   {3600, kSharer, {}, 96000.0},
      {4000, kSource, {}, 96000.0},  {4100, kAll, boost, 0}, {5500, kAll, {}, 1536000.0},
      {5600, kAll, cut, 0},          {7000, kAll, boost, 0},
  };
  ORVELFilterSmoothed source(88200.0), sharer(88200.0), twin(88200.0);
  sharer.shareDesignsWith(&source);
  eqtest::Noise noise(7);
  std::size_t next = 0;
  for (int n = 0; n < 9000; ++n) {
    for (; next < std::size(events) && events[next].at == n; ++next) {
      const Event& e = events[next];
      std::vector<ORVELFilterSmoothed*> filters;
      if (e.who != kSharer) filters.push_back(&source);
      if (e.who != kSource) filters.insert(filters.end(), {&sharer, &twin});
      for (ORVELFilterSmoothed* f : filters) {
        if (e.rate != 0)
          f->setSampleRate(e.rate);
        else
          eqtest::setTargets(*f, e.targets);
      }
    }
    const double x = noise.next(0.5);
    source.tick(x);
    if (n == 6500) source.tick(x); // from here on the source steps at a phase of its own
    const double y = sharer.tick(x);
    ASSERT_EQ(std::bit_cast<std::uint64_t>(y), std::bit_cast<std::uint64_t>(twin.tick(x))) << n;
    for (int m = 0; m <= LatticeLadder<5>::kOrder; ++m) {
      ASSERT_EQ(sharer.section.k[m], twin.section.k[m]) << n;
      ASSERT_EQ(sharer.section.v[m], twin.section.v[m]) << n;
      ASSERT_EQ(sharer.coeffs().digitalDen[m], twin.coeffs().digitalDen[m]) << n;
    }
  }
}

// A glide filter whose design can run a callback, standing in for another thread's setTargets
// that lands while a step is in progress.
class ProbeFilter final : public FilterProcessor<5, LatticeLadder<5>, 8>,
                          public FilterParameterSmoothing<ProbeFilter> {
public:
  ProbeFilter()
      : FilterProcessor<5, LatticeLadder<5>, 8>(44100.0), FilterParameterSmoothing<ProbeFilter>(
                                                              44100.0) {}
  void updateCoefficients() override {
    if (duringDesign) {
      auto call = std::move(duringDesign);
      duringDesign = nullptr;
      call();
    }
  }
  void publish(double value) {
    for (auto& t : targets)
      t.store(value);
    publishTargets();
  }
  void snap() { snapToTargets(); }
  std::function<void()> duringDesign;
};

TEST(Smoothing, TargetsPublishedDuringTheSettlingStepAreKept) {
  ProbeFilter f;
  f.publish(0.5); // equal to the controls: this step settles
  f.duringDesign = [&] { f.publish(0.9); };
  f.smoothStep();
  EXPECT_TRUE(f.smoothingActive.load());
  for (int n = 0; n < 2000 && f.smoothingActive.load(); ++n)
    f.smoothStep();
  EXPECT_NEAR(f.controls[3], 0.9, 0.001);

  f.publish(0.2);
  f.duringDesign = [&] { f.publish(0.4); };
  f.snap();
  EXPECT_TRUE(f.smoothingActive.load());
  EXPECT_EQ(f.controls[3], 0.2);
}

// A setTargets racing the step that ends a glide must not be lost: after the writer's last
// call the filter always arrives at its values (also a data-race check under TSan).
TEST(Smoothing, ConcurrentTargetsAreNeverLost) {
  for (int round = 0; round < 20; ++round) {
    ORVELFilterSmoothed f(44100.0);
    startSettled(f, eqtest::kInit);
    std::atomic<bool> done{false};
    std::thread writer([&] {
      for (int n = 0; n < 2000; ++n) {
        const double v = (n % 2) ? 0.0 : 0.0005 * (n % 7);
        f.setTargets(v, 0, 0.5, 1, 0.5, 0, 0, 0);
      }
      f.setTargets(1, 0, 0.5, 1, 0.5, 0, 0, 0);
      done.store(true);
    });
    while (!done.load())
      f.tick(0.0);
    writer.join();
    for (int n = 0; n < 5000 && f.smoothingActive.load(); ++n)
      f.tick(0.0);
    EXPECT_FALSE(f.smoothingActive.load());
    EXPECT_NEAR(f.controls[0], 0.995, 0.001) << "round " << round;
  }
}

} // namespace
