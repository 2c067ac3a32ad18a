// One stored program: the normalised value of every parameter and a name.
#pragma once

#include <memory>

#include "host/vst2abi.h"

struct EffectProgram {
  static constexpr int kNumValues = 13;

  EffectProgram() : values(std::make_unique<float[]>(kNumValues)) {}

  std::unique_ptr<float[]> values;
  char programName[kVstMaxProgNameLen] = {};
};
