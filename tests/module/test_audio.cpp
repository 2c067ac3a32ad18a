// Audio through the module: chains, modes, precisions, responses and recovery.
#include "module/Measure.h"

#include <cmath>
#include <limits>
#include <random>

namespace {

void equalizerOnly(vsthost::Plugin& p) { p.setParameter(kTubeBufferIndex, 0.0f); }

void bothOff(vsthost::Plugin& p) {
  p.setParameter(kTubeBufferIndex, 0.0f);
  p.setParameter(kEqualizerIndex, 0.0f);
}

std::vector<double> noise(std::size_t n, double peak, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> d(-peak, peak);
  std::vector<double> v(n);
  for (auto& x : v)
    x = d(rng);
  return v;
}

// The equalizer's makeup gain with the tube switched out, +23.7 dB.
const double kMakeUpDb = 20 * std::log10(15.310875);

} // namespace

TEST_F(ModuleTest, StereoChannelsAreIndependent) {
  bothOff(*plugin);
  StereoBlock<float> block(1024);
  const auto left = noise(1024, 0.5, 1);
  for (int i = 0; i < 1024; ++i)
    block.in[0][i] = static_cast<float>(left[i]);
  plugin->process(block.inputs(), block.outputs(), 1024);
  double energy = 0;
  for (int i = 0; i < 1024; ++i) {
    EXPECT_EQ(block.out[1][i], 0.0f);
    energy += block.out[0][i] * block.out[0][i];
  }
  EXPECT_GT(energy, 1.0);
}

TEST(ModuleMono, LeftInputOnlyAndRightChainUntouched) {
  vsthost::Plugin mono(builtModule());
  vsthost::Plugin fresh(builtModule());
  mono.setParameter(kModeIndex, 0.0f);
  StereoBlock<double> a(512), b(512);
  a.in[0] = noise(512, 0.3, 2);
  a.in[1] = noise(512, 0.3, 3);
  mono.processDouble(a.inputs(), a.outputs(), 512);
  for (int i = 0; i < 512; ++i)
    ASSERT_EQ(a.out[0][i], a.out[1][i]);

  // Same left input in stereo on a fresh instance: same left output, up to the rounding of the
  // stereo loop's wide build where the processor has one.
  b.in[0] = a.in[0];
  b.in[1] = noise(512, 0.3, 99);
  fresh.processDouble(b.inputs(), b.outputs(), 512);
  for (int i = 0; i < 512; ++i)
    ASSERT_NEAR(a.out[0][i], b.out[0][i], 1e-12) << i;

  // Back to stereo: the right chain starts where it was, i.e. fresh.
  vsthost::Plugin reference(builtModule());
  mono.setParameter(kModeIndex, 1.0f);
  a.in[1] = noise(512, 0.3, 4);
  b.in[1] = a.in[1];
  mono.processDouble(a.inputs(), a.outputs(), 512);
  reference.processDouble(b.inputs(), b.outputs(), 512);
  for (int i = 0; i < 512; ++i)
    ASSERT_EQ(a.out[1][i], b.out[1][i]);
}

TEST(ModuleBlocks, InPlaceEqualsSeparateBuffers) {
  vsthost::Plugin a(builtModule()), b(builtModule());
  StereoBlock<float> sep(700);
  std::vector<float> l(700), r(700);
  const auto nl = noise(700, 0.7, 5), nr = noise(700, 0.7, 6);
  for (int i = 0; i < 700; ++i) {
    sep.in[0][i] = l[i] = static_cast<float>(nl[i]);
    sep.in[1][i] = r[i] = static_cast<float>(nr[i]);
  }
  float* io[2] = {l.data(), r.data()};
  a.process(sep.inputs(), sep.outputs(), 700);
  b.process(io, io, 700);
  EXPECT_EQ(sep.out[0], l);
  EXPECT_EQ(sep.out[1], r);
}

TEST(ModuleBlocks, FloatAndDoubleDifferOnlyByNarrowing) {
  vsthost::Plugin f(builtModule()), d(builtModule());
  f.setSampleRate(48000.0f);
  d.setSampleRate(48000.0f);
  for (int round = 0; round < 8; ++round) {
    StereoBlock<float> fb(333);
    StereoBlock<double> db(333);
    const auto nl = noise(333, 1.0, 10 + round), nr = noise(333, 1.0, 20 + round);
    for (int i = 0; i < 333; ++i) {
      fb.in[0][i] = static_cast<float>(nl[i]);
      fb.in[1][i] = static_cast<float>(nr[i]);
      db.in[0][i] = fb.in[0][i];
      db.in[1][i] = fb.in[1][i];
    }
    f.process(fb.inputs(), fb.outputs(), 333);
    d.processDouble(db.inputs(), db.outputs(), 333);
    for (int c = 0; c < 2; ++c)
      for (int i = 0; i < 333; ++i)
        ASSERT_EQ(fb.out[c][i], static_cast<float>(db.out[c][i]));
  }
}

TEST_F(ModuleTest, EmptyAndSingleFrameBlocks) {
  StereoBlock<float> block(4);
  block.out[0][0] = block.out[1][0] = 42.0f;
  plugin->process(block.inputs(), block.outputs(), 0);
  plugin->process(block.inputs(), block.outputs(), -5);
  EXPECT_EQ(block.out[0][0], 42.0f);
  block.in[0][0] = block.in[1][0] = 0.0f;
  plugin->process(block.inputs(), block.outputs(), 1);
  EXPECT_TRUE(std::isfinite(block.out[0][0]));
  EXPECT_EQ(block.out[0][1], 0.0f);
  // Null buffers from a faulty host are ignored.
  plugin->process(nullptr, nullptr, 16);
  float* none[2] = {nullptr, nullptr};
  plugin->process(none, none, 16);
}

// Init: equalizer at -23.88 dB at 1 kHz, tube gain about 28.5, post gain
// 0.55: about 0 dB overall.
TEST_F(ModuleTest, InitGainAt1kHz) {
  plugin->setSampleRate(44100.0f);
  const double predicted = -23.88 + 20 * std::log10(28.5) + 20 * std::log10(0.55);
  EXPECT_NEAR(gainDb(*plugin, 1000.0, 44100.0), predicted, 0.1);
}

struct ShapeCase {
  const char* what;
  std::vector<std::pair<VstInt32, float>> settings;
  double frequency;
  double networkDb; // the network's own response at that frequency
  double tolerance;
};

class ModuleShapes : public ModuleTest, public testing::WithParamInterface<ShapeCase> {};

// With the tube switched out the module's response is the network's plus the
// +23.7 dB makeup gain.
TEST_P(ModuleShapes, ResponseAtHostRate) {
  const ShapeCase& c = GetParam();
  plugin->setSampleRate(44100.0f);
  equalizerOnly(*plugin);
  for (const auto& [index, value] : c.settings)
    plugin->setParameter(index, value);
  EXPECT_NEAR(gainDb(*plugin, c.frequency, 44100.0), c.networkDb + kMakeUpDb, c.tolerance)
      << c.what << " at " << c.frequency << " Hz";
}

const std::vector<std::pair<VstInt32, float>> kLoBoost = {{kLoBoostIndex, 1.0f},
                                                          {kLoFreqIndex, 0.5f}};
const std::vector<std::pair<VstInt32, float>> kLoCut = {{kLoCutIndex, 1.0f}, {kLoFreqIndex, 0.5f}};
const std::vector<std::pair<VstInt32, float>> kHiBoostSharp = {
    {kHiBoostIndex, 1.0f}, {kHiBoostFreqIndex, 0.6f}, {kHiFreqQIndex, 0.0f}};
const std::vector<std::pair<VstInt32, float>> kHiBoostBroad = {
    {kHiBoostIndex, 1.0f}, {kHiBoostFreqIndex, 0.6f}, {kHiFreqQIndex, 1.0f}};
const std::vector<std::pair<VstInt32, float>> kHiCut = {{kHiCutIndex, 1.0f},
                                                        {kHiCutFreqIndex, 0.0f}};

INSTANTIATE_TEST_SUITE_P(
    Network, ModuleShapes,
    testing::Values(ShapeCase{"Lo Boost", kLoBoost, 60.0, -11.61, 0.05},
                    ShapeCase{"Lo Boost", kLoBoost, 300.0, -19.40, 0.05},
                    ShapeCase{"Lo Boost", kLoBoost, 1000.0, -23.46, 0.05},
                    ShapeCase{"Lo Cut", kLoCut, 60.0, -42.43, 0.05},
                    ShapeCase{"Lo Cut", kLoCut, 300.0, -34.45, 0.05},
                    ShapeCase{"Lo Cut", kLoCut, 1000.0, -26.73, 0.05},
                    // The digital filter at twice 44100 Hz peaks at -2.27 dB.
                    ShapeCase{"Hi Boost sharp", kHiBoostSharp, 10000.0, -2.27, 0.1},
                    // The bilinear warp lowers the peak's frequency a little, so
                    // its skirt an octave below reads slightly higher.
                    ShapeCase{"Hi Boost sharp", kHiBoostSharp, 5000.0, -14.64, 0.2},
                    ShapeCase{"Hi Boost broad", kHiBoostBroad, 10000.0, -11.62, 0.3},
                    ShapeCase{"Hi Cut", kHiCut, 1000.0, -26.82, 0.05},
                    ShapeCase{"Hi Cut", kHiCut, 5000.0, -36.76, 0.1}));

TEST_F(ModuleTest, ShapesGoTheRightWay) {
  plugin->setSampleRate(48000.0f);
  equalizerOnly(*plugin);
  plugin->setParameter(kLoFreqIndex, 0.5f); // 60 Hz
  const double flat100 = gainDb(*plugin, 100.0, 48000.0);
  const double flat10k = gainDb(*plugin, 10000.0, 48000.0);
  plugin->setParameter(kLoBoostIndex, 1.0f);
  EXPECT_GT(gainDb(*plugin, 100.0, 48000.0), flat100 + 6.0);
  plugin->setParameter(kLoBoostIndex, 0.0f);
  plugin->setParameter(kLoCutIndex, 1.0f);
  EXPECT_LT(gainDb(*plugin, 100.0, 48000.0), flat100 - 6.0);
  plugin->setParameter(kLoCutIndex, 0.0f);
  plugin->setParameter(kHiBoostIndex, 1.0f);
  EXPECT_GT(gainDb(*plugin, 10000.0, 48000.0), flat10k + 6.0);
  plugin->setParameter(kHiBoostIndex, 0.0f);
  plugin->setParameter(kHiCutIndex, 1.0f);
  EXPECT_LT(gainDb(*plugin, 10000.0, 48000.0), flat10k - 6.0);
}

// A non-finite or overflowing input must not wedge the chain: two blocks
// after it, silence in gives silence out.
class ModuleRecovery : public ModuleTest, public testing::WithParamInterface<double> {};

TEST_P(ModuleRecovery, BackToSilenceWithinTwoBlocks) {
  const double bad = GetParam();
  plugin->setSampleRate(48000.0f);
  StereoBlock<double> block(256);
  block.in[0] = noise(256, 0.5, 7);
  block.in[1] = noise(256, 0.5, 8);
  for (int k = 0; k < 20; ++k)
    plugin->processDouble(block.inputs(), block.outputs(), 256);
  block.in[0][100] = bad;
  block.in[1][30] = bad;
  plugin->processDouble(block.inputs(), block.outputs(), 256);
  std::fill(block.in[0].begin(), block.in[0].end(), 0.0);
  std::fill(block.in[1].begin(), block.in[1].end(), 0.0);
  plugin->processDouble(block.inputs(), block.outputs(), 256);
  plugin->processDouble(block.inputs(), block.outputs(), 256);
  for (int c = 0; c < 2; ++c)
    for (double y : block.out[c])
      ASSERT_LT(std::fabs(y), 1e-6) << "input " << bad;
}

INSTANTIATE_TEST_SUITE_P(BadInput, ModuleRecovery,
                         testing::Values(std::numeric_limits<double>::quiet_NaN(),
                                         std::numeric_limits<double>::infinity(),
                                         -std::numeric_limits<double>::infinity(),
                                         // overflows the equalizer
                                         -1.7e308));

// Huge finite input is no fault: the tube model goes far from its operating
// point and comes back by its own time constants (about 6 s from the most
// extreme value a double can hold), always finite.
TEST_F(ModuleTest, HugeFiniteSpikeSettlesByItself) {
  plugin->setSampleRate(48000.0f);
  for (double spike : {1e6, -1e6, 1e300, 1e308}) {
    StereoBlock<double> block(480);
    block.in[0][7] = spike;
    block.in[1][300] = -spike;
    int settledAfter = -1;
    for (int k = 0; k < 800 && settledAfter < 0; ++k) {
      plugin->processDouble(block.inputs(), block.outputs(), 480);
      block.in[0][7] = block.in[1][300] = 0.0;
      double peak = 0;
      for (int c = 0; c < 2; ++c)
        for (double y : block.out[c]) {
          ASSERT_TRUE(std::isfinite(y)) << spike;
          peak = std::max(peak, std::fabs(y));
        }
      if (peak < 1e-6) settledAfter = k;
    }
    EXPECT_GE(settledAfter, 0) << "no silence 8 s after a spike of " << spike;
  }
}

TEST_F(ModuleTest, HugeFiniteInputStaysFiniteAndSettles) {
  plugin->setSampleRate(48000.0f);
  for (float level : {1e6f, -1e6f}) {
    StereoBlock<float> block(512);
    std::fill(block.in[0].begin(), block.in[0].end(), level);
    std::fill(block.in[1].begin(), block.in[1].end(), -level);
    for (int k = 0; k < 4; ++k) {
      plugin->process(block.inputs(), block.outputs(), 512);
      for (int c = 0; c < 2; ++c)
        for (float y : block.out[c])
          ASSERT_TRUE(std::isfinite(y));
    }
  }
}

class ModuleRates : public ModuleTest, public testing::WithParamInterface<float> {};

TEST_P(ModuleRates, FiniteOutputAtEveryRate) {
  const float rate = GetParam();
  plugin->setSampleRate(rate);
  plugin->setParameter(kHiBoostIndex, 1.0f);
  plugin->setParameter(kLoBoostIndex, 0.7f);
  StereoBlock<float> block(512);
  const auto n = noise(512, 0.9, 11);
  for (int i = 0; i < 512; ++i)
    block.in[0][i] = block.in[1][i] = static_cast<float>(n[i]);
  double energy = 0;
  for (int k = 0; k < 40; ++k) {
    plugin->process(block.inputs(), block.outputs(), 512);
    for (int c = 0; c < 2; ++c)
      for (float y : block.out[c]) {
        ASSERT_TRUE(std::isfinite(y)) << rate;
        energy += y * y;
      }
  }
  EXPECT_GT(energy, 0.0);
}

INSTANTIATE_TEST_SUITE_P(HostRates, ModuleRates,
                         testing::Values(8000.0f, 22050.0f, 44100.0f, 192000.0f, 384000.0f, 1.0f,
                                         0.0f, -48000.0f, std::numeric_limits<float>::quiet_NaN(),
                                         std::numeric_limits<float>::infinity(), 1e9f));

// A fresh instance that is given its settings before the first block (a host
// restoring a session, an offline bounce) starts with the network already in
// place: no glide from the construction defaults, so no burst at the start.
class ModuleFirstBlock : public testing::TestWithParam<float> {};

TEST_P(ModuleFirstBlock, NoBurstBeforeTheFirstBlock) {
  const float rate = GetParam();
  const std::vector<std::vector<std::pair<VstInt32, float>>> sessions = {{}, // Init as constructed
                                                                         {{kHiBoostIndex, 0.8f},
                                                                          {kHiCutIndex, 0.6f},
                                                                          {kHiBoostFreqIndex, 0.9f},
                                                                          {kHiCutFreqIndex, 0.2f},
                                                                          {kHiFreqQIndex, 0.1f},
                                                                          {kLoBoostIndex, 0.7f},
                                                                          {kLoCutIndex, 0.5f},
                                                                          {kLoFreqIndex, 0.6f}}};
  for (const auto& session : sessions) {
    vsthost::Plugin plugin(builtModule());
    plugin.setSampleRate(rate);
    plugin.setParameter(kTubeBufferIndex, 0.0f);
    for (const auto& [index, value] : session)
      plugin.setParameter(index, value);
    const std::size_t window = static_cast<std::size_t>(0.05 * rate);
    const auto in = noise(window * 20, 0.1, 31);
    StereoBlock<double> block(512);
    double firstPeak = 0, settledPeak = 0;
    for (std::size_t pos = 0; pos + 512 <= in.size(); pos += 512) {
      std::copy_n(in.begin() + static_cast<std::ptrdiff_t>(pos), 512, block.in[0].begin());
      block.in[1] = block.in[0];
      plugin.processDouble(block.inputs(), block.outputs(), 512);
      for (double y : block.out[0]) {
        ASSERT_TRUE(std::isfinite(y));
        if (pos < window)
          firstPeak = std::max(firstPeak, std::fabs(y));
        else if (pos >= window * 10)
          settledPeak = std::max(settledPeak, std::fabs(y));
      }
    }
    EXPECT_LE(firstPeak, settledPeak * 1.05)
        << "host rate " << rate << ", " << session.size() << " values restored";
  }
}

INSTANTIATE_TEST_SUITE_P(HighRates, ModuleFirstBlock, testing::Values(96000.0f, 192000.0f));
