// Presets on the command line: --preset NAME|FILE.fxp, --save-preset FILE.fxp, --list-presets.
#pragma once

#include "render/Parameters.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace render {

// Every parameter's value from a factory preset (its name in any case) or from a .fxp file (an
// argument ending in ".fxp" or holding a '/', or an existing file that no factory preset is
// named after). The file is checked whole first, so a refused one sets nothing. Throws
// RenderError with the reason.
std::vector<Assignment> presetAssignments(std::string_view nameOrFile);

// The effect's current values (getParameter, what a host saves) as a .fxp file named after the
// file ("my vocal.fxp" holds the program "my vocal"), written through a temporary file.
void savePreset(vsthost::Plugin& plugin, const std::string& path);

// Name and description of every factory preset, one a line.
void listFactoryPresets(std::FILE* out);

} // namespace render
