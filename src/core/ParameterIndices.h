// Parameter indices; the editor's control tags are the same numbers.
#pragma once

#include <cstdint>

enum ORVELParameters : std::int32_t {
  kInputLevel = 0,
  kOutputLevel,
  kHiBoost,
  kHiCut,
  kHiBoostFreq,
  kHiCutFreq,
  kHiFreqQ,
  kLoBoost,
  kLoCut,
  kLoFreq,
  kTubeBuffer,
  kEqualizer,
  kMode,
  kNumParams
};
