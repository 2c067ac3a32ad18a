// The module's parameters, from the parameter table it is built from, and the
// assignments a user writes for them ("Input level=-6", "Lo Freq=60",
// "Mode=Mono", "Hi Boost=0.3", "Hi Boost Freq.=0.5n").
#pragma once

#include "vsthost/vsthost.h"

#include <string>
#include <string_view>
#include <vector>

namespace render {

// One display text of a stepped parameter and the normalised value that
// selects it: the middle of the range of values that show this text, so that
// neither rounding of the value nor truncation of a step index can move it
// into a neighbouring step.
struct ParameterStep {
  std::string text;
  float value = 0.0f;
};

struct ParameterInfo {
  VstInt32 index = 0;
  std::string name;
  std::string label; // unit label as the module reports it ("db", "KHz", "")
  float initial = 0.0f;

  // A stepped parameter shows a short list of texts ("Off"/"On", "3".."16").
  bool stepped = false;
  std::vector<ParameterStep> steps;

  // A continuous parameter: its units at 0 and 1, with a straight line between.
  double unitsAt0 = 0.0;
  double unitsAt1 = 0.0;

  // "-18 .. 18 db", "Off | On", "3 | 4 | 5 | 6 | 10 | 12 | 16 KHz".
  std::string describeRange() const;
};

class ParameterTable {
public:
  // The table for a loaded effect, with each parameter's current value. Throws
  // RenderError when the effect's parameter names are not the table's (a
  // different module).
  static ParameterTable probe(vsthost::Plugin& plugin);

  const std::vector<ParameterInfo>& all() const { return params; }

  // By index ("4" or "#4"), by name case-insensitively ("hi boost freq."),
  // or by name ignoring spaces and punctuation when that is unambiguous
  // ("HiBoostFreq"). Throws RenderError when nothing or several match.
  const ParameterInfo& find(std::string_view nameOrIndex) const;

  // Sets the normalised value whose display on the module is the given one
  // (for --list and the tests). Returns the display text read back.
  static std::string displayAt(vsthost::Plugin& plugin, VstInt32 index, float value);

private:
  std::vector<ParameterInfo> params;
};

// A value for one parameter, in its own units or normalised. Forms:
//   "-6", "-6 dB"            a level in dB
//   "60", "60Hz", "0.06kHz"  a step in Hz; "10", "10k", "10 kHz", "10000 Hz" a step in kHz
//   "Mono", "off"            a step by its display text (any case)
//   "0.3"                    a continuous control whose own units are 0..1
//   "0.25n", "0.25 norm"     any parameter, normalised 0..1
// Throws RenderError for unknown units, steps that do not exist and values
// outside the parameter's range.
float parseValue(const ParameterInfo& param, std::string_view text);

struct Assignment {
  VstInt32 index = 0;
  float value = 0.0f;
};

// "NAME=VALUE".
Assignment parseAssignment(const ParameterTable& table, std::string_view text);

// A linear move of one parameter over the whole file: "NAME=FROM:TO".
struct Ramp {
  VstInt32 index = 0;
  float from = 0.0f;
  float to = 0.0f;
  float at(double position) const { // position 0..1 through the file
    return static_cast<float>(from + (static_cast<double>(to) - from) * position);
  }
};

Ramp parseRamp(const ParameterTable& table, std::string_view text);

} // namespace render
