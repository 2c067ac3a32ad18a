// Preset files: the factory presets as .fxp files loaded into the module as a host loads them,
// the render tool's --preset, --save-preset and --list-presets, and files that must be refused.
#include "RenderTestSupport.h"
#include "core/Parameters.h"
#include "presets/FactoryFiles.h"

#include <cstring>
#include <filesystem>

namespace {

using namespace rendertest;

constexpr int kWavFloat = SF_FORMAT_WAV | SF_FORMAT_FLOAT;

std::vector<std::uint8_t> readBytes(const std::string& path) {
  const std::string text = readText(path);
  return {text.begin(), text.end()};
}

void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

// The preset's values as a user types them, in the units the render tool takes.
std::vector<std::string> asAssignments(const FactoryPreset& preset) {
  std::vector<std::string> out;
  for (int i = 0; i < kNumParams; ++i) {
    const ParameterInfo& p = parameters::info(i);
    const double v = preset.values[static_cast<std::size_t>(i)];
    std::string value;
    if (p.stepped()) {
      for (const auto& step : p.steps)
        if (step.value == v) value = step.text;
    } else {
      char text[40];
      std::snprintf(text, sizeof(text), "%.17g", v);
      value = text;
    }
    out.push_back(std::string(p.name) + "=" + value);
  }
  return out;
}

TEST(FactoryPresetFiles, EveryFileLoadsIntoTheModuleAsThePresetsValues) {
  render::HostSession session(OMBRINE_MODULE_PATH);
  vsthost::Plugin& plugin = session.plugin();
  // The identity the files carry is the module's own.
  EXPECT_EQ(session.descriptor().uniqueID, fxp::kOmbrine.uniqueId);
  EXPECT_EQ(session.descriptor().version, fxp::kOmbrine.version);
  EXPECT_EQ(session.descriptor().numParams, fxp::kOmbrine.numParams);

  std::set<std::string> expected;
  for (const FactoryPreset& preset : presets::kFactory) {
    SCOPED_TRACE(preset.name);
    const std::string path = std::string(OMBRINE_FXP_DIR) + "/" + presets::fileName(preset);
    expected.insert(presets::fileName(preset));
    const fxp::Program program = fxp::readFile(path);
    EXPECT_EQ(program.name, preset.name);
    ASSERT_EQ(program.values.size(), static_cast<std::size_t>(kNumParams));
    for (int i = 0; i < kNumParams; ++i)
      plugin.setParameter(i, program.values[static_cast<std::size_t>(i)]);
    for (int i = 0; i < kNumParams; ++i)
      EXPECT_EQ(plugin.getParameter(i), static_cast<float>(parameters::toNormalised(
                                            i, preset.values[static_cast<std::size_t>(i)])))
          << parameters::info(i).name;
  }
  std::set<std::string> found;
  for (const auto& entry : std::filesystem::directory_iterator(OMBRINE_FXP_DIR))
    found.insert(entry.path().filename().string());
  EXPECT_EQ(found, expected);
}

TEST(FactoryPresetFiles, LayoutIsTheRegularProgramForm) {
  const FactoryPreset& preset = presets::kFactory[0];
  const auto bytes = readBytes(std::string(OMBRINE_FXP_DIR) + "/" + presets::fileName(preset));
  ASSERT_EQ(bytes.size(), 56u + 4u * kNumParams);
  auto text = [&](std::size_t at, std::size_t n) {
    return std::string(reinterpret_cast<const char*>(bytes.data() + at), n);
  };
  auto integer = [&](std::size_t at) {
    return bytes[at] << 24 | bytes[at + 1] << 16 | bytes[at + 2] << 8 | bytes[at + 3];
  };
  EXPECT_EQ(text(0, 4), "CcnK");
  EXPECT_EQ(integer(4), static_cast<int>(bytes.size()) - 8);
  EXPECT_EQ(text(8, 4), "FxCk");
  EXPECT_EQ(integer(12), 1);
  EXPECT_EQ(text(16, 4), "RVLX");
  EXPECT_EQ(integer(20), 1);
  EXPECT_EQ(integer(24), kNumParams);
  EXPECT_EQ(text(28, preset.name.size() + 1), std::string(preset.name) + '\0');
  EXPECT_EQ(text(28 + preset.name.size(), 28 - preset.name.size()),
            std::string(28 - preset.name.size(), '\0'));
  // Big-endian IEEE floats, normalised: a level of L dB is (L + 18) / 36.
  const std::uint32_t outputLevel = static_cast<std::uint32_t>(integer(56 + 4));
  EXPECT_EQ(std::bit_cast<float>(outputLevel),
            static_cast<float>((preset.values[kOutputLevel] + 18.0) / 36.0));
}

TEST(RenderPresets, PresetByNameRendersAsTheSameValuesGivenOneByOne) {
  struct Case {
    const char* preset;  // as typed, any case
    const char* factory; // the table's name
    std::vector<std::string> overrides;
  };
  const Case cases[] = {
      {"telephone", "Telephone", {}},
      {"WARM TUBES ONLY", "Warm Tubes Only", {}},
      {"Dark Vintage", "Dark Vintage", {"Hi Cut=0.25", "Mode=Mono"}},
  };
  ScratchDir dir;
  writeAudio(dir.file("in.wav"), testSignal(2, 44100, 0.25, kWavFloat, {90.0, 4000.0}, 0.3, 0.1));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.preset);
    std::vector<std::string> byName = {"--preset", c.preset, OMBRINE_MODULE_PATH,
                                       dir.file("in.wav"), dir.file("a.wav")};
    byName.insert(byName.end(), c.overrides.begin(), c.overrides.end());
    const auto a = runTool(byName);
    ASSERT_EQ(a.exitCode, 0) << a.err;

    std::vector<std::string> oneByOne = {OMBRINE_MODULE_PATH, dir.file("in.wav"),
                                         dir.file("b.wav")};
    for (const auto& s : asAssignments(*presets::findFactory(c.factory)))
      oneByOne.push_back(s);
    oneByOne.insert(oneByOne.end(), c.overrides.begin(), c.overrides.end());
    const auto b = runTool(oneByOne);
    ASSERT_EQ(b.exitCode, 0) << b.err;
    const auto ra = render::readAudio(dir.file("a.wav"));
    EXPECT_EQ(ra.samples, render::readAudio(dir.file("b.wav")).samples);
    // The override changed what was heard: the preset alone is another render.
    if (!c.overrides.empty()) {
      ASSERT_EQ(
          runTool({"-p", c.preset, OMBRINE_MODULE_PATH, dir.file("in.wav"), dir.file("c.wav")})
              .exitCode,
          0);
      EXPECT_GT(maxDifference(ra.samples, render::readAudio(dir.file("c.wav")).samples), 1e-3);
    }
  }
}

TEST(RenderPresets, SavedSettingsLoadBackExactly) {
  ScratchDir dir;
  writeAudio(dir.file("in.wav"), testSignal(1, 48000, 0.25, kWavFloat, {150.0}, 0.4, 0.1));
  const std::vector<std::string> overrides = {"Lo Boost=0.3", "Input level=-4.5", "Mode=Mono"};
  std::vector<std::string> first = {
      "--preset",          "Vocal Air",        "--save-preset",  dir.file("my vocal.fxp"),
      OMBRINE_MODULE_PATH, dir.file("in.wav"), dir.file("a.wav")};
  first.insert(first.end(), overrides.begin(), overrides.end());
  const auto a = runTool(first);
  ASSERT_EQ(a.exitCode, 0) << a.err;
  const auto b = runTool({"--preset", dir.file("my vocal.fxp"), OMBRINE_MODULE_PATH,
                          dir.file("in.wav"), dir.file("b.wav")});
  ASSERT_EQ(b.exitCode, 0) << b.err;
  EXPECT_EQ(render::readAudio(dir.file("a.wav")).samples,
            render::readAudio(dir.file("b.wav")).samples);

  // The file holds the preset's values with the three overridden.
  const fxp::Program saved = fxp::readFile(dir.file("my vocal.fxp"));
  EXPECT_EQ(saved.name, "my vocal");
  std::vector<float> expected = presets::program(*presets::findFactory("Vocal Air")).values;
  render::HostSession session(OMBRINE_MODULE_PATH);
  const auto table = render::ParameterTable::probe(session.plugin());
  for (const auto& text : overrides) {
    const auto assignment = render::parseAssignment(table, text);
    expected[static_cast<std::size_t>(assignment.index)] = assignment.value;
  }
  EXPECT_EQ(saved.values, expected);

  // Saving alone needs no audio, and saving again gives the same bytes.
  const auto c = runTool({"--preset", dir.file("my vocal.fxp"), "--save-preset",
                          dir.file("again.fxp"), OMBRINE_MODULE_PATH});
  ASSERT_EQ(c.exitCode, 0) << c.err;
  auto again = readBytes(dir.file("again.fxp"));
  auto original = readBytes(dir.file("my vocal.fxp"));
  std::memset(again.data() + 28, 0, 28); // the names differ: each is its file's
  std::memset(original.data() + 28, 0, 28);
  EXPECT_EQ(again, original);
}

TEST(RenderPresets, BrokenPresetFilesAreRefusedAndLeaveNoOutput) {
  const auto good = fxp::encode(presets::program(presets::kFactory[0]));
  auto setInt = [](std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i)
      b[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
  };
  auto setFloat = [&](std::vector<std::uint8_t>& b, int index, float v) {
    setInt(b, 56 + 4 * static_cast<std::size_t>(index), std::bit_cast<std::uint32_t>(v));
  };
  struct Case {
    const char* what;
    std::function<void(std::vector<std::uint8_t>&)> damage;
    const char* message;
  };
  const Case cases[] = {
      {"not a preset file", [](auto& b) { b[0] = 'X'; }, "not a VST preset file"},
      {"a bank", [&](auto& b) { setInt(b, 8, fxp::fourCC('F', 'x', 'B', 'k')); }, "bank"},
      {"an opaque chunk", [&](auto& b) { setInt(b, 8, fxp::fourCC('F', 'P', 'C', 'h')); },
       "opaque chunk"},
      {"another plug-in", [&](auto& b) { setInt(b, 16, fxp::fourCC('A', 'b', 'c', 'd')); },
       "another plug-in (id 'Abcd'"},
      {"twelve values",
       [&](auto& b) {
         b.erase(b.end() - 4, b.end());
         setInt(b, 4, static_cast<std::uint32_t>(b.size() - 8));
         setInt(b, 24, 12);
       },
       "holds 12 parameter values"},
      {"truncated body", [](auto& b) { b.erase(b.end() - 3, b.end()); }, "truncated"},
      {"truncated header", [](auto& b) { b.erase(b.begin() + 40, b.end()); }, "truncated"},
      {"bytes after the values", [](auto& b) { b.push_back(0); }, "unexpected bytes"},
      {"size field", [&](auto& b) { setInt(b, 4, 4000); }, "size of 4000"},
      {"format version", [&](auto& b) { setInt(b, 12, 2); }, "format version 2"},
      {"NaN", [&](auto& b) { setFloat(b, 12, std::nanf("")); }, "parameter 12 is not a number"},
      {"infinity", [&](auto& b) { setFloat(b, 3, INFINITY); }, "parameter 3 is not a number"},
      {"above 1", [&](auto& b) { setFloat(b, 0, 1.5f); }, "outside 0 to 1"},
      {"below 0", [&](auto& b) { setFloat(b, 7, -0.25f); }, "outside 0 to 1"},
  };
  ScratchDir dir;
  writeAudio(dir.file("in.wav"), testSignal(2, 44100, 0.05, kWavFloat));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto bytes = good;
    c.damage(bytes);
    try {
      fxp::decode(bytes);
      ADD_FAILURE() << "accepted";
    } catch (const fxp::FxpError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
    writeBytes(dir.file("bad.fxp"), bytes);
    const auto before = dir.list();
    const auto run =
        runTool({"--preset", dir.file("bad.fxp"), "--save-preset", dir.file("saved.fxp"),
                 OMBRINE_MODULE_PATH, dir.file("in.wav"), dir.file("out.wav")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("bad.fxp refused: "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(dir.list(), before);
  }
  const auto unknown =
      runTool({"--preset", "Kazoo", OMBRINE_MODULE_PATH, dir.file("in.wav"), dir.file("out.wav")});
  EXPECT_EQ(unknown.exitCode, 1);
  EXPECT_NE(unknown.err.find("no factory preset \"Kazoo\""), std::string::npos) << unknown.err;
}

TEST(RenderPresets, ListShowsEveryFactoryPresetWithItsDescription) {
  const auto run = runTool({"--list-presets"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  for (const FactoryPreset& preset : presets::kFactory) {
    EXPECT_NE(run.out.find(std::string(preset.name) + "  "), std::string::npos) << preset.name;
    EXPECT_NE(run.out.find(preset.description), std::string::npos) << preset.name;
  }
}

} // namespace
