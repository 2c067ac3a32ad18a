// The channel pair's block loops against two chains built alone and run one sample at a time,
// the way the behaviour is defined: levels, mode routing, switches and glides set between blocks.
#include "core/ChannelPairProcessor.h"
#include "core/Parameters.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

namespace {

struct Chain {
  Chain() : core(44100.0), oversampler(&core, 44100.0) {}
  ORVEL core;
  HBOversampler<ORVEL> oversampler;
};

// The same parameter through the processor and into both reference chains.
struct Setter {
  ChannelPairProcessor& processor;
  Chain& left;
  Chain& right;
  float values[kNumParams];

  void operator()(int index, float value) {
    processor.setParameter(index, value);
    values[index] = value;
    for (Chain* c : {&left, &right}) {
      if (index == kTubeBuffer) c->core.setTubeBuffer(value);
      if (index == kEqualizer) c->core.setEqualizer(value);
      if (index >= kHiBoost && index <= kLoFreq) {
        const float* v = &values[kHiBoost];
        c->core.setFilterParameters(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
      }
    }
  }
};

// Glides on every block; the mode, the switches and the levels now and then, and blocks of
// 1..256 frames. A mono stretch leaves the right equalizer's glide behind the left one's.
// `check` gets each block's outputs with the two reference chains' outputs for it.
template <class Check>
void runScenario(double rate, ChannelPairProcessor& processor, const Check& check) {
  Chain left, right;
  Setter set{processor, left, right, {}};
  for (int i = 0; i < kNumParams; ++i)
    set(i, parameters::info(i).initial);
  processor.prepare(rate);
  for (Chain* c : {&left, &right})
    c->oversampler.setSampleRate(rate);

  std::uint64_t seed = 12345;
  const auto noise = [&seed] {
    seed = seed * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<double>(seed >> 11) * 0x1.0p-52 - 1.0;
  };
  for (int block = 0; block < 120; ++block) {
    SCOPED_TRACE(testing::Message() << rate << " Hz, block " << block);
    set(kHiBoost, static_cast<float>((block % 17) / 16.0));
    if (block % 5 == 0) set(kLoCut, static_cast<float>(0.5 + 0.5 * noise()));
    if (block % 11 == 4) set(kHiBoostFreq, static_cast<float>(0.5 + 0.5 * noise()));
    if (block % 13 == 6) set(kInputLevel, static_cast<float>(0.5 + 0.5 * noise()));
    if (block % 19 == 9) set(kOutputLevel, static_cast<float>(0.5 + 0.5 * noise()));
    if (block % 23 == 11) set(kTubeBuffer, block % 46 == 11 ? 0.0f : 1.0f);
    if (block % 29 == 14) set(kEqualizer, block % 58 == 14 ? 0.0f : 1.0f);
    set(kMode, block % 40 < 7 ? 0.0f : 1.0f);
    const bool stereo = set.values[kMode] >= 0.5f;
    const double gIn = parameters::levelGain(kInputLevel, set.values[kInputLevel]);
    const double gOut = parameters::levelGain(kOutputLevel, set.values[kOutputLevel]);

    const int n = 1 + (block * 53) % 256;
    std::vector<double> inL(n), inR(n), outL(n), outR(n), refL(n), refR(n);
    for (int i = 0; i < n; ++i) {
      inL[i] = 0.6 * noise();
      inR[i] = 0.4 * noise();
    }
    processor.process(inL.data(), inR.data(), outL.data(), outR.data(), n);
    for (int i = 0; i < n; ++i) {
      refL[i] = left.oversampler.process(inL[i] * gIn) * gOut;
      refR[i] = stereo ? right.oversampler.process(inR[i] * gIn) * gOut : refL[i];
    }
    check(outL, outR, refL, refR);
  }
}

TEST(ChannelPair, BlocksEqualTheChainsRunSampleBySample) {
  for (double rate : {44100.0, 96000.0}) {
    ChannelPairProcessor processor;
    ASSERT_TRUE(processor.useStereoBuild(stereo_block::Build::kBaseline));
    runScenario(
        rate, processor,
        [](const auto& outL, const auto& outR, const auto& refL, const auto& refR) {
          for (std::size_t i = 0; i < outL.size(); ++i) {
            ASSERT_EQ(std::bit_cast<std::uint64_t>(outL[i]), std::bit_cast<std::uint64_t>(refL[i]))
                << i;
            ASSERT_EQ(std::bit_cast<std::uint64_t>(outR[i]), std::bit_cast<std::uint64_t>(refR[i]))
                << i;
          }
        });
  }
}

// The wide builds fuse multiplications with additions in the oversampler and the tube solve:
// the same chains up to rounding, which the Newton solves do not amplify.
TEST(ChannelPair, WideBlocksEqualTheChainsUpToRounding) {
  int tried = 0;
  for (auto build : {stereo_block::Build::kAvx2, stereo_block::Build::kAvx512})
    for (double rate : {44100.0, 96000.0}) {
      ChannelPairProcessor processor;
      if (!processor.useStereoBuild(build)) continue;
      ++tried;
      double worst = 0.0, peak = 0.0;
      runScenario(
          rate, processor,
          [&](const auto& outL, const auto& outR, const auto& refL, const auto& refR) {
            for (std::size_t i = 0; i < outL.size(); ++i) {
              worst = std::max({worst, std::fabs(outL[i] - refL[i]), std::fabs(outR[i] - refR[i])});
              peak = std::max({peak, std::fabs(refL[i]), std::fabs(refR[i])});
            }
          });
      EXPECT_GT(worst, 0.0) << "the wide build was not used";
      EXPECT_LE(worst, 1e-10 * peak) << rate;
    }
  if (tried == 0) GTEST_SKIP() << "no wide build runs here";
}

} // namespace
