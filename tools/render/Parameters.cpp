#include "render/Parameters.h"

#include "render/HostSession.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace render {

namespace {

// Probe points across the normalised range: k / kProbes for k = 0..kProbes.
constexpr int kProbes = 256;
// More distinct texts than this and the parameter is treated as continuous.
constexpr std::size_t kMaxSteps = 64;
// Halvings when locating the value where one step's text gives way to the next.
constexpr int kEdgeHalvings = 24;

std::string_view trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
    s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
    s.remove_suffix(1);
  return s;
}

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Letters and digits only, lower case: "Hi Boost Freq." -> "hiboostfreq".
std::string squeeze(std::string_view s) {
  std::string out;
  for (char c : s)
    if (std::isalnum(static_cast<unsigned char>(c)))
      out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// A number at the start of the text; the rest (a unit, perhaps) in *rest.
bool leadingNumber(std::string_view text, double* value, std::string_view* rest) {
  text = trim(text);
  if (text.empty()) return false;
  const std::string s(text);
  char* end = nullptr;
  const double v = std::strtod(s.c_str(), &end);
  if (end == s.c_str() || !std::isfinite(v)) return false;
  *value = v;
  *rest = trim(text.substr(static_cast<std::size_t>(end - s.c_str())));
  return true;
}

// The whole text is a number.
bool wholeNumber(std::string_view text, double* value) {
  std::string_view rest;
  return leadingNumber(text, value, &rest) && rest.empty();
}

std::string formatNumber(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof(buffer), "%g", v);
  return buffer;
}

std::string withLabel(const std::string& text, const std::string& label) {
  return label.empty() ? text : text + " " + label;
}

bool sameNumber(double a, double b) {
  return std::fabs(a - b) <= 1e-9 * std::max(1.0, std::fabs(b));
}

} // namespace

std::string ParameterInfo::describeRange() const {
  if (stepped) {
    std::string out;
    for (const auto& s : steps)
      out += (out.empty() ? "" : " | ") + s.text;
    return withLabel(out, label);
  }
  if (numeric) return withLabel(formatNumber(unitsAt0) + " .. " + formatNumber(unitsAt1), label);
  return "0 .. 1 (normalised)";
}

std::string ParameterTable::displayAt(vsthost::Plugin& plugin, VstInt32 index, float value) {
  plugin.setParameter(index, value);
  return plugin.parameterDisplay(index);
}

namespace {

void describeSteps(vsthost::Plugin& plugin, ParameterInfo& info,
                   const std::vector<std::string>& shown) {
  // Runs of equal text along the probes; each run's edges are then located
  // between the neighbouring probes.
  struct Run {
    std::string text;
    int first, last;
  };
  std::vector<Run> runs;
  for (int k = 0; k <= kProbes; ++k) {
    if (runs.empty() || runs.back().text != shown[k])
      runs.push_back({shown[k], k, k});
    else
      runs.back().last = k;
  }
  std::vector<double> edges(runs.size() + 1);
  edges.front() = 0.0;
  edges.back() = 1.0;
  for (std::size_t r = 1; r < runs.size(); ++r) {
    float below = static_cast<float>(runs[r - 1].last) / kProbes;
    float above = static_cast<float>(runs[r].first) / kProbes;
    for (int i = 0; i < kEdgeHalvings; ++i) {
      float mid = 0.5f * (below + above);
      if (mid <= below || mid >= above) break;
      if (ParameterTable::displayAt(plugin, info.index, mid) == runs[r - 1].text)
        below = mid;
      else
        above = mid;
    }
    edges[r] = above;
  }
  for (std::size_t r = 0; r < runs.size(); ++r) {
    // A text that shows up in two places keeps its first range.
    if (std::any_of(info.steps.begin(), info.steps.end(),
                    [&](const ParameterStep& s) { return s.text == runs[r].text; }))
      continue;
    float middle = static_cast<float>(0.5 * (edges[r] + edges[r + 1]));
    if (ParameterTable::displayAt(plugin, info.index, middle) != runs[r].text)
      middle = static_cast<float>(runs[r].first + runs[r].last) / (2.0f * kProbes);
    info.steps.push_back({runs[r].text, middle});
  }
}

} // namespace

ParameterTable ParameterTable::probe(vsthost::Plugin& plugin) {
  ParameterTable table;
  const VstInt32 count = plugin.aeffect()->numParams;
  for (VstInt32 index = 0; index < count; ++index) {
    ParameterInfo info;
    info.index = index;
    info.name = plugin.parameterName(index);
    info.label = std::string(trim(plugin.parameterLabel(index)));
    info.initial = plugin.getParameter(index);

    std::vector<std::string> shown(kProbes + 1);
    for (int k = 0; k <= kProbes; ++k)
      shown[k] = displayAt(plugin, index, static_cast<float>(k) / kProbes);
    std::vector<std::string> distinct = shown;
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());

    if (distinct.size() <= kMaxSteps) {
      info.stepped = true;
      describeSteps(plugin, info, shown);
    } else {
      std::vector<double> units(kProbes + 1);
      info.numeric =
          std::all_of(shown.begin(), shown.end(), [&, k = 0](const std::string& s) mutable {
            return wholeNumber(s, &units[k++]);
          });
      if (info.numeric) {
        info.unitsAt0 = units.front();
        info.unitsAt1 = units.back();
        const double span = info.unitsAt1 - info.unitsAt0;
        // The display's own rounding ("%f" gives six decimals) is not a bend.
        const double tolerance = 1e-5 * std::fabs(span) + 2e-6;
        info.linear = span != 0.0;
        for (int k = 0; k <= kProbes && info.linear; ++k) {
          const double line = info.unitsAt0 + span * k / kProbes;
          info.linear = std::fabs(units[k] - line) <= tolerance;
        }
        if (!info.linear) {
          // Kept for inverting a curved display by interpolation.
          info.steps.clear();
          for (int k = 0; k <= kProbes; ++k)
            info.steps.push_back({shown[k], static_cast<float>(k) / kProbes});
        }
      }
    }
    plugin.setParameter(index, info.initial);
    table.params.push_back(std::move(info));
  }
  return table;
}

const ParameterInfo& ParameterTable::find(std::string_view nameOrIndex) const {
  std::string_view key = trim(nameOrIndex);
  std::string_view digits = key;
  if (!digits.empty() && digits.front() == '#') digits.remove_prefix(1);
  if (!digits.empty() && std::all_of(digits.begin(), digits.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
      })) {
    const long index = std::strtol(std::string(digits).c_str(), nullptr, 10);
    if (index < 0 || index >= static_cast<long>(params.size()) || digits.size() > 9)
      throw RenderError("no parameter with index " + std::string(digits) +
                        " (the module has 0 to " + std::to_string(params.size() - 1) + ")");
    return params[static_cast<std::size_t>(index)];
  }
  for (const auto& p : params)
    if (lower(p.name) == lower(key)) return p;
  std::vector<const ParameterInfo*> loose;
  const std::string squeezed = squeeze(key);
  for (const auto& p : params)
    if (!squeezed.empty() && squeeze(p.name) == squeezed) loose.push_back(&p);
  if (loose.size() == 1) return *loose.front();
  std::string names;
  for (const auto* p : loose)
    names += (names.empty() ? "" : ", ") + ("\"" + p->name + "\"");
  if (!loose.empty())
    throw RenderError("parameter name \"" + std::string(key) + "\" is ambiguous: " + names);
  for (const auto& p : params)
    names += (names.empty() ? "" : ", ") + ("\"" + p.name + "\"");
  throw RenderError("unknown parameter \"" + std::string(key) + "\" (parameters: " + names + ")");
}

float parseValue(const ParameterInfo& param, std::string_view text) {
  const std::string_view value = trim(text);
  const std::string name = "\"" + param.name + "\"";
  if (value.empty()) throw RenderError("no value given for " + name);

  if (param.stepped)
    for (const auto& step : param.steps)
      if (lower(step.text) == lower(value)) return step.value;

  double number = 0.0;
  std::string_view rest;
  if (!leadingNumber(value, &number, &rest)) {
    if (param.stepped)
      throw RenderError(name + " has no step \"" + std::string(value) +
                        "\" (steps: " + param.describeRange() + ")");
    throw RenderError(name + " takes a number, not \"" + std::string(value) + "\"");
  }

  const std::string unit = lower(rest);
  if (unit == "n" || unit == "norm") {
    if (number < 0.0 || number > 1.0)
      throw RenderError("value out of range: normalised values are 0 to 1, not " +
                        formatNumber(number) + " for " + name);
    return static_cast<float>(number);
  }

  // Into the parameter's own units.
  const std::string label = lower(param.label);
  if (!unit.empty()) {
    const bool frequency = unit == "hz" || unit == "khz" || unit == "k";
    if (frequency && (label == "hz" || label == "khz")) {
      const double hertz = unit == "hz" ? number : number * 1000.0;
      number = label == "hz" ? hertz : hertz / 1000.0;
    } else if (unit != label) {
      throw RenderError(name + (label.empty() ? " takes no unit" : " is set in " + param.label) +
                        ", not \"" + std::string(rest) + "\" (or give a normalised value: 0.5n)");
    }
  }

  if (param.stepped) {
    for (const auto& step : param.steps) {
      double stepNumber = 0.0;
      if (wholeNumber(step.text, &stepNumber) && sameNumber(number, stepNumber)) return step.value;
    }
    throw RenderError(name + " has no step " + withLabel(formatNumber(number), param.label) +
                      " (steps: " + param.describeRange() + ")");
  }
  if (!param.numeric)
    throw RenderError(name + " shows no numbers; give a normalised value such as 0.5n");

  const double low = std::min(param.unitsAt0, param.unitsAt1);
  const double high = std::max(param.unitsAt0, param.unitsAt1);
  const double slack = 1e-9 * (high - low);
  if (number < low - slack || number > high + slack)
    throw RenderError("value out of range: " + name + " is " + param.describeRange() + ", not " +
                      formatNumber(number));

  double normalised = 0.0;
  if (param.linear) {
    normalised = (number - param.unitsAt0) / (param.unitsAt1 - param.unitsAt0);
  } else {
    // A curved display: interpolate between the probe points kept in steps.
    double previousUnits = 0.0;
    for (std::size_t k = 0; k < param.steps.size(); ++k) {
      double units = 0.0;
      wholeNumber(param.steps[k].text, &units);
      if (k > 0 && (number - previousUnits) * (number - units) <= 0.0) {
        const double a = param.steps[k - 1].value, b = param.steps[k].value;
        normalised = units == previousUnits
                         ? a
                         : a + (b - a) * (number - previousUnits) / (units - previousUnits);
        break;
      }
      previousUnits = units;
    }
  }
  return static_cast<float>(std::clamp(normalised, 0.0, 1.0));
}

namespace {

std::pair<std::string_view, std::string_view> splitAssignment(std::string_view text,
                                                              const char* form) {
  const auto equals = text.find('=');
  if (equals == std::string_view::npos || trim(text.substr(0, equals)).empty())
    throw RenderError("expected " + std::string(form) + ", got \"" + std::string(text) + "\"");
  return {text.substr(0, equals), text.substr(equals + 1)};
}

} // namespace

Assignment parseAssignment(const ParameterTable& table, std::string_view text) {
  auto [name, value] = splitAssignment(text, "NAME=VALUE");
  const ParameterInfo& param = table.find(name);
  return {param.index, parseValue(param, value)};
}

Ramp parseRamp(const ParameterTable& table, std::string_view text) {
  auto [name, values] = splitAssignment(text, "NAME=FROM:TO");
  const auto colon = values.find(':');
  if (colon == std::string_view::npos)
    throw RenderError("expected NAME=FROM:TO, got \"" + std::string(text) + "\"");
  const ParameterInfo& param = table.find(name);
  return {param.index, parseValue(param, values.substr(0, colon)),
          parseValue(param, values.substr(colon + 1))};
}

} // namespace render
