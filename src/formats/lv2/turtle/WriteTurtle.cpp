// Writes the LV2 bundle's Turtle (manifest.ttl, ombrine.ttl and presets.ttl) from the parameter
// table and the factory presets, at build time, so that port names, ranges, defaults, units, steps
// and preset values are never typed twice.
//
//   ombrine-lv2-turtle DIR
#include "core/Parameters.h"
#include "formats/lv2/Lv2Ports.h"
#include "presets/FactoryPresets.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

// A Turtle decimal: always with a point, shortest form that reads back exactly.
std::string decimal(double v) {
  char text[32];
  for (int digits = 1; digits <= 17; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, v);
    if (std::stod(text) == v) break;
  }
  std::string s = text;
  if (s.find_first_of(".e") == std::string::npos) s += ".0";
  return s;
}

std::string quoted(std::string_view text) {
  std::string s = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') s += '\\';
    s += c;
  }
  return s + "\"";
}

const char* unitUri(ParameterUnit unit) {
  switch (unit) {
  case ParameterUnit::dB: return "units:db";
  case ParameterUnit::kHz: return "units:khz";
  case ParameterUnit::Hz: return "units:hz";
  case ParameterUnit::none: break;
  }
  return nullptr;
}

const char* const kPrefixes = R"(@prefix doap: <http://usefulinc.com/ns/doap#> .
@prefix lv2: <http://lv2plug.in/ns/lv2core#> .
@prefix pset: <http://lv2plug.in/ns/ext/presets#> .
@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .
@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .
@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .
@prefix units: <http://lv2plug.in/ns/extensions/units#> .
)";

// A preset's URI: the plug-in's, with the name in lower case and dashes as fragment.
std::string presetUri(std::string_view name) {
  std::string slug;
  for (char c : name) {
    if (std::isalnum(static_cast<unsigned char>(c)))
      slug += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    else if (!slug.empty() && slug.back() != '-')
      slug += '-';
  }
  while (!slug.empty() && slug.back() == '-')
    slug.pop_back();
  return std::string(lv2ports::kPluginUri) + "#preset-" + slug;
}

std::string manifest() {
  std::ostringstream t;
  t << kPrefixes << "\n"
    << "<" << lv2ports::kPluginUri << ">\n"
    << "\ta lv2:Plugin ;\n"
    << "\tlv2:binary <" << lv2ports::kDspBinary << "> ;\n"
    << "\trdfs:seeAlso <ombrine.ttl> .\n\n"
    << "<" << lv2ports::kUiUri << ">\n"
    << "\ta ui:X11UI ;\n"
    << "\tui:binary <" << lv2ports::kUiBinary << "> ;\n"
    << "\trdfs:seeAlso <ombrine.ttl> .\n";
  for (const FactoryPreset& p : presets::kFactory)
    t << "\n<" << presetUri(p.name) << ">\n"
      << "\ta pset:Preset ;\n"
      << "\tlv2:appliesTo <" << lv2ports::kPluginUri << "> ;\n"
      << "\trdfs:seeAlso <presets.ttl> .\n";
  return t.str();
}

// Each factory preset with every port's value, in port units as the table gives them (brought
// onto the port's range and, for selectors and switches, onto a step).
std::string presetDescriptions() {
  std::ostringstream t;
  t << kPrefixes;
  for (const FactoryPreset& p : presets::kFactory) {
    t << "\n<" << presetUri(p.name) << ">\n"
      << "\ta pset:Preset ;\n"
      << "\tlv2:appliesTo <" << lv2ports::kPluginUri << "> ;\n"
      << "\trdfs:label " << quoted(p.name) << " ;\n"
      << "\trdfs:comment " << quoted(p.description) << " ;\n"
      << "\tlv2:port ";
    for (int i = 0; i < kNumParams; ++i) {
      const ParameterInfo& info = parameters::info(i);
      const double given = p.values[static_cast<std::size_t>(i)];
      const double value = info.stepped()
                               ? parameters::toPortValue(i, parameters::toNormalised(i, given))
                               : std::clamp(given, info.minimum, info.maximum);
      t << (i ? " , " : "") << "[\n\t\tlv2:symbol " << quoted(parameters::info(i).symbol)
        << " ;\n\t\tpset:value " << decimal(value) << "\n\t]";
    }
    t << " .\n";
  }
  return t.str();
}

void controlPort(std::ostringstream& t, int index) {
  const ParameterInfo& p = parameters::info(index);
  t << "\t\ta lv2:InputPort, lv2:ControlPort ;\n"
    << "\t\tlv2:index " << index << " ;\n"
    << "\t\tlv2:symbol " << quoted(p.symbol) << " ;\n"
    << "\t\tlv2:name " << quoted(p.name) << " ;\n"
    << "\t\tlv2:default " << decimal(parameters::toPortValue(index, p.initial)) << " ;\n"
    << "\t\tlv2:minimum " << decimal(p.minimum) << " ;\n"
    << "\t\tlv2:maximum " << decimal(p.maximum);
  if (const char* unit = unitUri(p.unit)) t << " ;\n\t\tunits:unit " << unit;
  if (p.kind == ParameterKind::selector) t << " ;\n\t\tlv2:portProperty lv2:enumeration";
  if (p.kind == ParameterKind::toggle) t << " ;\n\t\tlv2:portProperty lv2:toggled, lv2:integer";
  if (p.stepped()) {
    t << " ;\n\t\tlv2:scalePoint ";
    for (int k = 0; k < p.numSteps(); ++k) {
      const ParameterStep& step = p.steps[static_cast<std::size_t>(k)];
      t << (k ? ", " : "") << "[\n\t\t\trdfs:label " << quoted(step.text) << " ;\n\t\t\trdf:value "
        << decimal(step.value) << "\n\t\t]";
    }
  }
}

std::string description() {
  std::ostringstream t;
  t << kPrefixes << "\n"
    << "<" << lv2ports::kPluginUri << ">\n"
    << "\ta lv2:Plugin, lv2:EQPlugin ;\n"
    << "\tdoap:name \"Ombrine\" ;\n"
    << "\tdoap:license <http://usefulinc.com/doap/licenses/unknown> ;\n"
    << "\tlv2:optionalFeature lv2:hardRTCapable ;\n"
    << "\tui:ui <" << lv2ports::kUiUri << "> ;\n"
    << "\tlv2:port [\n";
  for (int i = 0; i < kNumParams; ++i) {
    controlPort(t, i);
    t << "\n\t] , [\n";
  }
  for (std::size_t a = 0; a < std::size(lv2ports::kAudioPorts); ++a) {
    const auto& port = lv2ports::kAudioPorts[a];
    t << "\t\ta lv2:AudioPort, " << (port.output ? "lv2:OutputPort" : "lv2:InputPort") << " ;\n"
      << "\t\tlv2:index " << port.index << " ;\n"
      << "\t\tlv2:symbol " << quoted(port.symbol) << " ;\n"
      << "\t\tlv2:name " << quoted(port.name) << "\n"
      << (a + 1 < std::size(lv2ports::kAudioPorts) ? "\t] , [\n" : "\t] .\n");
  }
  t << "\n<" << lv2ports::kUiUri << ">\n"
    << "\ta ui:X11UI ;\n"
    << "\tlv2:requiredFeature ui:idleInterface, ui:parent ;\n"
    << "\tlv2:optionalFeature ui:resize, ui:touch ;\n"
    << "\tlv2:extensionData ui:idleInterface .\n";
  return t.str();
}

bool write(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  out.close();
  if (!out) std::fprintf(stderr, "ombrine-lv2-turtle: cannot write %s\n", path.c_str());
  return static_cast<bool>(out);
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: ombrine-lv2-turtle DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  const bool written = write(dir + "/manifest.ttl", manifest()) &&
                       write(dir + "/ombrine.ttl", description()) &&
                       write(dir + "/presets.ttl", presetDescriptions());
  return written ? 0 : 1;
}
