// ombrine-curves: loads a VST 2.4 module by path, measures it with steady sines and draws what it
// measured: the magnitude response of any number of settings, or the harmonics of a tone against
// its level.
#include "common/CommandLine.h"
#include "curves/Measure.h"
#include "curves/OutputFile.h"
#include "curves/Plot.h"
#include "render/HostSession.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kExitError = 1;
constexpr int kExitUsage = 2;
constexpr long kMinRate = 44100; // 20 kHz must lie below the Nyquist frequency
constexpr long kMaxRate = 384000;
constexpr double kHarmonicFrequency = 1000.0;

const char* const kUsage = R"(usage:
  ombrine-curves [options] <module> <output.png> SETTING...

Measures a VST 2.4 module with steady sines at -30 dBFS (double-precision
process, left output over left input) from 20 Hz to 20 kHz at 241 points
(1/24 octave apart) and plots the magnitude response of each SETTING, one
curve each, tube and equalizer as the setting has them.

A SETTING is one of
  Init                         the module's initial program
  preset:NAME                  a factory preset by name, in any case
  "Lo Boost=1,Lo Freq=60"      NAME=VALUE assignments over Init, in the
                               units ombrine-render takes
and names its curve in the legend as written.

options:
      --csv FILE      also write the numbers: a header line, then per
                      frequency the frequency in Hz and each SETTING's gain
                      in dB
      --rate HZ       sample rate, 44100 to 384000 (default 48000)
      --harmonics     instead plot the 2nd to 5th harmonics of a 1 kHz sine
                      against its level, -40 to 0 dBFS in 2 dB steps, for
                      the first SETTING (CSV: level in dBFS, then H2 to H5
                      in dB relative to the fundamental)
  -q, --quiet         no summary on standard error
  -v, --verbose       show the module's own trace lines on standard error
  -h, --help          this text

The PNG and CSV files appear only when everything has succeeded.
)";

int usageError(const std::string& message) {
  std::fprintf(stderr, "ombrine-curves: %s\n(ombrine-curves --help shows the usage)\n",
               message.c_str());
  return kExitUsage;
}

struct Options {
  std::vector<std::string> positional;
  std::optional<std::string> csv;
  long rate = 48000;
  bool harmonics = false;
  bool quiet = false;
  bool verbose = false;
  bool help = false;
};

std::string parseOptions(int argc, char** argv, Options& o) {
  command_line::Reader args(argc, argv);
  std::string arg, value;
  while (args.nextOption(arg, o.positional)) {
    const auto takeValue = [&] { return args.value(value); };
    if (arg == "--csv") {
      if (!takeValue() || value.empty()) return "--csv needs a file name";
      o.csv = value;
    } else if (arg == "--rate") {
      if (!takeValue()) return "--rate needs a sample rate in Hz";
      const auto rate = command_line::wholeNumber(value, kMinRate, kMaxRate);
      if (!rate)
        return "sample rate must be a whole number of Hz from " + std::to_string(kMinRate) +
               " to " + std::to_string(kMaxRate) + ", not \"" + value + "\"";
      o.rate = *rate;
    } else if (arg == "--harmonics") {
      o.harmonics = true;
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

void writeResponseCsv(std::FILE* out, const std::vector<curves::Setting>& settings,
                      const std::vector<double>& frequencies,
                      const std::vector<std::vector<double>>& gains) {
  std::fprintf(out, "frequency_hz");
  for (const auto& s : settings) {
    // A setting holds commas; CSV quotes it, doubling any quote inside.
    std::string quoted = "\"";
    for (char c : s.text)
      quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    std::fprintf(out, ",%s\"", quoted.c_str());
  }
  std::fprintf(out, "\n");
  for (std::size_t i = 0; i < frequencies.size(); ++i) {
    std::fprintf(out, "%.4f", frequencies[i]);
    for (const auto& row : gains)
      std::fprintf(out, ",%.4f", row[i]);
    std::fprintf(out, "\n");
  }
}

void writeHarmonicsCsv(std::FILE* out, const std::vector<curves::HarmonicsRow>& rows) {
  std::fprintf(out, "input_dbfs,h2_db,h3_db,h4_db,h5_db\n");
  for (const auto& r : rows) {
    std::fprintf(out, "%.1f", r.levelDb);
    for (double h : r.harmonicsDb)
      std::fprintf(out, ",%.3f", h);
    std::fprintf(out, "\n");
  }
}

int run(const Options& o) {
  if (o.positional.size() < 2) return usageError("expected <module> <output.png> SETTING...");
  if (o.positional.size() < 3)
    return usageError("no SETTING given (Init, preset:NAME or NAME=VALUE,...)");
  const std::string& modulePath = o.positional[0];
  const std::string& pngPath = o.positional[1];
  if (o.csv && *o.csv == pngPath) return usageError("the CSV and the PNG need different names");

  // Settings are checked against the module's own parameters before anything is measured.
  std::vector<curves::Setting> settings;
  {
    render::RedirectStdout quiet(o.verbose);
    render::HostSession probe(modulePath, o.verbose);
    const auto table = render::ParameterTable::probe(probe.plugin());
    for (std::size_t i = 2; i < o.positional.size(); ++i)
      settings.push_back(curves::parseSetting(table, o.positional[i]));
  }
  if (o.harmonics && settings.size() > 1 && !o.quiet)
    std::fprintf(stderr, "ombrine-curves: --harmonics measures the first setting only\n");

  // Both files exist as temporaries from here on, so an unwritable place fails before measuring.
  curves::OutputFile png(pngPath);
  std::optional<curves::OutputFile> csv;
  if (o.csv) csv.emplace(*o.csv);

  curves::MeasureOptions options;
  options.sampleRate = static_cast<double>(o.rate);
  options.threads =
      static_cast<int>(std::max(1u, std::min(2u, std::thread::hardware_concurrency())));
  options.showTraces = o.verbose;
  const auto started = std::chrono::steady_clock::now();

  curves::Chart chart;
  char title[160];
  if (o.harmonics) {
    const auto rows = curves::measureHarmonics(modulePath, settings[0], curves::harmonicLevels(),
                                               kHarmonicFrequency, options);
    if (csv) writeHarmonicsCsv(csv->stream(), rows);
    std::snprintf(title, sizeof(title), "Harmonics of a 1 kHz sine: %s (%ld Hz)",
                  settings[0].text.c_str(), o.rate);
    chart.title = title;
    chart.xTitle = "Input level (dBFS)";
    chart.yTitle = "Level relative to the fundamental (dB)";
    chart.xMin = rows.front().levelDb;
    chart.xMax = rows.back().levelDb;
    for (double x = chart.xMin; x <= chart.xMax + 1e-9; x += 5.0) {
      chart.xTicks.push_back(x);
      chart.xTickLabels.push_back(std::to_string(static_cast<int>(x)));
    }
    chart.minYSpan = 20.0;
    for (const auto& r : rows)
      chart.x.push_back(r.levelDb);
    for (std::size_t k = 0; k < 4; ++k) {
      curves::PlotSeries series{"H" + std::to_string(k + 2), {}};
      for (const auto& r : rows)
        series.y.push_back(r.harmonicsDb[k]);
      chart.series.push_back(series);
    }
  } else {
    const auto frequencies = curves::responseFrequencies();
    const auto gains = curves::measureResponses(modulePath, settings, frequencies, options);
    if (csv) writeResponseCsv(csv->stream(), settings, frequencies, gains);
    std::snprintf(title, sizeof(title), "Magnitude response, sine at %g dBFS (%ld Hz)",
                  options.levelDb, o.rate);
    chart.title = title;
    chart.xTitle = "Frequency (Hz)";
    chart.yTitle = "Gain (dB)";
    curves::setFrequencyAxis(chart);
    chart.x = frequencies;
    for (std::size_t s = 0; s < settings.size(); ++s)
      chart.series.push_back({settings[s].text, gains[s]});
  }
  curves::writePlot(chart, png.stream());
  if (csv) csv->commit();
  png.commit();

  if (!o.quiet) {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::fprintf(stderr, "wrote %s%s%s: %s at %ld Hz in %.1f s\n", pngPath.c_str(),
                 csv ? " and " : "", csv ? csv->path().c_str() : "",
                 o.harmonics ? "harmonics at 21 levels"
                             : (std::to_string(settings.size()) + " setting" +
                                (settings.size() == 1 ? "" : "s") + ", 241 frequencies")
                                   .c_str(),
                 o.rate, seconds);
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
  try {
    return run(options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ombrine-curves: %s\n", e.what());
    return kExitError;
  }
}
