#include "dsp/tube/HBOversampler.h"

#include "TestSignals.h"
#include "dsp/tube/ChannelLanes.h"
#include "dsp/tube/ORVEL.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <complex>
#include <cstdint>
#include <gtest/gtest.h>
#include <initializer_list>
#include <limits>
#include <numbers>
#include <vector>

namespace {

// A processor that returns its input and records what the oversampler asks of it.
struct Probe {
  std::vector<double> inputs;
  double rate = 0.0;
  int rateCalls = 0;
  int historyClears = 0;
  int tubeResets = 0;

  double process(double x) {
    inputs.push_back(x);
    return x;
  }
  void setSampleRate(double r) {
    rate = r;
    ++rateCalls;
  }
  void clearFilterHistory() { ++historyClears; }
  void resetTube() { ++tubeResets; }
};

std::vector<double> impulseResponse(size_t n) {
  Probe probe;
  HBOversampler<Probe> os(&probe, 44100.0);
  std::vector<double> h(n);
  for (size_t i = 0; i < n; ++i)
    h[i] = os.process(i == 0 ? 1.0 : 0.0, 2, 0);
  return h;
}

std::complex<double> responseAt(const std::vector<double>& h, double cyclesPerSample) {
  std::complex<double> sum = 0.0;
  for (size_t n = 0; n < h.size(); ++n)
    sum +=
        h[n] * std::polar(1.0, -2.0 * std::numbers::pi * cyclesPerSample * static_cast<double>(n));
  return sum;
}

TEST(HBOversampler, ImpulseResponseOfTheRoundTrip) {
  const auto h = impulseResponse(4096);
  const double expected[] = {0, 0.00001, 0.00047, 0.00789, 0.06337, 0.26224, 0.54056, 0.39492};
  for (int i = 0; i < 8; ++i)
    EXPECT_NEAR(h[i], expected[i], 0.5e-5) << "sample " << i;
  for (int i = 0; i < 20; ++i)
    EXPECT_TRUE(i == 6 || h[i] < h[6]) << "the peak is sample 7, not " << i;
  double sum = 0.0;
  for (double x : h)
    sum += x;
  EXPECT_NEAR(sum, 1.0, 1e-12);
  EXPECT_LT(std::fabs(h.back()), 1e-15); // fully decayed
}

TEST(HBOversampler, MagnitudeAndGroupDelayOfTheRoundTrip) {
  const auto h = impulseResponse(4096);
  for (double f = 0.0; f <= 0.46 + 1e-12; f += 0.0025) {
    const double dB = 20.0 * std::log10(std::abs(responseAt(h, f)));
    EXPECT_LT(std::fabs(dB), 1e-8) << "at " << f << " of the host rate";
  }
  EXPECT_NEAR(20.0 * std::log10(std::abs(responseAt(h, 0.49))), -0.13, 0.005);
  EXPECT_LT(std::abs(responseAt(h, 0.5)), 1e-9); // null at the host's Nyquist frequency

  // Low-frequency group delay: first moment of the impulse response.
  double moment = 0.0, sum = 0.0;
  for (size_t n = 0; n < h.size(); ++n) {
    moment += static_cast<double>(n) * h[n];
    sum += h[n];
  }
  EXPECT_NEAR(moment / sum, 5.498, 0.0005);
}

TEST(HBOversampler, ConstantSettlesToOneAndNyquistDecays) {
  Probe probe;
  HBOversampler<Probe> constant(&probe, 44100.0);
  double y = 0.0;
  for (int i = 0; i < 2000; ++i)
    y = constant.process(1.0, 2, 0);
  EXPECT_NEAR(y, 1.0, 1e-12);

  Probe probe2;
  HBOversampler<Probe> alternating(&probe2, 44100.0);
  double early = 0.0, late = 0.0;
  for (int i = 0; i < 3000; ++i) {
    const double out = std::fabs(alternating.process(i % 2 ? -1.0 : 1.0, 2, 0));
    if (i < 100) early = std::max(early, out);
    if (i >= 2900) late = std::max(late, out);
  }
  EXPECT_GT(early, 0.1);
  EXPECT_LT(late, 1e-9);
}

// Per input sample the processor sees branch A's output, then branch B's.
TEST(HBOversampler, CallsTheProcessorTwicePerSampleBranchAFirst) {
  Probe probe;
  HBOversampler<Probe> os(&probe, 44100.0);
  AllpassChain a(HalfBandStage::kCoefficientsA, 6);
  AllpassChain b(HalfBandStage::kCoefficientsB, 6);
  testsignals::Noise noise(4);
  for (int i = 0; i < 200; ++i) {
    const double x = noise.next();
    os.process(x, 2, 0);
    ASSERT_EQ(probe.inputs.size(), static_cast<size_t>(2 * (i + 1)));
    EXPECT_EQ(probe.inputs[2 * i], a.process(x));
    EXPECT_EQ(probe.inputs[2 * i + 1], b.process(x));
  }
}

// The processor is brought to factor x base rate at construction, not left at its own rate.
TEST(HBOversampler, ConstructionAndRateChangeSetTheProcessorRate) {
  Probe probe;
  HBOversampler<Probe> os(&probe, 44100.0);
  EXPECT_EQ(os.getFactor(), 2u);
  EXPECT_EQ(os.getStageCount(), 1u);
  EXPECT_EQ(probe.rate, 88200.0);

  ORVEL core(44100.0);
  HBOversampler<ORVEL> chain(&core, 44100.0);
  EXPECT_EQ(core.getFilter().sampleRate, 88200.0);
  EXPECT_EQ(core.getTube().getSampleRate(), 88200.0);
  chain.setSampleRate(48000.0);
  EXPECT_EQ(chain.getBaseSampleRate(), 48000.0);
  EXPECT_EQ(core.getFilter().sampleRate, 96000.0);
  EXPECT_EQ(core.getTube().getSampleRate(), 96000.0);
}

// setFactor with the current factor and setSampleRate keep the stage states; a new factor
// resets both stage sets and sets the processor to the new high rate.
TEST(HBOversampler, SetFactorResetsOnlyOnAChange) {
  Probe p1, p2;
  HBOversampler<Probe, 4> touched(&p1, 48000.0);
  HBOversampler<Probe, 4> untouched(&p2, 48000.0);
  EXPECT_EQ(touched.getFactor(), 4u);
  EXPECT_EQ(touched.getStageCount(), 2u);
  EXPECT_EQ(p1.rate, 192000.0);
  const auto in = testsignals::pinkNoise(600, 1.0, 8);
  for (int i = 0; i < 300; ++i) {
    touched.process(in[i], 4, 0);
    untouched.process(in[i], 4, 0);
  }
  const int calls = p1.rateCalls;
  touched.setFactor(4);
  EXPECT_EQ(p1.rateCalls, calls);
  touched.setSampleRate(48000.0);
  EXPECT_EQ(p1.rate, 192000.0);
  for (int i = 300; i < 400; ++i)
    ASSERT_EQ(touched.process(in[i], 4, 0), untouched.process(in[i], 4, 0));

  touched.setFactor(2);
  EXPECT_EQ(touched.getFactor(), 2u);
  EXPECT_EQ(p1.rate, 96000.0);
  EXPECT_EQ(p1.historyClears, 0); // only the stages are reset
  Probe p3;
  HBOversampler<Probe, 4> fresh(&p3, 48000.0);
  fresh.setFactor(2);
  for (int i = 400; i < 600; ++i)
    ASSERT_EQ(touched.process(in[i], 2, 0), fresh.process(in[i], 2, 0));

  touched.setFactor(3); // not a power of two: ignored
  touched.setFactor(8); // above the stages built: ignored
  EXPECT_EQ(touched.getFactor(), 2u);
}

// At factor 4 the processor sees four high-rate samples per input, in time order, and the
// cascade of two round trips still has unity gain.
TEST(HBOversampler, TwoStagesRunTheProcessorAtFourTimesTheRate) {
  Probe probe;
  HBOversampler<Probe, 4> os(&probe, 44100.0);
  double sum = 0.0;
  for (int i = 0; i < 4000; ++i)
    sum += os.process(i == 0 ? 1.0 : 0.0, 4, 0);
  EXPECT_EQ(probe.inputs.size(), 16000u);
  EXPECT_NEAR(sum, 1.0, 1e-12);
  // The high-rate impulse response is a smooth bump: its samples come in time order.
  double high = 0.0;
  for (double x : probe.inputs)
    high += x;
  EXPECT_NEAR(high, 4.0, 1e-9); // interpolation gain: 2 per stage
  Probe dc;
  HBOversampler<Probe, 4> constant(&dc, 44100.0);
  double y = 0.0;
  for (int i = 0; i < 3000; ++i)
    y = constant.process(1.0, 4, 0);
  EXPECT_NEAR(y, 1.0, 1e-12);
}

TEST(HBOversampler, ResetClearsStagesAndAsksTheProcessorToRecover) {
  Probe probe;
  HBOversampler<Probe> os(&probe, 44100.0);
  for (double x : testsignals::pinkNoise(1000, 1.0, 6))
    os.process(x, 2, 0);
  os.reset();
  EXPECT_EQ(probe.historyClears, 1);
  EXPECT_EQ(probe.tubeResets, 1);
  for (int i = 0; i < 100; ++i)
    ASSERT_EQ(os.process(0.0, 2, 0), 0.0);
}

// The stereo entries give exactly the two channels' own results, whatever each core's switches
// and glides: the frame-by-frame pair call, and the block-wise lanes in both of their forms
// (vector and portable), with the right equalizer taking the left one's designs as the channel
// pair sets it up. Blocks of changing length; settings change between blocks, one side at a
// time or both.
TEST(HBOversampler, PairProcessingEqualsTwoChannelsBitForBit) {
  enum class Entry { kPairCall, kLanes, kPortableLanes };
  struct Switches {
    bool eqLeft, eqRight, tubeLeft, tubeRight;
  };
  const Switches switchSets[] = {{true, true, true, true},  {true, true, true, false},
                                 {true, true, false, true}, {true, false, true, true},
                                 {false, true, true, true}, {false, false, false, false},
                                 {false, true, true, false}};
  const auto left = testsignals::pinkNoise(12000, 0.5, 21);
  const auto right = testsignals::pinkNoise(12000, 2.0, 22);
  for (Entry entry : {Entry::kPairCall, Entry::kLanes, Entry::kPortableLanes}) {
    ORVEL l1(44100.0), r1(44100.0), l2(44100.0), r2(44100.0);
    r1.getFilter().shareDesignsWith(&l1.getFilter());
    r2.getFilter().shareDesignsWith(&l2.getFilter());
    HBOversampler<ORVEL> sl(&l1, 44100.0), sr(&r1, 44100.0), pl(&l2, 44100.0), pr(&r2, 44100.0);
    for (auto* os : {&sl, &sr, &pl, &pr})
      os->setSampleRate(48000.0);
    const auto set = [](std::initializer_list<ORVEL*> cores, auto change) {
      for (ORVEL* core : cores)
        change(*core);
    };
    // Every few blocks the right tube is switched halfway through, as another thread may.
    const auto process = [&](size_t from, size_t to, bool flip) {
      const size_t flipAt = flip ? from + (to - from) / 2 : to;
      const auto flipTube = [](ORVEL& c) { c.setTubeBuffer(!c.isTubeBufferOn()); };
      std::vector<double> yl(to - from), yr(to - from);
      if (entry == Entry::kPairCall) {
        for (size_t i = from; i < to; ++i) {
          if (i == flipAt) flipTube(r2);
          HBOversampler<ORVEL>::processPair(pl, left[i], pr, right[i], yl[i - from], yr[i - from]);
        }
      } else {
        const auto run = [&]<class V>(V) {
          ASSERT_TRUE(HBOversampler<ORVEL>::PairLanes<V>::fits(pl, pr));
          HBOversampler<ORVEL>::PairLanes<V> lanes(pl, pr);
          for (size_t i = from; i < to; ++i) {
            if (i == flipAt) flipTube(r2);
            const V y = lanes.process(V{left[i], right[i]});
            yl[i - from] = y[0];
            yr[i - from] = y[1];
          }
          lanes.store();
        };
        if (entry == Entry::kLanes)
          run(channel_lanes::Pair{});
        else
          run(channel_lanes::Scalar{});
      }
      for (size_t i = from; i < to; ++i) {
        if (i == flipAt) flipTube(r1);
        const double el = sl.process(left[i], 2, 0);
        const double er = sr.process(right[i], 2, 0);
        ASSERT_EQ(std::bit_cast<uint64_t>(yl[i - from]), std::bit_cast<uint64_t>(el)) << i;
        ASSERT_EQ(std::bit_cast<uint64_t>(yr[i - from]), std::bit_cast<uint64_t>(er)) << i;
      }
    };
    size_t at = 0;
    for (int block = 0; at < left.size(); ++block) {
      SCOPED_TRACE(testing::Message() << "entry " << static_cast<int>(entry) << " block " << block);
      const Switches& sw = switchSets[(block / 6) % std::size(switchSets)];
      set({&l1, &l2}, [&](ORVEL& c) {
        c.setEqualizer(sw.eqLeft);
        c.setTubeBuffer(sw.tubeLeft);
      });
      set({&r1, &r2}, [&](ORVEL& c) {
        c.setEqualizer(sw.eqRight);
        c.setTubeBuffer(sw.tubeRight);
      });
      const double v = 0.1 * (block % 10);
      if (block % 4 == 0) // both alike: the right side takes the left's designs
        set({&l1, &l2, &r1, &r2},
            [&](ORVEL& c) { c.setFilterParameters(v, 0.2, 0.6, 1.0, 0.2, 1.0 - v, 0.0, 0.5); });
      if (block % 9 == 3) // one side alone
        set({&r1, &r2},
            [&](ORVEL& c) { c.setFilterParameters(0.0, 0.4, 0.2, 0.5, 0.8, 0.0, 0.7, 0.2); });
      const size_t length = std::min<size_t>(1 + (block * 37) % 300, left.size() - at);
      process(at, at + length, block % 5 == 2);
      at += length;
    }
  }
}

// A NaN or an infinity wedges the chain: it stays in the allpass and equalizer states, the tube
// stage reads the NaN it then receives as a cut-off lower triode, its upper cathode runs away
// and the output sits at about -250, finite, for good. An input large enough to throw the tube
// stage far outside its operating range does much the same with a finite state. reset() brings
// the whole chain back to the state of a fresh one, tube stage included.
TEST(HBOversampler, ResetRecoversTheChainFromNonFiniteOrAbsurdInput) {
  struct Case {
    double input;
    bool leavesNonFiniteState;
  };
  const Case cases[] = {{std::numeric_limits<double>::quiet_NaN(), true},
                        {std::numeric_limits<double>::infinity(), true},
                        {-std::numeric_limits<double>::infinity(), true},
                        {1e300, false},
                        {-1e308, false}};
  const auto music = testsignals::pinkNoise(44100, 0.3, 10);
  for (const Case& c : cases) {
    ORVEL core(44100.0);
    core.setEqualizer(1.0);
    core.setTubeBuffer(1.0);
    HBOversampler<ORVEL> chain(&core, 44100.0);
    for (int i = 0; i < 4410; ++i)
      chain.process(music[i], 2, 0);
    EXPECT_TRUE(chain.isStateFinite());
    chain.process(c.input, 2, 0);
    chain.process(c.input, 2, 0);
    double last = 0.0;
    for (int i = 0; i < 8820; ++i)
      last = chain.process(music[i], 2, 0);
    EXPECT_EQ(chain.isStateFinite(), !c.leavesNonFiniteState) << c.input;
    EXPECT_TRUE(std::fabs(last) > 100.0) << c.input << ": " << last;
    if (c.leavesNonFiniteState) {
      EXPECT_NEAR(last, -250.6, 0.1) << c.input;
    }

    chain.reset();
    EXPECT_TRUE(chain.isStateFinite()) << c.input;
    ORVEL freshCore(44100.0);
    freshCore.setEqualizer(1.0);
    freshCore.setTubeBuffer(1.0);
    HBOversampler<ORVEL> fresh(&freshCore, 44100.0);
    for (int i = 0; i < 44100; ++i) {
      ASSERT_EQ(chain.process(music[i], 2, 0), fresh.process(music[i], 2, 0))
          << c.input << " at " << i;
    }
  }
}

// Why the reset must reach the tube stage: with only the equalizer history cleared, the stage
// starts from its run-away nodes and puts out hundreds to thousands of volts for seconds.
TEST(HBOversampler, ClearingOnlyTheEqualizerLeavesTheTubeStageRunAway) {
  ORVEL core(88200.0);
  core.setEqualizer(1.0);
  core.setTubeBuffer(1.0);
  const auto music = testsignals::sine(88200, 0.1, 440.0, 88200.0);
  for (double x : music)
    core.process(x);
  core.process(std::numeric_limits<double>::quiet_NaN());
  for (double x : music)
    core.process(x); // NaN circulates in the equalizer for this second
  EXPECT_GT(core.getTube().getUpperCathodeVoltage(), 1000.0);
  core.clearFilterHistory();
  double worst = 0.0;
  for (double x : music)
    worst = std::max(worst, std::fabs(core.process(x)));
  EXPECT_GT(worst, 100.0);
  core.clearFilterHistory();
  core.resetTube();
  worst = 0.0;
  for (double x : music)
    worst = std::max(worst, std::fabs(core.process(x)));
  EXPECT_LT(worst, 1.0);
}

} // namespace
