// The built ombrine-render against the module: files in and out, settings,
// ramps, precision, formats, failures and the demo.
#include "RenderTestSupport.h"
#include "render/BandLevels.h"

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <signal.h>
#include <thread>

namespace {

using namespace rendertest;

constexpr int kWavFloat = SF_FORMAT_WAV | SF_FORMAT_FLOAT;

// The normalised values the tool resolves the texts to, from the module itself.
std::vector<render::Assignment> resolve(const std::vector<std::string>& texts) {
  render::HostSession session(OMBRINE_MODULE_PATH);
  const auto table = render::ParameterTable::probe(session.plugin());
  std::vector<render::Assignment> out;
  for (const auto& t : texts)
    out.push_back(render::parseAssignment(table, t));
  return out;
}

std::vector<std::string> toolArgs(const std::string& in, const std::string& out,
                                  const std::vector<std::string>& extra) {
  std::vector<std::string> args = {OMBRINE_MODULE_PATH, in, out};
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

std::vector<float> channel(const std::vector<float>& interleaved, int channels, int c,
                           std::size_t first = 0, std::size_t count = SIZE_MAX) {
  std::vector<float> out;
  const std::size_t frames = interleaved.size() / static_cast<std::size_t>(channels);
  for (std::size_t i = first; i < frames && i - first < count; ++i)
    out.push_back(
        interleaved[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)]);
  return out;
}

TEST(RenderFiles, AllOffChainMatchesTheModuleDrivenDirectlyAndKeepsTheLevel) {
  ScratchDir dir;
  const auto in = testSignal(2, 48000, 0.5, kWavFloat, {440.0, 3000.0});
  writeAudio(dir.file("in.wav"), in);
  const std::vector<std::string> setting = {"Tube Buffer=Off", "Equalizer=Off", "Input level=0",
                                            "Output level=0"};
  const auto run = runTool(toolArgs(dir.file("in.wav"), dir.file("out.wav"), setting));
  ASSERT_EQ(run.exitCode, 0) << run.err;

  const auto out = render::readAudio(dir.file("out.wav"));
  EXPECT_EQ(out.format, kWavFloat);
  EXPECT_EQ(out.channels, 2);
  EXPECT_EQ(out.sampleRate, 48000);
  ASSERT_EQ(out.frames(), in.frames());
  // The same module driven with 0 and 1 for the switches (Off either way).
  const auto direct = driveDirectly<float>(in, {{10, 0.0f}, {11, 0.0f}, {0, 0.5f}, {1, 0.5f}}, 512);
  EXPECT_LE(maxDifference(out.samples, direct), 1e-7);

  // Nothing but the oversampler's half-band filter is in the way: the level
  // in every octave that has signal is the input's.
  const auto inBands = render::octaveBandLevels(in.samples, 2, 48000);
  const auto outBands = render::octaveBandLevels(out.samples, 2, 48000);
  for (int b = 0; b < render::kOctaveBands - 1; ++b)
    EXPECT_NEAR(outBands[b], inBands[b], 0.2) << render::kOctaveBandNames[b];
}

TEST(RenderFiles, SettingsAndBlockSizeReachTheModuleAsAHostSendsThem) {
  ScratchDir dir;
  const auto in = testSignal(2, 44100, 0.4, kWavFloat, {100.0, 6000.0}, 0.3, 0.1);
  writeAudio(dir.file("in.wav"), in);
  const std::vector<std::string> setting = {"Input level=-6",    "Lo Freq=60",   "Lo Boost=0.8",
                                            "Hi Boost Freq.=10", "Hi Boost=0.5", "Mode=Stereo"};
  auto args = toolArgs(dir.file("in.wav"), dir.file("out.wav"), {"--block", "300"});
  for (const auto& s : setting)
    args.insert(args.end(), {"--set", s});
  const auto run = runTool(args);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const auto out = render::readAudio(dir.file("out.wav"));
  const auto direct = driveDirectly<float>(in, resolve(setting), 300);
  EXPECT_LE(maxDifference(out.samples, direct), 1e-7);
  // The setting made a difference: the default-setting render is another signal.
  const auto init = driveDirectly<float>(in, {}, 300);
  EXPECT_GT(maxDifference(out.samples, init), 1e-3);
}

TEST(RenderFiles, DoublePathAgreesWithTheFloatPath) {
  ScratchDir dir;
  const auto in = testSignal(2, 48000, 0.3, kWavFloat);
  writeAudio(dir.file("in.wav"), in);
  ASSERT_EQ(runTool(toolArgs(dir.file("in.wav"), dir.file("f.wav"), {})).exitCode, 0);
  const auto run = runTool(toolArgs(dir.file("in.wav"), dir.file("d.wav"), {"--double"}));
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const auto f = render::readAudio(dir.file("f.wav"));
  const auto d = render::readAudio(dir.file("d.wav"));
  EXPECT_LE(maxDifference(f.samples, d.samples), 1e-6);
  EXPECT_LE(maxDifference(d.samples, driveDirectly<float>(in, {}, 512)), 1e-6);
}

TEST(RenderFiles, RampMovesTheParameterLinearlyFromFirstBlockToLast) {
  ScratchDir dir;
  // A steady tone; the output level falls from 0 dB to -18 dB across the file.
  const auto in = testSignal(1, 48000, 1.0, kWavFloat, {1000.0}, 0.5, 0.0);
  writeAudio(dir.file("in.wav"), in);
  const auto run =
      runTool(toolArgs(dir.file("in.wav"), dir.file("out.wav"),
                       {"--ramp", "Output level=0:-18", "Tube Buffer=Off", "Equalizer=Off"}));
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const auto out = render::readAudio(dir.file("out.wav"));
  const std::size_t block = 512;
  const std::size_t blocks = (static_cast<std::size_t>(in.frames()) + block - 1) / block;
  for (std::size_t k = 1; k + 1 < blocks; k += 9) {
    const double expected = -18.0 * static_cast<double>(k) / static_cast<double>(blocks - 1);
    const double gain = render::rmsLevel(channel(out.samples, out.channels, 0, k * block, block)) -
                        render::rmsLevel(channel(in.samples, 1, 0, k * block, block));
    EXPECT_NEAR(gain, expected, 0.25) << "block " << k;
  }
}

TEST(RenderFiles, MonoInputGivesTheFirstOutputUnlessStereoIsAsked) {
  ScratchDir dir;
  const auto in = testSignal(1, 44100, 0.3, SF_FORMAT_WAV | SF_FORMAT_PCM_16, {220.0}, 0.3);
  writeAudio(dir.file("mono.wav"), in);
  // The file holds 16-bit samples: the same within one step of 16 bits.
  const auto direct = driveDirectly<float>(render::readAudio(dir.file("mono.wav")), {}, 512);
  for (bool stereo : {false, true}) {
    SCOPED_TRACE(stereo ? "--stereo-out" : "default");
    auto args = toolArgs(dir.file("mono.wav"), dir.file("out.wav"), {});
    if (stereo) args.insert(args.begin(), "--stereo-out");
    const auto run = runTool(args);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err.find("mono input fed both inputs") != std::string::npos, stereo) << run.err;
    const auto out = render::readAudio(dir.file("out.wav"));
    EXPECT_EQ(out.channels, stereo ? 2 : 1);
    EXPECT_EQ(out.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(out.sampleRate, 44100);
    ASSERT_EQ(out.frames(), in.frames());
    const auto left = channel(out.samples, out.channels, 0);
    EXPECT_EQ(left, channel(out.samples, out.channels, out.channels - 1));
    EXPECT_LE(maxDifference(left, channel(direct, 2, 0)), 1.01 / 32768.0);
  }
}

// Five files in one call, one of them no audio file: four results, each as a render of its
// own would give, one clear error, and a failing exit status.
TEST(RenderFiles, BatchRendersEveryReadableFileAndReportsTheOther) {
  struct Case {
    const char* name;
    int channels, rate;
  };
  const Case cases[] = {{"one.wav", 2, 44100},
                        {"two.wav", 1, 48000},
                        {"broken.wav", 0, 0},
                        {"three.wav", 2, 96000},
                        {"four.wav", 1, 22050}};
  ScratchDir dir;
  std::vector<std::string> args = {"--out-dir", dir.file("out"), OMBRINE_MODULE_PATH};
  for (const Case& c : cases) {
    if (c.channels)
      writeAudio(dir.file(c.name), testSignal(c.channels, c.rate, 0.3, kWavFloat, {70.0, 5000.0}));
    else
      writeText(dir.file(c.name), "not audio\n");
    args.push_back(dir.file(c.name));
  }
  const std::vector<std::string> setting = {"Lo Boost=0.7", "Lo Freq=45", "Hi Boost=0.4"};
  args.insert(args.end(), setting.begin(), setting.end());
  const auto run = runTool(args);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("failed: " + dir.file("broken.wav") + ": cannot read"), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("1 of 5 files failed"), std::string::npos) << run.err;

  std::set<std::string> written;
  for (const auto& entry : std::filesystem::directory_iterator(dir.file("out")))
    written.insert(entry.path().filename().string());
  EXPECT_EQ(written, (std::set<std::string>{"one.wav", "two.wav", "three.wav", "four.wav"}));
  for (const Case& c : cases) {
    if (!c.channels) continue;
    SCOPED_TRACE(c.name);
    EXPECT_NE(run.err.find("wrote " + dir.file("out") + "/" + c.name), std::string::npos);
    const auto in = render::readAudio(dir.file(c.name));
    const auto out = render::readAudio(dir.file("out") + "/" + c.name);
    EXPECT_EQ(out.channels, c.channels);
    EXPECT_EQ(out.sampleRate, c.rate);
    const auto direct = driveDirectly<float>(in, resolve(setting), 512);
    EXPECT_LE(maxDifference(out.samples, c.channels == 2 ? direct : channel(direct, 2, 0)), 1e-7);
  }
}

TEST(RenderFiles, OutputKeepsTheInputFormatUnlessTheNameAsksForAnother) {
  struct Case {
    const char* in;
    int inFormat;
    int channels, rate;
    const char* out;
    int expected;
  };
  const Case cases[] = {
      {"a.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 2, 96000, "b.flac",
       SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
      {"a.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 2, 44100, "b.aif",
       SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
      {"a.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, 48000, "b.wav",
       SF_FORMAT_WAV | SF_FORMAT_PCM_24},
      {"a.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, 48000, "b.flac",
       SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
      // FLAC has no floating-point samples: the nearest it has.
      {"a.wav", kWavFloat, 1, 32000, "b.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
      {"a.wav", kWavFloat, 1, 22050, "b.out", kWavFloat},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.in) + " -> " + c.out);
    ScratchDir dir;
    writeAudio(dir.file(c.in), testSignal(c.channels, c.rate, 0.1, c.inFormat));
    const auto run = runTool(toolArgs(dir.file(c.in), dir.file(c.out), {}));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto out = render::readAudio(dir.file(c.out));
    EXPECT_EQ(out.format, c.expected);
    EXPECT_EQ(out.sampleRate, c.rate);
    EXPECT_EQ(out.channels, c.channels);
    EXPECT_EQ(out.frames(), static_cast<sf_count_t>(0.1 * c.rate));
  }
}

TEST(RenderFiles, FailuresExitNonZeroAndLeaveNoOutputBehind) {
  struct Case {
    const char* what;
    std::vector<std::string> args; // $IN, $OUT, $TEXT, $MODULE, $THREE replaced
    int exitCode;
    const char* message;
  };
  const Case cases[] = {
      {"missing input", {"$MODULE", "$DIR/none.wav", "$OUT"}, 1, "input file not found"},
      {"unreadable input", {"$MODULE", "$TEXT", "$OUT"}, 1, "cannot read"},
      {"unknown parameter", {"$MODULE", "$IN", "$OUT", "Presence=3"}, 1, "unknown parameter"},
      {"value out of range", {"$MODULE", "$IN", "$OUT", "Input level=24"}, 1, "out of range"},
      {"no such step", {"$MODULE", "$IN", "$OUT", "--ramp", "Lo Freq=20:70"}, 1, "no step"},
      {"module that is no module", {"$TEXT", "$IN", "$OUT"}, 1, "cannot load module"},
      {"missing module", {"$DIR/none.so", "$IN", "$OUT"}, 1, "module not found"},
      {"three channels", {"$MODULE", "$THREE", "$OUT"}, 1, "has 3 channels"},
      {"bad block size", {"--block", "0", "$MODULE", "$IN", "$OUT"}, 2, "block size"},
      {"too few arguments", {"$MODULE", "$IN"}, 2, "expected <module> <input> <output>"},
      {"unknown option", {"--colour", "$MODULE", "$IN", "$OUT"}, 2, "unknown option"},
      {"batch over its own input", {"--out-dir", "$DIR", "$MODULE", "$IN"}, 1, "input itself"},
      {"batch inputs of one name",
       {"--out-dir", "$DIR/new", "$MODULE", "$IN", "$DIR/sub/in.wav"},
       1,
       "would both be written as"},
  };
  for (bool earlierOutput : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (earlierOutput ? ", over an earlier output" : ""));
      ScratchDir dir;
      writeAudio(dir.file("in.wav"), testSignal(2, 48000, 0.1, kWavFloat));
      writeAudio(dir.file("three.wav"), testSignal(3, 48000, 0.1, kWavFloat));
      writeText(dir.file("text.wav"), "not audio\n");
      if (earlierOutput) writeText(dir.file("out.wav"), "earlier output\n");
      const auto before = dir.list();

      std::vector<std::string> args;
      for (std::string a : c.args) {
        auto replace = [&](const std::string& key, const std::string& value) {
          if (const auto at = a.find(key); at != std::string::npos)
            a.replace(at, key.size(), value);
        };
        replace("$MODULE", OMBRINE_MODULE_PATH);
        replace("$IN", dir.file("in.wav"));
        replace("$OUT", dir.file("out.wav"));
        replace("$TEXT", dir.file("text.wav"));
        replace("$THREE", dir.file("three.wav"));
        replace("$DIR", dir.path);
        args.push_back(a);
      }
      const auto run = runTool(args);
      EXPECT_EQ(run.exitCode, c.exitCode);
      EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
      EXPECT_EQ(dir.list(), before);
      if (earlierOutput) {
        EXPECT_EQ(readText(dir.file("out.wav")), "earlier output\n");
      }
    }
  }
}

TEST(RenderFiles, InterruptedRenderLeavesNoOutputBehind) {
  ScratchDir dir;
  writeAudio(dir.file("long.wav"),
             testSignal(1, 44100, 60.0, SF_FORMAT_WAV | SF_FORMAT_PCM_16, {440.0}, 0.3, 0.0));
  const auto before = dir.list();
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, STDOUT_FILENO);
    dup2(devnull, STDERR_FILENO);
    execl(OMBRINE_RENDER_PATH, OMBRINE_RENDER_PATH, "--block", "16", OMBRINE_MODULE_PATH,
          dir.file("long.wav").c_str(), dir.file("out.wav").c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  // Wait for the render to start writing, then interrupt it.
  bool writing = false;
  for (int i = 0; i < 5000 && !writing; ++i) {
    for (const auto& name : dir.list())
      writing |= name.find(".partial-") != std::string::npos;
    if (!writing) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  kill(child, SIGINT);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(writing);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 0) GTEST_SKIP() << "the render finished before the interruption";
  EXPECT_EQ(WEXITSTATUS(status), 130);
  EXPECT_EQ(dir.list(), before);
}

TEST(RenderFiles, ListShowsParametersWithoutTheModuleTraces) {
  const auto run = runTool({"--list", OMBRINE_MODULE_PATH});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  for (const char* text : {"Input level", "-18 .. 18 db", "Hi Boost Freq.",
                           "3 | 4 | 5 | 6 | 10 | 12 | 16 KHz", "Mono | Stereo", "Off | On"})
    EXPECT_NE(run.out.find(text), std::string::npos) << text;
  EXPECT_EQ(run.out.find("create "), std::string::npos);
  EXPECT_EQ(run.out.find("destroy "), std::string::npos);
}

TEST(RenderFiles, DemoWritesBothFilesAndReportsEveryOctave) {
  ScratchDir dir;
  const auto run = runTool({"--demo", OMBRINE_MODULE_PATH, dir.file("demo.wav")});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const auto in = render::readAudio(dir.file("ombrine-demo-input.wav"));
  const auto out = render::readAudio(dir.file("demo.wav"));
  EXPECT_EQ(in.channels, 2);
  EXPECT_EQ(in.sampleRate, 48000);
  EXPECT_EQ(in.frames(), 6 * 48000);
  EXPECT_EQ(out.frames(), in.frames());
  EXPECT_EQ(out.format, in.format);
  for (const char* band : render::kOctaveBandNames)
    EXPECT_NE(run.out.find(std::string("\n  ") + band), std::string::npos) << band;
  // Every band has content: the signal covers 31.5 Hz to 16 kHz.
  const auto levels = render::octaveBandLevels(in.samples, 2, 48000);
  for (double level : levels)
    EXPECT_GT(level, -60.0);
}

TEST(BandLevels, ToneLandsInItsOwnOctaveAtItsLevel) {
  struct Case {
    double frequency, amplitude;
    int band;
  };
  const Case cases[] = {
      {63.0, 0.5, 1}, {1000.0, 0.1, 5}, {1300.0, 0.25, 5}, {9000.0, 0.7, 8}, {15000.0, 0.05, 9}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.frequency);
    const auto signal = testSignal(2, 48000, 2.0, kWavFloat, {c.frequency}, c.amplitude, 0.0);
    const auto levels = render::octaveBandLevels(signal.samples, 2, 48000);
    const double expected = 20.0 * std::log10(c.amplitude / std::numbers::sqrt2);
    EXPECT_NEAR(levels[c.band], expected, 0.05);
    for (int b = 0; b < render::kOctaveBands; ++b)
      if (std::abs(b - c.band) > 1) {
        EXPECT_LT(levels[b], expected - 45.0) << b;
      }
    EXPECT_NEAR(render::rmsLevel(signal.samples), expected, 0.05);
  }
}

} // namespace
