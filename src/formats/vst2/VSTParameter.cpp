#include "formats/vst2/VSTParameter.h"

#include <cstdio>

namespace {

void writeText(char* text, const std::string& s) {
  if (std::snprintf(text, VSTParameter::kTextSize, "%s", s.c_str()) < 0) *text = '\0';
}

void trace(const char* verb, const std::string& name) {
  std::printf("%s%s\n", verb, name.c_str());
  std::fflush(stdout);
}

} // namespace

VSTParameter::VSTParameter(std::string_view name, std::string_view label, double initialValue)
    : value(initialValue), name(name), label(label) {
  trace("create ", this->name);
}

VSTParameter::~VSTParameter() { trace("destroy ", name); }

void VSTParameter::getLabel(char* text) { writeText(text, label); }

void VSTParameter::getName(char* text) { writeText(text, name); }

void VSTParameter::getDisplay(char* text) {
  if (std::snprintf(text, kTextSize, "%f", getMappedValue()) < 0) *text = '\0';
}

double VSTParameter::getMappedValue() {
  return static_cast<double>(static_cast<float>(value.load(std::memory_order_relaxed)));
}

VSTParameterSlider::VSTParameterSlider(std::string_view name, std::string_view label,
                                       double initialValue, double minValue, double maxValue)
    : VSTParameter(name, label, initialValue), minValue(minValue), maxValue(maxValue) {}

double VSTParameterSlider::getMappedValue() {
  return (maxValue - minValue) *
             parameters::clampNormalised(value.load(std::memory_order_relaxed)) +
         minValue;
}

VSTParameterSwitch::VSTParameterSwitch(std::string_view name, std::string_view label,
                                       const char* const* texts, int numSteps, double initialValue)
    : VSTParameter(name, label, initialValue), numSteps(numSteps < 1 ? 1 : numSteps) {
  stepTexts.reserve(static_cast<std::size_t>(this->numSteps));
  for (int i = 0; i < this->numSteps; ++i)
    stepTexts.emplace_back((texts && i < numSteps && texts[i]) ? texts[i] : "");
}

VSTParameterSwitch::VSTParameterSwitch(std::string_view name, std::string_view label,
                                       std::span<const ParameterStep> steps, double initialValue)
    : VSTParameter(name, label, initialValue), numSteps(static_cast<int>(steps.size())) {
  for (const ParameterStep& step : steps)
    stepTexts.emplace_back(step.text);
}

VSTParameterSwitch::~VSTParameterSwitch() { stepTexts.clear(); }

int VSTParameterSwitch::stepIndex() const {
  return parameters::stepIndex(numSteps, value.load(std::memory_order_relaxed));
}

void VSTParameterSwitch::getDisplay(char* text) {
  writeText(text, stepTexts[static_cast<std::size_t>(stepIndex())]);
}
