// The LV2 plug-in's audio against the VST 2.4 module's: the same core behind both, so every
// parameter value must sound the same in both formats, bad values included; and a hostile host
// must not crash it.
#include "FuzzSettings.h"
#include "lv2/Lv2TestHost.h"
#include "module/ModuleFixture.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>

namespace {

constexpr double kRate = 48000.0;
constexpr std::size_t kBlock = 256;
constexpr int kBlocks = 10;
constexpr int kChangeAt = 4; // block before which the value under test is set, mid-stream

// Stereo noise of peak 0.3, the same for both formats.
float sample(int channel, std::size_t n) {
  std::uint32_t s =
      static_cast<std::uint32_t>(n * 2 + static_cast<std::size_t>(channel)) * 2654435761u;
  s ^= s >> 15;
  s *= 2246822519u;
  s ^= s >> 13;
  return 0.3f * (static_cast<float>(s % 20001) / 10000.0f - 1.0f);
}

using Audio = std::vector<float>; // left then right, block after block

// A value set before the first block (the startup snap) or mid-stream (a glide), as port value in
// LV2 and normalised in VST.
Audio renderLv2(int index, float port, bool fromStart) {
  lv2test::Instance lv2(kRate, kBlock);
  EXPECT_TRUE(lv2.valid());
  Audio out;
  for (int b = 0; b < kBlocks && lv2.valid(); ++b) {
    if (b == (fromStart ? 0 : kChangeAt)) lv2.controls[static_cast<std::size_t>(index)] = port;
    for (std::size_t i = 0; i < kBlock; ++i)
      for (int c = 0; c < 2; ++c)
        lv2.in[static_cast<std::size_t>(c)][i] = sample(c, b * kBlock + i);
    lv2.run(kBlock);
    for (int c = 0; c < 2; ++c)
      out.insert(out.end(), lv2.out[static_cast<std::size_t>(c)].begin(),
                 lv2.out[static_cast<std::size_t>(c)].end());
  }
  return out;
}

Audio renderVst(int index, float normalised, bool fromStart) {
  vsthost::Plugin vst(builtModule());
  vst.setSampleRate(static_cast<float>(kRate));
  StereoBlock<float> block(kBlock);
  Audio out;
  for (int b = 0; b < kBlocks; ++b) {
    if (b == (fromStart ? 0 : kChangeAt)) vst.setParameter(index, normalised);
    for (std::size_t i = 0; i < kBlock; ++i)
      for (int c = 0; c < 2; ++c)
        block.in[static_cast<std::size_t>(c)][i] = sample(c, b * kBlock + i);
    vst.process(block.inputs(), block.outputs(), static_cast<VstInt32>(kBlock));
    for (int c = 0; c < 2; ++c)
      out.insert(out.end(), block.out[static_cast<std::size_t>(c)].begin(),
                 block.out[static_cast<std::size_t>(c)].end());
  }
  return out;
}

double maxDifference(const Audio& a, const Audio& b) {
  if (a.size() != b.size()) return INFINITY;
  double worst = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (!std::isfinite(a[i]) || !std::isfinite(b[i])) return INFINITY;
    worst = std::max(worst, static_cast<double>(std::fabs(a[i] - b[i])));
  }
  return worst;
}

struct Pair {
  float normalised; // VST
  float port;       // LV2
};

// Every step of every selector and toggle, both ends of every range.
std::vector<Pair> matchingValues(int index) {
  const ParameterInfo& p = parameters::info(index);
  std::vector<Pair> pairs;
  if (p.stepped()) {
    for (int k = 0; k < p.numSteps(); ++k)
      pairs.push_back({static_cast<float>(parameters::stepNormalised(p.numSteps(), k)),
                       static_cast<float>(p.steps[static_cast<std::size_t>(k)].value)});
  } else {
    pairs.push_back({0.0f, static_cast<float>(p.minimum)});
    pairs.push_back({1.0f, static_cast<float>(p.maximum)});
  }
  return pairs;
}

TEST(Lv2Audio, EveryStepAndRangeEndSoundsAsInTheVstModule) {
  for (int index = 0; index < kNumParams; ++index)
    for (const Pair& v : matchingValues(index))
      for (bool fromStart : {true, false})
        EXPECT_LE(maxDifference(renderLv2(index, v.port, fromStart),
                                renderVst(index, v.normalised, fromStart)),
                  1e-6)
            << parameters::info(index).name << " = " << v.port
            << (fromStart ? " before the first block" : " mid-stream");
}

// NaN is the lowest value, the infinities and everything beyond a range its nearest end; the same
// values in VST terms (normalised) give the same audio.
TEST(Lv2Audio, BadValuesActAsTheClampedValueInBothFormats) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  for (int index = 0; index < kNumParams; ++index) {
    const ParameterInfo& p = parameters::info(index);
    const float lo = static_cast<float>(p.minimum), hi = static_cast<float>(p.maximum);
    const Audio atLow = renderLv2(index, lo, false), atHigh = renderLv2(index, hi, false);
    const std::pair<float, const Audio*> lv2Cases[] = {
        {nan, &atLow},  {-inf, &atLow},   {-1e30f, &atLow},    {lo - 1.0f, &atLow},
        {inf, &atHigh}, {1e30f, &atHigh}, {hi + 1.0f, &atHigh}};
    for (const auto& [value, expected] : lv2Cases)
      EXPECT_EQ(maxDifference(renderLv2(index, value, false), *expected), 0.0)
          << p.name << " port value " << value;
    const std::pair<float, const Audio*> vstCases[] = {
        {nan, &atLow},  {-inf, &atLow},   {-1e30f, &atLow}, {-1.0f, &atLow},
        {inf, &atHigh}, {1e30f, &atHigh}, {2.0f, &atHigh},  {10.0f, &atHigh}};
    for (const auto& [value, expected] : vstCases)
      EXPECT_LE(maxDifference(renderVst(index, value, false), *expected), 1e-6)
          << p.name << " normalised " << value;
  }
}

// Reactivation starts afresh: what follows sounds as from a new instance.
TEST(Lv2Audio, ActivationStartsFromACleanState) {
  lv2test::Instance used(kRate, kBlock), fresh(kRate, kBlock);
  ASSERT_TRUE(used.valid() && fresh.valid());
  used.controls[kLoBoost] = fresh.controls[kLoBoost] = 1.0f;
  for (std::size_t i = 0; i < kBlock; ++i)
    used.in[0][i] = used.in[1][i] = sample(0, i);
  for (int b = 0; b < 4; ++b)
    used.run(kBlock);
  lv2test::descriptor()->deactivate(used.handle);
  lv2test::descriptor()->activate(used.handle);
  for (int b = 0; b < 3; ++b) {
    for (auto* inst : {&used, &fresh})
      for (std::size_t i = 0; i < kBlock; ++i)
        inst->in[0][i] = inst->in[1][i] = sample(1, b * kBlock + i);
    used.run(kBlock);
    fresh.run(kBlock);
    for (int c = 0; c < 2; ++c)
      ASSERT_EQ(maxDifference(used.out[static_cast<std::size_t>(c)],
                              fresh.out[static_cast<std::size_t>(c)]),
                0.0)
          << b;
  }
}

// A hostile host: random rates, port connections (null, unknown indices, any order), control
// values (NaN, infinities, huge), runs of any size the buffers allow, activation in any order.
// OMBRINE_FUZZ_CALLS and OMBRINE_FUZZ_SEED set the length and the seed.
TEST(Lv2Fuzz, RandomCallsNeverCrash) {
  const std::uint64_t calls = fuzz::calls(20000);
  const std::uint64_t seed = fuzz::seed(1);
  std::mt19937_64 rng(seed);
  const LV2_Descriptor* d = lv2test::descriptor();
  ASSERT_NE(d, nullptr);
  constexpr std::size_t kMax = 1024;
  std::vector<float> buffers[4];
  for (auto& b : buffers)
    b.assign(kMax, 0.0f);
  float controls[kNumParams + 3] = {};
  const float specials[] = {std::numeric_limits<float>::quiet_NaN(),
                            std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity(),
                            1e30f,
                            -1e30f,
                            1e-42f,
                            0.0f,
                            1.0f,
                            20.0f};
  const double rates[] = {44100,
                          48000,
                          96000,
                          192000,
                          8000,
                          1,
                          0,
                          -48000,
                          1e9,
                          1e-300,
                          std::numeric_limits<double>::quiet_NaN(),
                          std::numeric_limits<double>::infinity()};
  LV2_Handle h = nullptr;
  std::uint64_t runs = 0;
  for (std::uint64_t call = 0; call < calls; ++call) {
    const auto pick = [&](std::uint64_t n) { return static_cast<std::size_t>(rng() % n); };
    if (!h) {
      h = d->instantiate(d, rates[pick(std::size(rates))], OMBRINE_LV2_BUNDLE "/", nullptr);
      continue;
    }
    switch (pick(8)) {
    case 0: { // a control port, or an index beyond every port
      const std::uint32_t port =
          static_cast<std::uint32_t>(pick(2) ? pick(kNumParams) : lv2ports::kNumPorts + pick(1000));
      d->connect_port(h, port, pick(8) ? &controls[pick(std::size(controls))] : nullptr);
      break;
    }
    case 1: { // an audio port, maybe null, maybe in place
      const std::uint32_t port = lv2ports::kInputLeft + static_cast<std::uint32_t>(pick(4));
      d->connect_port(h, port, pick(8) ? buffers[pick(4)].data() : nullptr);
      break;
    }
    case 2:
      controls[pick(std::size(controls))] =
          pick(2) ? specials[pick(std::size(specials))]
                  : std::uniform_real_distribution<float>(-30, 30)(rng);
      break;
    case 3: d->activate(h); break;
    case 4: d->deactivate(h); break;
    case 5:
      if (pick(50) == 0) {
        d->cleanup(h);
        h = nullptr;
        break;
      }
      [[fallthrough]];
    default: {
      const std::uint32_t frames = static_cast<std::uint32_t>(pick(4) ? pick(kMax + 1) : pick(3));
      for (auto& b : buffers)
        for (std::size_t i = 0; i < frames; ++i)
          b[i] = std::uniform_real_distribution<float>(-1, 1)(rng);
      d->run(h, frames);
      ++runs;
      break;
    }
    }
  }
  if (h) d->cleanup(h);
  RecordProperty("calls", std::to_string(calls));
  EXPECT_GT(runs, calls / 4);
}

// Output stays finite whatever the controls say, with everything connected properly.
TEST(Lv2Fuzz, ExtremeControlsNeverGiveNonFiniteSamples) {
  std::mt19937 rng(3);
  const float specials[] = {std::numeric_limits<float>::quiet_NaN(),
                            std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity(), 1e30f, -1e30f};
  lv2test::Instance lv2(kRate, kBlock);
  ASSERT_TRUE(lv2.valid());
  for (int b = 0; b < 200; ++b) {
    lv2.controls[rng() % kNumParams] = specials[rng() % std::size(specials)];
    for (std::size_t i = 0; i < kBlock; ++i)
      lv2.in[0][i] = lv2.in[1][i] = sample(0, i) * 3.0f;
    lv2.run(kBlock);
    for (int c = 0; c < 2; ++c)
      for (float y : lv2.out[static_cast<std::size_t>(c)])
        ASSERT_TRUE(std::isfinite(y)) << b;
  }
}

} // namespace
