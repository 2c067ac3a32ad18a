#include "curves/Settings.h"

#include "common/Text.h"
#include "core/Parameters.h"
#include "presets/FactoryFiles.h"
#include "presets/FactoryPresets.h"
#include "render/HostSession.h"

#include <cctype>

namespace curves {

using text::sameText;
using text::trim;

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
    if (const FactoryPreset* preset = presets::findFactory(name)) {
      for (int i = 0; i < kNumParams; ++i)
        setting.values[static_cast<std::size_t>(i)] = static_cast<float>(
            parameters::toNormalised(i, preset->values[static_cast<std::size_t>(i)]));
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
