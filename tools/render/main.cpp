// ombrine-render: an offline host. Loads a VST 2.4 module by path, renders an
// audio file through it block by block and writes the result.
#include "common/CommandLine.h"
#include "render/Batch.h"
#include "render/Demo.h"
#include "render/PresetArgs.h"
#include "render/Renderer.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kExitError = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;
// Files at least this long get a progress bar (when standard error is a terminal).
constexpr double kProgressSeconds = 10.0;

const char* const kUsage = R"(usage:
  ombrine-render [options] <module> <input> <output> [NAME=VALUE ...]
  ombrine-render [options] --out-dir DIR <module> <input>... [NAME=VALUE ...]
  ombrine-render [options] --save-preset FILE.fxp <module> [NAME=VALUE ...]
  ombrine-render --list <module>
  ombrine-render --list-presets
  ombrine-render --demo <module> <output.wav>

Renders an audio file (WAV, FLAC, AIFF, ... as libsndfile reads them) through a
VST 2.4 module at the file's sample rate and writes the result in the input's
format. A stereo file gives a stereo file; a mono file feeds both inputs and
gives a mono file (the first output) unless --stereo-out asks for both. The
output appears only when the render has succeeded.

With --out-dir, every input is rendered into DIR under its own file name,
several at once; a file that fails is reported and the others go on, and the
exit status is 1 when any failed.

options:
  -p, --preset NAME|FILE.fxp
                         start from a factory preset (its name in any case) or
                         a VST preset file; --set and NAME=VALUE arguments then
                         change single values
      --save-preset FILE.fxp
                         write the settings as they are before the first block
                         as a VST preset file (the program is named after it)
      --list-presets     the factory presets and what they are for
  -s, --set NAME=VALUE   set a parameter before the first block (repeatable;
                         trailing NAME=VALUE arguments do the same)
  -r, --ramp NAME=A:B    move a parameter linearly from A to B over the file,
                         once per block (repeatable)
  -b, --block N          frames per block, 1 to 65536 (default 512)
  -d, --double           use the double-precision process
      --stereo-out       a mono input gives a stereo file (both outputs)
  -o, --out-dir DIR      render every input into DIR (made if missing)
  -j, --jobs N           files rendered at once with --out-dir (default: one
                         per processor)
  -l, --list             print the parameters as a host sees them
      --demo             render the built-in demo signal (see below)
  -q, --quiet            no progress bar, no summary
  -v, --verbose          show the module's own trace lines on standard error
  -h, --help             this text

NAME is a parameter's name in any case ("input level", "Hi Boost Freq"), or its
index. VALUE is in the parameter's own units as the module displays them:
  "Input level=-6"        dB          "Lo Freq=60"       a step, Hz
  "Hi Boost Freq.=10"     a step, kHz ("10k", "10000Hz" too)
  "Mode=Mono"             a step by its text
  "Hi Boost=0.4"          a control whose own range is 0 to 1
or normalised with a suffix n: "Input level=0.25n". --list shows names,
ranges and steps.

--demo writes ombrine-demo-input.wav (6 s of tones, drums and noise bursts) in
the output's directory, renders it with a characterful setting and prints the
input and output levels per octave band.
)";

std::atomic<bool> interrupted{false};

extern "C" void onSignal(int) { interrupted.store(true); }

void catchSignals() {
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP})
    sigaction(sig, &action, nullptr);
}

int usageError(const std::string& message) {
  std::fprintf(stderr, "ombrine-render: %s\n(ombrine-render --help shows the usage)\n",
               message.c_str());
  return kExitUsage;
}

// "[########..........]  40%  12.0 s of 30.0 s", redrawn when the percentage changes.
class ProgressBar {
public:
  ProgressBar(bool enabled, int sampleRate) : enabled(enabled), rate(sampleRate) {}
  void operator()(sf_count_t done, sf_count_t total) {
    if (!enabled || total <= 0 || static_cast<double>(total) / rate < kProgressSeconds) return;
    const int percent = static_cast<int>(100 * done / total);
    if (percent == shown) return;
    shown = percent;
    constexpr int kWidth = 30;
    char bar[kWidth + 1];
    for (int i = 0; i < kWidth; ++i)
      bar[i] = i < percent * kWidth / 100 ? '#' : '.';
    bar[kWidth] = '\0';
    std::fprintf(stderr, "\r[%s] %3d%%  %.1f s of %.1f s", bar, percent,
                 static_cast<double>(done) / rate, static_cast<double>(total) / rate);
    if (done >= total) std::fprintf(stderr, "\n");
    std::fflush(stderr);
  }
  void abandon() {
    if (shown >= 0 && shown < 100) std::fprintf(stderr, "\n");
  }

private:
  bool enabled;
  int rate;
  int shown = -1;
};

void listParameters(render::HostSession& session, const render::ParameterTable& table) {
  vsthost::Plugin& plugin = session.plugin();
  const AEffect& e = session.descriptor();
  std::printf("%s (%s), %d inputs, %d outputs, %d parameters, %s precision\n",
              plugin.effectName().c_str(), plugin.vendorString().c_str(), e.numInputs, e.numOutputs,
              e.numParams, session.canProcessDouble() ? "single and double" : "single");
  std::printf("\n  #  %-16s %-14s %-10s %s\n", "name", "value", "normalised", "range or steps");
  for (const auto& p : table.all()) {
    std::string shown = plugin.parameterDisplay(p.index);
    if (!p.label.empty()) shown += " " + p.label;
    std::printf(" %2d  %-16s %-14s %-10.4f %s\n", p.index, p.name.c_str(), shown.c_str(),
                static_cast<double>(plugin.getParameter(p.index)), p.describeRange().c_str());
  }
}

// One line per file of a batch. On a terminal each file's line shows its progress and is
// redrawn in place (the lines of files running at once stay apart); otherwise a line is
// printed as each file finishes.
class BatchDisplay {
public:
  BatchDisplay(const std::vector<render::BatchJob>& jobs, bool quiet)
      : jobs(jobs), quiet(quiet), terminal(!quiet && isatty(STDERR_FILENO)),
        lineOf(jobs.size(), -1), shown(jobs.size(), -1) {}

  render::BatchEvents events() {
    render::BatchEvents e;
    e.started = [this](std::size_t k) {
      if (!terminal) return;
      lineOf[k] = lines++;
      std::fprintf(stderr, "%s\n", name(k).c_str());
    };
    e.progress = [this](std::size_t k, sf_count_t done, sf_count_t total) {
      const int percent = total > 0 ? static_cast<int>(100 * done / total) : 100;
      if (!terminal || percent == shown[k]) return;
      shown[k] = percent;
      constexpr int kWidth = 20;
      std::string bar(kWidth, '.');
      for (int i = 0; i < percent * kWidth / 100; ++i)
        bar[static_cast<std::size_t>(i)] = '#';
      redraw(k, name(k) + " [" + bar + "] " + std::to_string(percent) + "%");
    };
    e.finished = [this](std::size_t k, const render::BatchOutcome& outcome) {
      std::string text;
      if (outcome.ok) {
        if (quiet) return;
        text = summary(this->jobs[k].output, outcome.result);
      } else {
        text = "failed: " + this->jobs[k].input + ": " + outcome.message;
      }
      if (terminal && lineOf[k] >= 0)
        redraw(k, text);
      else
        std::fprintf(stderr, "%s\n", text.c_str());
    };
    return e;
  }

  static std::string summary(const std::string& output, const render::RenderResult& result) {
    char text[512];
    std::snprintf(text, sizeof(text), "wrote %s: %.2f s, %d channel%s at %d Hz, %s%s",
                  output.c_str(), static_cast<double>(result.frames) / result.sampleRate,
                  result.outputChannels, result.outputChannels == 1 ? "" : "s", result.sampleRate,
                  render::describeFormat(result.outputFormat).c_str(),
                  result.inputChannels == 1 && result.outputChannels > 1
                      ? " (the mono input fed both inputs)"
                      : "");
    return text;
  }

private:
  std::string name(std::size_t k) const {
    return "[" + std::to_string(k + 1) + "/" + std::to_string(jobs.size()) + "] " +
           std::filesystem::path(jobs[k].input).filename().string();
  }
  // Up to the file's line, rewrite it, back down below the last line.
  void redraw(std::size_t k, const std::string& text) {
    const int up = lines - lineOf[k];
    std::fprintf(stderr, "\x1b[%dA\r%s\x1b[K\x1b[%dB\r", up, text.c_str(), up);
    std::fflush(stderr);
  }

  const std::vector<render::BatchJob>& jobs;
  bool quiet, terminal;
  std::vector<int> lineOf, shown;
  int lines = 0;
};

struct Options {
  std::vector<std::string> positional;
  std::string preset;
  std::string savePreset;
  std::string outDir;
  int jobs = 0;
  bool listPresets = false;
  bool stereoOut = false;
  std::vector<std::string> sets;
  std::vector<std::string> ramps;
  int blockSize = 512;
  bool doublePrecision = false;
  bool list = false;
  bool demo = false;
  bool quiet = false;
  bool verbose = false;
  bool help = false;
};

// Returns an empty string or the complaint.
std::string parseOptions(int argc, char** argv, Options& o) {
  command_line::Reader args(argc, argv);
  std::string arg, value;
  while (args.nextOption(arg, o.positional)) {
    const auto takeValue = [&] { return args.value(value); };
    if (arg == "-s" || arg == "--set") {
      if (!takeValue()) return arg + " needs NAME=VALUE";
      o.sets.push_back(value);
    } else if (arg == "-r" || arg == "--ramp") {
      if (!takeValue()) return arg + " needs NAME=FROM:TO";
      o.ramps.push_back(value);
    } else if (arg == "-b" || arg == "--block") {
      if (!takeValue()) return arg + " needs a number of frames";
      const auto n = command_line::wholeNumber(value, 1, render::kMaxBlockSize);
      if (!n)
        return "block size must be a whole number from 1 to " +
               std::to_string(render::kMaxBlockSize) + ", not \"" + value + "\"";
      o.blockSize = static_cast<int>(*n);
    } else if (arg == "-p" || arg == "--preset") {
      if (!takeValue() || value.empty()) return arg + " needs a preset's name or a .fxp file";
      o.preset = value;
    } else if (arg == "--save-preset") {
      if (!takeValue() || value.empty()) return arg + " needs a file name";
      o.savePreset = value;
    } else if (arg == "--list-presets") {
      o.listPresets = true;
    } else if (arg == "--stereo-out") {
      o.stereoOut = true;
    } else if (arg == "-o" || arg == "--out-dir") {
      if (!takeValue() || value.empty()) return arg + " needs a directory";
      o.outDir = value;
    } else if (arg == "-j" || arg == "--jobs") {
      if (!takeValue()) return arg + " needs a number";
      const auto n = command_line::wholeNumber(value, 1, 64);
      if (!n) return "jobs must be a whole number from 1 to 64, not \"" + value + "\"";
      o.jobs = static_cast<int>(*n);
    } else if (arg == "-d" || arg == "--double") {
      o.doublePrecision = true;
    } else if (arg == "-l" || arg == "--list") {
      o.list = true;
    } else if (arg == "--demo") {
      o.demo = true;
    } else if (arg == "-q" || arg == "--quiet") {
      o.quiet = true;
    } else if (arg == "-v" || arg == "--verbose") {
      o.verbose = true;
    } else if (arg == "-h" || arg == "--help") {
      o.help = true;
    } else {
      return "unknown option " + arg;
    }
  }
  return {};
}

int run(const Options& o) {
  if (o.listPresets) {
    if (!o.positional.empty()) return usageError("--list-presets takes no arguments");
    render::listFactoryPresets(stdout);
    return 0;
  }
  if (o.list) {
    if (o.positional.size() != 1) return usageError("--list takes the module file only");
    render::HostSession session(o.positional[0], o.verbose);
    const auto table = render::ParameterTable::probe(session.plugin());
    listParameters(session, table);
    return 0;
  }
  if (o.demo) {
    if (o.positional.size() != 2) return usageError("--demo takes <module> <output.wav>");
    render::runDemo(o.positional[0], o.positional[1], stdout, o.verbose, &interrupted);
    return 0;
  }
  if (o.positional.empty()) return usageError("expected <module> <input> <output>");

  // The module, the files, then the settings: every argument with '=' is a setting.
  const std::string& modulePath = o.positional[0];
  std::vector<std::string> files;
  std::vector<std::string> sets = o.sets;
  for (std::size_t i = 1; i < o.positional.size(); ++i) {
    const std::string& arg = o.positional[i];
    if (arg.find('=') != std::string::npos)
      sets.push_back(arg);
    else if (sets.size() == o.sets.size())
      files.push_back(arg);
    else
      return usageError("unexpected argument \"" + arg + "\" (expected NAME=VALUE)");
  }
  const bool batch = !o.outDir.empty();
  if (batch && files.empty()) return usageError("--out-dir needs at least one input file");
  if (!batch && files.size() > 2)
    return usageError("expected <module> <input> <output> (several inputs need --out-dir DIR)");
  if (!batch && files.size() != 2 && !(files.empty() && !o.savePreset.empty()))
    return usageError("expected <module> <input> <output>");

  // Inputs that would overwrite each other's results are refused before anything is written.
  const auto jobs = batch ? render::batchJobs(files, o.outDir) : std::vector<render::BatchJob>{};

  auto session = std::make_unique<render::HostSession>(modulePath, o.verbose);
  const auto table = render::ParameterTable::probe(session->plugin());
  render::RenderSettings settings;
  settings.blockSize = o.blockSize;
  settings.doublePrecision = o.doublePrecision;
  settings.stereoOut = o.stereoOut;
  // The preset first, so that single values given after it win.
  if (!o.preset.empty()) settings.assignments = render::presetAssignments(o.preset);
  for (const auto& text : sets)
    settings.assignments.push_back(render::parseAssignment(table, text));
  for (const auto& text : o.ramps)
    settings.ramps.push_back(render::parseRamp(table, text));

  if (!o.savePreset.empty()) {
    // What the effect holds just before the first block, read back as a host saves it.
    for (const auto& a : settings.assignments)
      session->plugin().setParameter(a.index, a.value);
    for (const auto& r : settings.ramps)
      session->plugin().setParameter(r.index, r.from);
    render::savePreset(session->plugin(), o.savePreset);
    if (!o.quiet) std::fprintf(stderr, "saved the settings as %s\n", o.savePreset.c_str());
  }
  if (files.empty()) return 0;

  if (batch) {
    session.reset(); // each file gets an instance of its own
    std::error_code error;
    std::filesystem::create_directories(o.outDir, error);
    if (error) throw render::RenderError("cannot make " + o.outDir + ": " + error.message());
    const int workers =
        o.jobs > 0 ? o.jobs : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    BatchDisplay display(jobs, o.quiet);
    const auto outcomes = render::renderBatch(modulePath, o.verbose, jobs, settings, workers,
                                              display.events(), &interrupted);
    std::size_t failed = 0;
    for (const auto& outcome : outcomes)
      failed += outcome.ok ? 0 : 1;
    if (interrupted.load()) return kExitInterrupted;
    if (failed == 0) return 0;
    std::fprintf(stderr, "ombrine-render: %zu of %zu files failed\n", failed, outcomes.size());
    return kExitError;
  }

  const std::string& input = files[0];
  const std::string& output = files[1];
  int rate = 0;
  {
    render::AudioReader probe(input); // for the progress bar's time scale
    rate = probe.sampleRate();
  }
  ProgressBar bar(!o.quiet && isatty(STDERR_FILENO), rate);
  try {
    const auto result = render::renderFile(
        *session, input, output, settings, [&](sf_count_t d, sf_count_t t) { bar(d, t); },
        &interrupted);
    if (!o.quiet) std::fprintf(stderr, "%s\n", BatchDisplay::summary(output, result).c_str());
  } catch (...) {
    bar.abandon();
    throw;
  }
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  Options options;
  const std::string complaint = parseOptions(argc, argv, options);
  if (!complaint.empty()) return usageError(complaint);
  if (options.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  catchSignals();
  try {
    return run(options);
  } catch (const render::RenderError& e) {
    std::fprintf(stderr, "ombrine-render: %s\n", e.what());
    return interrupted.load() ? kExitInterrupted : kExitError;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ombrine-render: %s\n", e.what());
    return kExitError;
  }
}
