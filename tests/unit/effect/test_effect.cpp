// The effect object and its parameter classes, linked directly.
#include "formats/vst2/VSTParameter.h"
#include "formats/vst2/VST_ORVEL.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

namespace {

VstIntPtr quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? kVstVersion : 0;
}

// Records the parameter calls that reach the virtual setParameter.
class RecordingEffect : public VST_ORVEL {
public:
  RecordingEffect() : VST_ORVEL(quietHost) {}
  void setParameter(VstInt32 index, float value) override {
    calls.emplace_back(index, value);
    VST_ORVEL::setParameter(index, value);
  }
  std::vector<std::pair<VstInt32, float>> calls;
};

std::string display(VSTParameter& p) {
  char text[VSTParameter::kTextSize];
  p.getDisplay(text);
  return text;
}

} // namespace

TEST(VSTParameter, SliderMapsLinearly) {
  testing::internal::CaptureStdout();
  VSTParameterSlider level("Input level", "db", 0.5, -18.0, 18.0);
  EXPECT_EQ(level.getMappedValue(), 0.0);
  EXPECT_EQ(display(level), "0.000000");
  level.value = 0.0;
  EXPECT_EQ(level.getMappedValue(), -18.0);
  level.value = 1.0;
  EXPECT_EQ(level.getMappedValue(), 18.0);
  EXPECT_EQ(display(level), "18.000000");
  VSTParameterSlider unit("Hi Boost", "x", 0.25, 0.0, 1.0);
  EXPECT_EQ(display(unit), "0.250000");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "create Input level\ncreate Hi Boost\n");
}

TEST(VSTParameter, BaseRoundsThroughSinglePrecision) {
  testing::internal::CaptureStdout();
  VSTParameter p("P", "", 0.1);
  EXPECT_EQ(p.getMappedValue(), static_cast<double>(0.1f));
  testing::internal::GetCapturedStdout();
}

TEST(VSTParameter, SwitchSteps) {
  testing::internal::CaptureStdout();
  const char* six[] = {"a", "b", "c", "d", "e", "f"};
  const char* two[] = {"Off", "On"};
  VSTParameterSwitch s6("S6", "", six, 6, 0.0);
  VSTParameterSwitch s2("S2", "", two, 2, 0.5);
  struct Case {
    double value;
    int step;
  };
  for (const Case& c : std::initializer_list<Case>{{1.0, 5},
                                                   {0.999, 5},
                                                   {0.1666, 0},
                                                   {1.0 / 6.0, 1},
                                                   {-0.3, 0},
                                                   {5.0, 5},
                                                   {std::numeric_limits<double>::quiet_NaN(), 0},
                                                   {1e300, 5},
                                                   {-1e300, 0}}) {
    s6.value = c.value;
    EXPECT_EQ(s6.stepIndex(), c.step) << c.value;
    EXPECT_EQ(display(s6), six[c.step]);
  }
  EXPECT_EQ(display(s2), "On");
  s2.value = 0.49;
  EXPECT_EQ(display(s2), "Off");
  // A switch maps to its normalised value, never to the step.
  s2.value = 0.75;
  EXPECT_EQ(s2.getMappedValue(), 0.75);
  testing::internal::GetCapturedStdout();
}

class EffectTest : public testing::Test {
protected:
  void SetUp() override {
    testing::internal::CaptureStdout();
    effect = std::make_unique<RecordingEffect>();
  }
  void TearDown() override {
    effect.reset();
    testing::internal::GetCapturedStdout();
  }
  std::unique_ptr<RecordingEffect> effect;
};

TEST_F(EffectTest, LevelGains) {
  struct Case {
    float value;
    double gain;
  };
  for (const Case& c : std::initializer_list<Case>{{0.5f, 1.0},
                                                   {0.0f, 0.125892541179417},
                                                   {1.0f, 7.943282347242815},
                                                   {0.75f, std::pow(10.0, 9.0 / 20.0)}}) {
    effect->setParameter(kInputLevel, c.value);
    effect->setParameter(kOutputLevel, c.value);
    EXPECT_NEAR(effect->getInputGain(), c.gain, 1e-12) << c.value;
    EXPECT_NEAR(effect->getOutputGain(), c.gain, 1e-12) << c.value;
  }
}

TEST_F(EffectTest, NonFiniteLevelsAreSafe) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  effect->setParameter(kInputLevel, nan);
  EXPECT_NEAR(effect->getInputGain(), 0.125892541179417, 1e-12);
  effect->setParameter(kInputLevel, inf);
  EXPECT_NEAR(effect->getInputGain(), 7.943282347242815, 1e-12);
  effect->setParameter(kOutputLevel, -inf);
  EXPECT_NEAR(effect->getOutputGain(), 0.125892541179417, 1e-12);
  effect->setParameter(kMode, nan);
  EXPECT_EQ(effect->getProcessMode(), kModeMono);
  effect->setParameter(kMode, inf);
  EXPECT_EQ(effect->getProcessMode(), kModeStereo);
}

TEST_F(EffectTest, ModeThreshold) {
  EXPECT_EQ(effect->getProcessMode(), kModeStereo); // after the Init program
  effect->setParameter(kMode, 0.49f);
  EXPECT_EQ(effect->getProcessMode(), kModeMono);
  effect->setParameter(kMode, 0.5f);
  EXPECT_EQ(effect->getProcessMode(), kModeStereo);
}

TEST_F(EffectTest, ConstructionAppliesInitInIndexOrder) {
  // The constructor runs before the override exists, so it is seen only
  // through the result; setProgram goes through the virtual call.
  effect->calls.clear();
  effect->setProgram(0);
  ASSERT_EQ(effect->calls.size(), 13u);
  const float init[] = {0.5f, 0.5f, 0, 0, 0.5f, 1.0f, 0.5f, 0, 0, 0, 1.0f, 1.0f, 1.0f};
  for (VstInt32 i = 0; i < 13; ++i) {
    EXPECT_EQ(effect->calls[i].first, i);
    EXPECT_EQ(effect->calls[i].second, init[i]);
  }
}

TEST_F(EffectTest, ProgramMirrorsLiveValues) {
  effect->setParameter(kHiCut, 0.3f);
  effect->calls.clear();
  effect->setProgram(0);
  EXPECT_EQ(effect->calls[kHiCut].second, 0.3f);
  effect->calls.clear();
  effect->setProgram(1);
  effect->setProgram(-1);
  EXPECT_TRUE(effect->calls.empty());
}

TEST_F(EffectTest, SampleRateReachesTheCoresAtTwiceTheHostRate) {
  // Before any rate: the chains already run their designs at twice 44100 Hz.
  EXPECT_EQ(effect->getLeftCore().getFilter().sampleRate, 88200.0);
  effect->setSampleRate(48000.0f);
  for (const ORVEL* core : {&effect->getLeftCore(), &effect->getRightCore()}) {
    EXPECT_EQ(core->getFilter().sampleRate, 96000.0);
    EXPECT_EQ(core->getTube().getSampleRate(), 96000.0);
  }
  EXPECT_EQ(effect->getLeftOversampler().getBaseSampleRate(), 48000.0);
  // Rates that mean nothing are ignored; absurd ones are limited.
  effect->setSampleRate(std::numeric_limits<float>::quiet_NaN());
  effect->setSampleRate(-1.0f);
  effect->setSampleRate(0.0f);
  EXPECT_EQ(effect->getSampleRate(), 48000.0f);
  effect->setSampleRate(1e12f);
  EXPECT_EQ(effect->getSampleRate(), VST_ORVEL::kMaxSampleRate);
}

TEST_F(EffectTest, OneEqualizerParameterResendsAllEight) {
  const float values[8] = {0.1f, 0.2f, 0.3f, 0.4f, 0.6f, 0.0f, 1.0f, 0.9f};
  for (int i = 0; i < 8; ++i)
    effect->setParameter(kHiBoost + i, values[i]);
  effect->setParameter(kLoBoost, 0.5f);
  const double expected[8] = {
      0.1f, 0.2f, 0.3f, 0.4f, 0.6f, ORVELFilterSmoothed::shapeLowControl(0.5), 0.995, 0.9f};
  for (const ORVEL* core : {&effect->getLeftCore(), &effect->getRightCore()}) {
    EXPECT_TRUE(core->getFilter().smoothingActive.load());
    for (int i = 0; i < 8; ++i)
      EXPECT_DOUBLE_EQ(core->getFilter().targets[i].load(), expected[i]) << i;
  }
}

TEST_F(EffectTest, SwitchesReachBothCores) {
  effect->setParameter(kTubeBuffer, 0.49f);
  effect->setParameter(kEqualizer, 0.5f);
  for (const ORVEL* core : {&effect->getLeftCore(), &effect->getRightCore()}) {
    EXPECT_FALSE(core->isTubeBufferOn());
    EXPECT_TRUE(core->isEqualizerOn());
  }
}

#if defined(__x86_64__)
#include <xmmintrin.h>

TEST_F(EffectTest, BlocksFlushDenormalsAndRestoreTheCallersMode) {
  effect->setParameter(kTubeBuffer, 0.0f);
  effect->setParameter(kEqualizer, 0.0f);
  const unsigned before = _mm_getcsr() & ~0x8040u;
  _mm_setcsr(before);
  // A denormal input counts as zero inside the block, so the chain stays silent.
  std::vector<double> in(64, 1e-310), out(64, 1.0);
  double* ins[2] = {in.data(), in.data()};
  double* outs[2] = {out.data(), out.data()};
  effect->processDoubleReplacing(ins, outs, 64);
  for (double y : out)
    EXPECT_EQ(y, 0.0);
  EXPECT_EQ(_mm_getcsr() & ~0x3Fu, before & ~0x3Fu);
  // A caller that had the modes on keeps them.
  _mm_setcsr(before | 0x8040u);
  effect->processDoubleReplacing(ins, outs, 64);
  EXPECT_EQ(_mm_getcsr() & ~0x3Fu, (before | 0x8040u) & ~0x3Fu);
  _mm_setcsr(before);
}
#endif
