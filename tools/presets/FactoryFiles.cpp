#include "presets/FactoryFiles.h"

#include "common/Text.h"
#include "core/Parameters.h"

#include <cctype>

namespace presets {

fxp::Program program(const FactoryPreset& preset) {
  fxp::Program p;
  p.name = preset.name;
  for (int i = 0; i < kNumParams; ++i)
    p.values.push_back(static_cast<float>(
        parameters::toNormalised(i, preset.values[static_cast<std::size_t>(i)])));
  return p;
}

const FactoryPreset* findFactory(std::string_view name) {
  for (const FactoryPreset& preset : kFactory)
    if (text::sameText(preset.name, name)) return &preset;
  return nullptr;
}

std::string fileName(const FactoryPreset& preset) {
  std::string name(preset.name);
  for (char& c : name)
    if (static_cast<unsigned char>(c) < 0x20 ||
        std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos)
      c = '-';
  return name + ".fxp";
}

} // namespace presets
