#include "render/Parameters.h"

#include "common/Text.h"
#include "core/Parameters.h"
#include "render/HostSession.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace render {

using text::lower;
using text::trim;

namespace {

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
  return withLabel(formatNumber(unitsAt0) + " .. " + formatNumber(unitsAt1), label);
}

std::string ParameterTable::displayAt(vsthost::Plugin& plugin, VstInt32 index, float value) {
  plugin.setParameter(index, value);
  return plugin.parameterDisplay(index);
}

ParameterTable ParameterTable::probe(vsthost::Plugin& plugin) {
  ParameterTable table;
  const VstInt32 count = plugin.aeffect()->numParams;
  if (count != kNumParams)
    throw RenderError("the module has " + std::to_string(count) + " parameters, not " +
                      std::to_string(kNumParams));
  for (VstInt32 index = 0; index < count; ++index) {
    const ::ParameterInfo& p = parameters::info(index);
    ParameterInfo info;
    info.index = index;
    info.name = p.name;
    info.label = p.label;
    if (plugin.parameterName(index) != info.name)
      throw RenderError("the module's parameter " + std::to_string(index) + " is \"" +
                        plugin.parameterName(index) + "\", not \"" + info.name + "\"");
    info.initial = plugin.getParameter(index);
    info.stepped = p.stepped();
    // A step is set by the middle of the values that select it, so that
    // neither rounding nor the truncation to a step index can move it.
    for (int k = 0; k < p.numSteps(); ++k)
      info.steps.push_back({std::string(p.steps[static_cast<std::size_t>(k)].text),
                            static_cast<float>((k + 0.5) / p.numSteps())});
    info.unitsAt0 = p.minimum;
    info.unitsAt1 = p.maximum;
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
  const double low = std::min(param.unitsAt0, param.unitsAt1);
  const double high = std::max(param.unitsAt0, param.unitsAt1);
  const double slack = 1e-9 * (high - low);
  if (number < low - slack || number > high + slack)
    throw RenderError("value out of range: " + name + " is " + param.describeRange() + ", not " +
                      formatNumber(number));

  const double normalised = (number - param.unitsAt0) / (param.unitsAt1 - param.unitsAt0);
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
