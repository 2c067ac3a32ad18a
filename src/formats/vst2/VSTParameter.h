// Parameter objects: a normalised value with its name, unit label and display.
// The effect owns them, writes `value` directly and forwards the host's text
// queries. Every text is written with a bound (kTextSize including the
// terminator): the longest name of this program is 14 characters.
#pragma once

#include "core/Parameters.h"

#include <atomic>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class VSTParameter {
public:
  // Bound for every text written into a host buffer, terminator included.
  static constexpr std::size_t kTextSize = 24;

  VSTParameter(std::string_view name, std::string_view label, double initialValue);
  virtual ~VSTParameter();

  VSTParameter(const VSTParameter&) = delete;
  VSTParameter& operator=(const VSTParameter&) = delete;

  virtual void getLabel(char* text);
  virtual void getName(char* text);
  virtual void getDisplay(char* text);
  virtual double getMappedValue();

  // Written by whichever thread sets the parameter, read by others (the
  // editor's, the host's), so it is a single atomic value.
  std::atomic<double> value;

protected:
  std::string name;
  std::string label;
};

class VSTParameterSlider : public VSTParameter {
public:
  VSTParameterSlider(std::string_view name, std::string_view label, double initialValue,
                     double minValue, double maxValue);

  // Linear map of the normalised value onto minValue..maxValue, the value taken as the effect
  // uses it (limited to 0..1, NaN as 0).
  double getMappedValue() override;

  double minValue;
  double maxValue;
};

class VSTParameterSwitch : public VSTParameter {
public:
  VSTParameterSwitch(std::string_view name, std::string_view label, const char* const* stepTexts,
                     int numSteps, double initialValue);
  VSTParameterSwitch(std::string_view name, std::string_view label,
                     std::span<const ParameterStep> steps, double initialValue);
  ~VSTParameterSwitch() override;

  void getDisplay(char* text) override;

  // Step shown for the current value: trunc(numSteps * value), limited to the
  // step table (values below 0 and NaN show step 0).
  int stepIndex() const;

  int numSteps;
  std::vector<std::string> stepTexts;
};
