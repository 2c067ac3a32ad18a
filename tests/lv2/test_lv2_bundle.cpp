// The bundle as LV2 hosts and tools see it: its Turtle validated, the plug-in listed with its
// ports, and files rendered through it by lilv's own tool equal to the VST module's renders.
#include "core/Parameters.h"
#include "formats/lv2/Lv2Ports.h"
#include "presets/FactoryPresets.h"
#include "render/AudioFile.h"
#include "render/RenderTestSupport.h"

#include <map>
#include <sstream>

namespace {

using rendertest::quote;
using rendertest::ScratchDir;

struct Output {
  int exitCode;
  std::string text;
};

// A command's exit code and its standard output and error together. Tools that load the
// plug-in run with the sanitizer runtime preloaded when the plug-in was built with it.
Output run(const std::string& command) {
  const std::string file = "/tmp/ombrine-lv2-test-" + std::to_string(getpid()) + ".out";
  const int status = std::system((OMBRINE_TOOL_ENV " " + command + " >" + file + " 2>&1").c_str());
  Output o{WIFEXITED(status) ? WEXITSTATUS(status) : -1, rendertest::readText(file)};
  std::remove(file.c_str());
  return o;
}

// LV2_PATH with this bundle alone in it.
class BundlePath {
public:
  BundlePath() { symlink(OMBRINE_LV2_BUNDLE, (dir.path + "/Ombrine.lv2").c_str()); }
  std::string env() const { return "LV2_PATH=" + quote(dir.path); }
  ScratchDir dir;
};

TEST(Lv2Bundle, TurtleValidates) {
  const Output o = run("lv2_validate " OMBRINE_LV2_BUNDLE "/manifest.ttl " OMBRINE_LV2_BUNDLE
                       "/ombrine.ttl " OMBRINE_LV2_BUNDLE "/presets.ttl");
  EXPECT_EQ(o.exitCode, 0) << o.text;
  EXPECT_NE(o.text.find("Found 0 errors"), std::string::npos) << o.text;
}

// The DSP binary links nothing of the panel, and each binary exports its one entry point.
TEST(Lv2Bundle, BinariesExportOneEntryAndTheDspLinksNoGuiCode) {
  const Output needed = run("objdump -p " OMBRINE_LV2_BUNDLE "/ombrine_dsp.so");
  ASSERT_EQ(needed.exitCode, 0) << needed.text;
  for (const char* library : {"libX11", "libcairo", "libxcb", "libpixman"})
    EXPECT_EQ(needed.text.find(library), std::string::npos) << library;
  for (const auto& [binary, entry] : {std::pair{"ombrine_dsp.so", "lv2_descriptor"},
                                      std::pair{"ombrine_ui.so", "lv2ui_descriptor"}}) {
    const Output symbols = run(std::string("nm -D --defined-only " OMBRINE_LV2_BUNDLE "/") +
                               binary + " | awk '$2 ~ /[TDBRVW]/ {print $3}'");
    EXPECT_EQ(symbols.text, std::string(entry) + "\n") << binary;
  }
}

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
    ++n;
  return n;
}

TEST(Lv2Bundle, HostsSeeFourAudioAndThirteenControlPorts) {
  BundlePath path;
  const Output o = run(path.env() + " lv2info " + lv2ports::kPluginUri);
  ASSERT_EQ(o.exitCode, 0) << o.text;
  EXPECT_EQ(count(o.text, "lv2core#AudioPort"), 4u);
  EXPECT_EQ(count(o.text, "lv2core#ControlPort"), 13u);
  EXPECT_NE(o.text.find("Has latency:       no"), std::string::npos);
  EXPECT_NE(o.text.find(lv2ports::kUiUri), std::string::npos);
  // Every step of every selector and toggle, labelled as the VST module displays it.
  for (int i = 0; i < kNumParams; ++i) {
    const ParameterInfo& p = parameters::info(i);
    EXPECT_NE(o.text.find("Symbol:      " + std::string(p.symbol)), std::string::npos) << p.name;
    for (const ParameterStep& step : p.steps)
      EXPECT_NE(o.text.find("= \"" + std::string(step.text) + "\""), std::string::npos)
          << p.name << " " << step.text;
  }
  // lv2info does not print units; the Turtle carries them.
  const Output triples = run("sordi " OMBRINE_LV2_BUNDLE "/ombrine.ttl");
  EXPECT_EQ(count(triples.text, "units#unit> <http://lv2plug.in/ns/extensions/units#db>"), 2u);
  EXPECT_EQ(count(triples.text, "units#unit> <http://lv2plug.in/ns/extensions/units#khz>"), 2u);
  EXPECT_EQ(count(triples.text, "units#unit> <http://lv2plug.in/ns/extensions/units#hz>"), 1u);
}

// lv2apply against ombrine-render through the VST module: the same settings, in the units each
// tool takes, give the same audio (float path).
TEST(Lv2Bundle, Lv2applyRendersAsTheVstModule) {
  struct Setting {
    std::vector<std::pair<std::string, std::string>> lv2; // symbol, port value
    std::vector<std::string> vst;                         // NAME=VALUE for ombrine-render
  };
  const Setting settings[] = {
      {{}, {}},
      {{{"lo_boost", "0.6"}, {"lo_freq", "60"}, {"hi_boost", "0.4"}, {"hi_boost_freq", "10"}},
       {"Lo Boost=0.6", "Lo Freq=60", "Hi Boost=0.4", "Hi Boost Freq.=10"}},
      {{{"input_level", "9"}, {"hi_cut", "0.7"}, {"hi_cut_freq", "8"}, {"mode", "0"}},
       {"Input level=9", "Hi Cut=0.7", "Hi Cut Freq.=8", "Mode=Mono"}},
      {{{"equalizer", "0"}, {"output_level", "-6"}}, {"Equalizer=Off", "Output level=-6"}},
  };
  BundlePath path;
  for (int rate : {44100, 96000}) {
    const std::string in = path.dir.file("in.wav");
    render::writeAudio(in, rendertest::testSignal(2, rate, 0.5, SF_FORMAT_WAV | SF_FORMAT_FLOAT,
                                                  {110.0, 3000.0}, 0.3, 0.1));
    for (const Setting& s : settings) {
      std::string lv2 =
          path.env() + " lv2apply -i " + quote(in) + " -o " + quote(path.dir.file("lv2.wav"));
      for (const auto& [symbol, value] : s.lv2)
        lv2 += " -c " + symbol + " " + value;
      const Output o = run(lv2 + " " + lv2ports::kPluginUri);
      ASSERT_EQ(o.exitCode, 0) << o.text;
      std::vector<std::string> args = {"-q", OMBRINE_MODULE_PATH, in, path.dir.file("vst.wav")};
      args.insert(args.end(), s.vst.begin(), s.vst.end());
      const rendertest::RunResult r = rendertest::runTool(args);
      ASSERT_EQ(r.exitCode, 0) << r.err;
      const render::AudioData a = render::readAudio(path.dir.file("lv2.wav"));
      const render::AudioData b = render::readAudio(path.dir.file("vst.wav"));
      ASSERT_EQ(a.channels, 2);
      ASSERT_EQ(a.frames(), b.frames());
      EXPECT_LE(rendertest::maxDifference(a.samples, b.samples), 1e-6)
          << rate << " Hz, " << s.vst.size() << " values set";
    }
  }
}

// Hosts list every factory preset by name, and each carries the table's values in port units.
TEST(Lv2Bundle, FactoryPresetsCarryTheTablesValues) {
  BundlePath path;
  const Output info = run(path.env() + " lv2info " + lv2ports::kPluginUri);
  for (const FactoryPreset& p : presets::kFactory)
    EXPECT_NE(info.text.find("         " + std::string(p.name) + "\n"), std::string::npos)
        << p.name;

  // The presets as triples: preset -> port nodes, node -> symbol and value, preset -> label.
  const Output triples = run("sordi " OMBRINE_LV2_BUNDLE "/presets.ttl");
  ASSERT_EQ(triples.exitCode, 0) << triples.text;
  std::map<std::string, std::string> labelOf, symbolOf, valueOf;
  std::multimap<std::string, std::string> portsOf;
  std::istringstream lines(triples.text);
  for (std::string line; std::getline(lines, line);) {
    // N-Triples: subject <predicate> object .
    const auto first = line.find(' '), second = line.find(' ', first + 1);
    if (first == std::string::npos || second == std::string::npos || !line.ends_with(" ."))
      continue;
    const std::string subject = line.substr(0, first);
    const std::string predicate = line.substr(first + 1, second - first - 1);
    const std::string object = line.substr(second + 1, line.size() - second - 3);
    // A literal's text: between its quotes, before any datatype.
    const std::string text =
        object.front() == '"' ? object.substr(1, object.find('"', 1) - 1) : object;
    if (predicate.ends_with("#label>")) labelOf[subject] = text;
    if (predicate.ends_with("#port>")) portsOf.emplace(subject, object);
    if (predicate.ends_with("#symbol>")) symbolOf[subject] = text;
    if (predicate.ends_with("#value>")) valueOf[subject] = text;
  }
  ASSERT_EQ(labelOf.size(), std::size(presets::kFactory));
  for (const FactoryPreset& p : presets::kFactory) {
    const auto preset = std::find_if(labelOf.begin(), labelOf.end(),
                                     [&](const auto& l) { return l.second == p.name; });
    ASSERT_NE(preset, labelOf.end()) << p.name;
    std::map<std::string, double> values;
    for (auto [it, end] = portsOf.equal_range(preset->first); it != end; ++it)
      values[symbolOf[it->second]] = std::stod(valueOf[it->second]);
    ASSERT_EQ(values.size(), static_cast<std::size_t>(kNumParams)) << p.name;
    for (int i = 0; i < kNumParams; ++i)
      EXPECT_EQ(values[std::string(parameters::info(i).symbol)],
                p.values[static_cast<std::size_t>(i)])
          << p.name << " " << parameters::info(i).name;
  }
}

} // namespace
