#include "curves/Settings.h"

#include "core/Parameters.h"
#include "presets/FactoryPresets.h"
#include "render/HostSession.h"

#include <cctype>

namespace curves {

namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
    s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
    s.remove_suffix(1);
  return s;
}

bool sameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

} // namespace

std::string presetNames() {
  std::string names;
  for (const auto& p : presets::kFactory)
    names += (names.empty() ? "\"" : ", \"") + std::string(p.name) + "\"";
  return names;
}

Setting parseSetting(const render::ParameterTable& table, std::string_view text) {
  Setting setting;
  setting.text = std::string(text);
  for (const auto& p : table.all())
    setting.values.push_back(p.initial);

  const std::string_view body = trim(text);
  if (body.empty())
    throw render::RenderError("empty setting (give Init, preset:NAME or NAME=VALUE)");
  if (sameText(body, "init")) return setting;

  constexpr std::string_view kPrefix = "preset:";
  if (body.size() >= kPrefix.size() && sameText(body.substr(0, kPrefix.size()), kPrefix)) {
    const std::string_view name = trim(body.substr(kPrefix.size()));
    for (const auto& preset : presets::kFactory) {
      if (!sameText(preset.name, name)) continue;
      for (int i = 0; i < kNumParams; ++i)
        setting.values[static_cast<std::size_t>(i)] = static_cast<float>(
            parameters::toNormalised(i, preset.values[static_cast<std::size_t>(i)]));
      return setting;
    }
    throw render::RenderError("no factory preset \"" + std::string(name) +
                              "\" (presets: " + presetNames() + ")");
  }

  std::string_view rest = body;
  while (true) {
    const auto comma = rest.find(',');
    const std::string_view item = trim(rest.substr(0, comma));
    if (item.empty())
      throw render::RenderError("empty assignment in setting \"" + setting.text + "\"");
    const render::Assignment a = render::parseAssignment(table, item);
    setting.values[static_cast<std::size_t>(a.index)] = a.value;
    if (comma == std::string_view::npos) break;
    rest = rest.substr(comma + 1);
  }
  return setting;
}

} // namespace curves
