// About a minute of audio with every parameter automated at random from a
// second thread while this one processes blocks: finite output for finite
// input, and (under ThreadSanitizer) no data race on any hand-off.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <random>
#include <thread>
#include <vector>

#include "vsthost/vsthost.h"

TEST(Soak, RandomAutomationWhileProcessing) {
  std::string error;
  auto module = vsthost::Module::load(OMBRINE_MODULE_PATH, &error);
  ASSERT_TRUE(module) << error;
  vsthost::Plugin plugin(*module);
  ASSERT_TRUE(plugin.valid());
  plugin.setSampleRate(48000.0f);
  plugin.resume();

  std::atomic<bool> done{false};
  std::atomic<long> changes{0};
  std::thread automation([&] {
    std::mt19937 rng(2024);
    std::uniform_int_distribution<int> index(0, 12);
    std::uniform_real_distribution<float> value(0.0f, 1.0f);
    while (!done.load(std::memory_order_relaxed)) {
      int i = index(rng);
      float v = value(rng);
      if (i == 0) v *= 0.8f;  // keep the drive sane so finiteness is meaningful
      plugin.setParameter(i, v);
      changes.fetch_add(1, std::memory_order_relaxed);
      std::this_thread::yield();
    }
  });

  constexpr int kFrames = 512;
  constexpr int kBlocks = 48000 * 60 / kFrames;  // one minute at 48 kHz
  std::vector<float> inL(kFrames), inR(kFrames), outL(kFrames), outR(kFrames);
  float* ins[2] = {inL.data(), inR.data()};
  float* outs[2] = {outL.data(), outR.data()};
  std::mt19937 rng(7);
  std::normal_distribution<float> noise(0.0f, 0.1f);
  long nonFinite = 0;
  for (int b = 0; b < kBlocks; ++b) {
    for (int i = 0; i < kFrames; ++i) {
      inL[i] = noise(rng);
      inR[i] = noise(rng);
    }
    plugin.process(ins, outs, kFrames);
    for (int i = 0; i < kFrames; ++i)
      nonFinite += !std::isfinite(outL[i]) + !std::isfinite(outR[i]);
  }
  done = true;
  automation.join();
  EXPECT_EQ(nonFinite, 0);
  EXPECT_GT(changes.load(), 100);  // the automation really ran alongside
}
