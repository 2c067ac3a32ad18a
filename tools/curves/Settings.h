// What the user names on the command line: "Init", "preset:NAME" or "NAME=VALUE,NAME=VALUE",
// turned into the module's 13 normalised values.
#pragma once

#include "render/Parameters.h"

#include <string>
#include <string_view>
#include <vector>

namespace curves {

struct Setting {
  std::string text;          // as given, for the legend and the CSV header
  std::vector<float> values; // normalised, by parameter index
};

// Init's values with the setting applied. Throws render::RenderError for an unknown preset,
// parameter or step and for values out of range.
Setting parseSetting(const render::ParameterTable& table, std::string_view text);

// The factory presets' names, for messages.
std::string presetNames();

} // namespace curves
