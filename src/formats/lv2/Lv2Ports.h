// The LV2 plug-in's port layout and identity, shared by the DSP binary, the UI binary and the
// program that writes the bundle's Turtle. Control ports come first and carry the parameter
// indices (port i is parameter i, in display units); the four audio ports follow.
#pragma once

#include "core/ParameterIndices.h"

#include <cstdint>

namespace lv2ports {

inline constexpr const char* kPluginUri = "urn:ombrine:lv2:ombrine";
inline constexpr const char* kUiUri = "urn:ombrine:lv2:ombrine#ui";
inline constexpr const char* kDspBinary = "ombrine_dsp.so";
inline constexpr const char* kUiBinary = "ombrine_ui.so";

enum : std::uint32_t {
  kFirstControl = 0,
  kInputLeft = kNumParams,
  kInputRight,
  kOutputLeft,
  kOutputRight,
  kNumPorts
};

struct AudioPort {
  std::uint32_t index;
  const char* symbol;
  const char* name;
  bool output;
};

inline constexpr AudioPort kAudioPorts[] = {{kInputLeft, "in_left", "Left in", false},
                                            {kInputRight, "in_right", "Right in", false},
                                            {kOutputLeft, "out_left", "Left out", true},
                                            {kOutputRight, "out_right", "Right out", true}};

} // namespace lv2ports
