// The factory presets (presets/FactoryPresets.h) as hosts receive them: normalised values, one
// .fxp file per preset, found by name.
#pragma once

#include "presets/FactoryPresets.h"
#include "presets/Fxp.h"

#include <string>
#include <string_view>

namespace presets {

// The values in the preset's port units, each through parameters::toNormalised.
fxp::Program program(const FactoryPreset& preset);

// By name, ignoring case; nullptr when there is none.
const FactoryPreset* findFactory(std::string_view name);

// The preset's name as it stands with ".fxp" (hosts show the file name in their preset
// browsers); characters that Windows or Linux refuse in file names become '-'.
std::string fileName(const FactoryPreset& preset);

} // namespace presets
