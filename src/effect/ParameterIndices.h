// Parameter indices of the effect; the editor's control tags are the same
// numbers.
#pragma once

#include "host/vst2abi.h"

enum ORVELParameters : VstInt32 {
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
