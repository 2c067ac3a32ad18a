// One stored program: the normalised value of every parameter and a name.
#pragma once

#include "formats/vst2/vst2abi.h"

#include <atomic>
#include <memory>

struct EffectProgram {
  static constexpr int kNumValues = 13;

  EffectProgram() : values(std::make_unique<std::atomic<float>[]>(kNumValues)) {}

  // Mirrors the live values; set from any thread that sets parameters.
  std::unique_ptr<std::atomic<float>[]> values;
  char programName[kVstMaxProgNameLen] = {};
};
