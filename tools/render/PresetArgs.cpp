#include "render/PresetArgs.h"

#include "core/Parameters.h"
#include "presets/FactoryFiles.h"
#include "render/HostSession.h"

#include <algorithm>
#include <cctype>
#include <unistd.h>

namespace render {

namespace {

bool endsWithFxp(std::string_view s) {
  if (s.size() < 4) return false;
  std::string tail(s.substr(s.size() - 4));
  for (char& c : tail)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return tail == ".fxp";
}

std::vector<Assignment> assignmentsOf(const fxp::Program& program) {
  std::vector<Assignment> out;
  for (std::size_t i = 0; i < program.values.size(); ++i)
    out.push_back({static_cast<VstInt32>(i), program.values[i]});
  return out;
}

} // namespace

std::vector<Assignment> presetAssignments(std::string_view nameOrFile) {
  const std::string arg(nameOrFile);
  const bool looksLikeFile = endsWithFxp(arg) || arg.find('/') != std::string::npos;
  if (!looksLikeFile)
    if (const FactoryPreset* preset = presets::findFactory(arg))
      return assignmentsOf(presets::program(*preset));
  if (looksLikeFile || access(arg.c_str(), F_OK) == 0) {
    try {
      return assignmentsOf(fxp::readFile(arg));
    } catch (const fxp::FxpError& e) {
      throw RenderError(e.what());
    }
  }
  throw RenderError("no factory preset \"" + arg +
                    "\" (--list-presets shows them; a preset file's name ends in .fxp)");
}

void savePreset(vsthost::Plugin& plugin, const std::string& path) {
  fxp::Program program;
  const auto slash = path.find_last_of('/');
  program.name = path.substr(slash == std::string::npos ? 0 : slash + 1);
  if (endsWithFxp(program.name)) program.name.resize(program.name.size() - 4);
  for (VstInt32 i = 0; i < kNumParams; ++i)
    program.values.push_back(parameters::clampNormalised(plugin.getParameter(i)));
  try {
    fxp::writeFile(path, program);
  } catch (const fxp::FxpError& e) {
    throw RenderError(e.what());
  }
}

void listFactoryPresets(std::FILE* out) {
  std::size_t width = 0;
  for (const FactoryPreset& p : presets::kFactory)
    width = std::max(width, p.name.size());
  for (const FactoryPreset& p : presets::kFactory)
    std::fprintf(out, "%-*.*s  %.*s\n", static_cast<int>(width), static_cast<int>(p.name.size()),
                 p.name.data(), static_cast<int>(p.description.size()), p.description.data());
}

} // namespace render
