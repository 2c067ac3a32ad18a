#include "curves/Measure.h"

#include "core/ParameterIndices.h"
#include "render/HostSession.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <complex>
#include <cstdio>
#include <exception>
#include <memory>
#include <mutex>
#include <numbers>
#include <thread>

namespace curves {

namespace {

// Short blocks: a point can only start at a block boundary.
constexpr int kBlock = 64;
constexpr int kMaxHarmonic = 5;

// Each point is measured in back-to-back windows until two agree this closely, so a point costs
// only the audio its own transients need.
constexpr double kSettledDb = 0.002;
constexpr double kHarmonicSettledDb = 0.01;
// Harmonics this far below the fundamental are rounding; they are not waited for.
constexpr double kHarmonicIgnoredDb = -140.0;
constexpr int kMaxWindows = 60;

// A run starts from silence, and the low band and the tube's cathode capacitor ring for a good
// part of a second; later points start from the previous point's steady state (same phase and
// a frequency 2.9 % away), which is nearly this point's.
constexpr double kFirstSettleSeconds = 0.3;
constexpr double kSettleSeconds = 0.005;
constexpr double kSettlePeriods = 2.0;
// Windows hold whole periods, at least this many and at least this long.
constexpr double kWindowPeriods = 4.0;
constexpr double kWindowSeconds = 0.02;

struct Point {
  double frequency = 0.0;
  double amplitude = 0.0;
};

// Output amplitude at each harmonic over the input amplitude.
struct Reading {
  std::array<double, kMaxHarmonic> relative{};
  bool settled = false; // two windows agreed before the limit
};

double toDb(double ratio) { return 20.0 * std::log10(ratio); }

// One channel of an instance stepping through a run of points: it makes the input samples and
// reads the output. Each point: a settling time, then Hann-windowed correlations with the
// fundamental and its harmonics over whole periods, window after window until two agree. A block
// is generated before its output is seen, so a new point starts at the next block; what is left
// of the block only settles the old one further.
class Sweep {
public:
  Sweep(const std::vector<Point>& points, std::size_t begin, std::size_t end, double rate,
        int harmonics, std::vector<Reading>& readings)
      : points(points), index(begin), end(end), rate(rate), harmonics(harmonics),
        readings(readings) {
    if (index < end) startPoint(kFirstSettleSeconds);
  }

  bool done() const { return index >= end; }

  void generate(double* in, int n) {
    const double amplitude = done() ? 0.0 : points[index].amplitude;
    for (int i = 0; i < n; ++i) {
      const double theta = 2.0 * std::numbers::pi * phase;
      sines[static_cast<std::size_t>(i)] = std::sin(theta);
      cosines[static_cast<std::size_t>(i)] = std::cos(theta);
      in[i] = amplitude * sines[static_cast<std::size_t>(i)];
      phase += increment;
      phase -= std::floor(phase);
    }
  }

  void analyse(const double* in, const double* out, int n) {
    if (done()) return;
    bool measured = false;
    for (int i = 0; i < n && !measured; ++i) {
      if (settleLeft > 0) {
        --settleLeft;
        continue;
      }
      const double w =
          0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(position) / length);
      const std::complex<double> base(cosines[static_cast<std::size_t>(i)],
                                      -sines[static_cast<std::size_t>(i)]);
      std::complex<double> rotor = base;
      inputSum += w * in[i] * base;
      for (int k = 0; k < harmonics; ++k) {
        outputSums[static_cast<std::size_t>(k)] += w * out[i] * rotor;
        rotor *= base;
      }
      if (++position == static_cast<std::size_t>(length)) measured = finishWindow();
    }
    if (measured && ++index < end) startPoint(kSettleSeconds);
  }

private:
  void startPoint(double settleSeconds) {
    const Point& p = points[index];
    increment = p.frequency / rate;
    settleLeft =
        static_cast<long>(std::ceil(std::max(settleSeconds, kSettlePeriods / p.frequency) * rate));
    const double periods = std::ceil(std::max(kWindowPeriods, kWindowSeconds * p.frequency));
    length = std::max(8.0, std::round(periods * rate / p.frequency));
    windows = 0;
    clearSums();
  }

  void clearSums() {
    position = 0;
    inputSum = 0.0;
    outputSums.fill(0.0);
  }

  // True when the point is measured.
  bool finishWindow() {
    Reading now;
    const double in = std::abs(inputSum);
    for (int k = 0; k < harmonics; ++k)
      now.relative[static_cast<std::size_t>(k)] =
          std::abs(outputSums[static_cast<std::size_t>(k)]) / in;
    clearSums();
    ++windows;
    now.settled = windows >= 2 && agrees(now, previous);
    if (now.settled || windows >= kMaxWindows) {
      readings[index] = now;
      return true;
    }
    previous = now;
    return false;
  }

  bool agrees(const Reading& a, const Reading& b) const {
    if (!(std::fabs(toDb(a.relative[0] / b.relative[0])) <= kSettledDb)) return false;
    for (int k = 1; k < harmonics; ++k) {
      const double x = a.relative[static_cast<std::size_t>(k)];
      const double y = b.relative[static_cast<std::size_t>(k)];
      if (toDb(std::max(x, y) / a.relative[0]) < kHarmonicIgnoredDb) continue;
      if (!(std::fabs(toDb(x / y)) <= kHarmonicSettledDb)) return false;
    }
    return true;
  }

  const std::vector<Point>& points;
  std::size_t index;
  std::size_t end;
  double rate;
  int harmonics;
  std::vector<Reading>& readings;

  double phase = 0.0; // cycles, carried from point to point
  double increment = 0.0;
  std::array<double, kBlock> sines{};
  std::array<double, kBlock> cosines{};
  long settleLeft = 0;
  double length = 0.0; // window, samples
  std::size_t position = 0;
  int windows = 0;
  std::complex<double> inputSum;
  std::array<std::complex<double>, kMaxHarmonic> outputSums{};
  Reading previous;
};

// Session creation goes through the process-wide module cache and standard-output redirection.
std::mutex& sessionMutex() {
  static std::mutex m;
  return m;
}

// One instance with the setting applied before its first sample, running up to two sweeps: one
// per channel when the setting is stereo, so both chains do useful work.
void runInstance(const std::string& modulePath, const Setting& setting,
                 const MeasureOptions& options, const std::vector<Point>& points,
                 const std::vector<std::pair<std::size_t, std::size_t>>& runs, int harmonics,
                 std::vector<Reading>& readings) {
  std::unique_ptr<render::HostSession> session;
  {
    std::lock_guard lock(sessionMutex());
    session = std::make_unique<render::HostSession>(modulePath, options.showTraces);
    if (!session->canProcessDouble())
      throw render::RenderError(modulePath + " has no double-precision process");
    for (std::size_t i = 0; i < setting.values.size(); ++i)
      session->plugin().setParameter(static_cast<VstInt32>(i), setting.values[i]);
    session->start(options.sampleRate, kBlock);
  }

  std::vector<std::unique_ptr<Sweep>> sweeps;
  for (const auto& [begin, end] : runs)
    sweeps.push_back(
        std::make_unique<Sweep>(points, begin, end, options.sampleRate, harmonics, readings));
  Sweep* left = sweeps[0].get();
  Sweep* right = sweeps.size() > 1 ? sweeps[1].get() : nullptr;

  std::vector<double> inL(kBlock), inR(kBlock), outL(kBlock), outR(kBlock);
  double* inputs[2] = {inL.data(), inR.data()};
  double* outputs[2] = {outL.data(), outR.data()};
  while (!left->done() || (right && !right->done())) {
    left->generate(inL.data(), kBlock);
    if (right) right->generate(inR.data(), kBlock);
    session->plugin().processDouble(inputs, outputs, kBlock);
    left->analyse(inL.data(), outL.data(), kBlock);
    if (right) right->analyse(inR.data(), outR.data(), kBlock);
  }

  std::lock_guard lock(sessionMutex());
  session.reset();
}

// Contiguous runs of about equal cost; the cost of a point grows with its window length.
std::vector<std::pair<std::size_t, std::size_t>> splitRuns(const std::vector<Point>& points,
                                                           std::size_t count) {
  std::vector<double> cost;
  double total = 0.0;
  for (const auto& p : points) {
    const double window = std::max(kWindowPeriods / p.frequency, kWindowSeconds);
    cost.push_back(3.0 * window + kSettleSeconds);
    total += cost.back();
  }
  std::vector<std::pair<std::size_t, std::size_t>> runs;
  std::size_t begin = 0;
  double sum = 0.0;
  for (std::size_t i = 0; i < points.size(); ++i) {
    sum += cost[i];
    const bool last = runs.size() + 1 == count;
    if (!last && sum >= total * static_cast<double>(runs.size() + 1) / static_cast<double>(count)) {
      runs.emplace_back(begin, i + 1);
      begin = i + 1;
    }
  }
  if (begin < points.size()) runs.emplace_back(begin, points.size());
  return runs;
}

struct Job {
  std::size_t setting;
  std::vector<std::pair<std::size_t, std::size_t>> runs;
};

// Measures every setting at every point; readings[setting][point].
std::vector<std::vector<Reading>> measure(const std::string& modulePath,
                                          const std::vector<Setting>& settings,
                                          const std::vector<Point>& points, int harmonics,
                                          const MeasureOptions& options) {
  const std::size_t threads = static_cast<std::size_t>(std::max(1, options.threads));
  std::vector<Job> jobs;
  for (std::size_t s = 0; s < settings.size(); ++s) {
    const bool stereo = settings[s].values[kMode] >= 0.5f;
    const std::size_t channels = stereo ? 2 : 1;
    const auto runs = splitRuns(points, threads * channels);
    // Each instance pairs a run with one from the other end, which evens out what is left over.
    for (std::size_t i = 0, j = runs.size(); i < j; ++i) {
      Job job{s, {runs[i]}};
      if (channels == 2 && --j > i) job.runs.push_back(runs[j]);
      jobs.push_back(job);
    }
  }

  std::vector<std::vector<Reading>> readings(settings.size(), std::vector<Reading>(points.size()));
  std::atomic<std::size_t> next{0};
  std::vector<std::exception_ptr> failures(threads);
  auto worker = [&](std::size_t id) {
    try {
      for (std::size_t j = next++; j < jobs.size(); j = next++)
        runInstance(modulePath, settings[jobs[j].setting], options, points, jobs[j].runs, harmonics,
                    readings[jobs[j].setting]);
    } catch (...) {
      failures[id] = std::current_exception();
      next = jobs.size();
    }
  };

  // The module's trace lines stay off the tool's standard output.
  render::RedirectStdout quiet(options.showTraces);
  std::vector<std::thread> pool;
  for (std::size_t t = 1; t < threads; ++t)
    pool.emplace_back(worker, t);
  worker(0);
  for (auto& t : pool)
    t.join();
  for (const auto& f : failures)
    if (f) std::rethrow_exception(f);
  for (std::size_t s = 0; s < settings.size(); ++s) {
    const auto unsettled = std::count_if(readings[s].begin(), readings[s].end(),
                                         [](const Reading& r) { return !r.settled; });
    if (unsettled > 0)
      std::fprintf(stderr,
                   "ombrine-curves: warning: %s: %zu point%s still moving after %d windows\n",
                   settings[s].text.c_str(), static_cast<std::size_t>(unsettled),
                   unsettled == 1 ? "" : "s", kMaxWindows);
  }
  return readings;
}

} // namespace

std::vector<double> responseFrequencies() {
  std::vector<double> f;
  for (int k = 0; k <= 240; ++k)
    f.push_back(20.0 * std::pow(10.0, k / 80.0));
  return f;
}

std::vector<double> harmonicLevels() {
  std::vector<double> levels;
  for (int db = -40; db <= 0; db += 2)
    levels.push_back(db);
  return levels;
}

std::vector<std::vector<double>> measureResponses(const std::string& modulePath,
                                                  const std::vector<Setting>& settings,
                                                  const std::vector<double>& frequencies,
                                                  const MeasureOptions& options) {
  std::vector<Point> points;
  const double amplitude = std::pow(10.0, options.levelDb / 20.0);
  for (double f : frequencies)
    points.push_back({f, amplitude});
  const auto readings = measure(modulePath, settings, points, 1, options);
  std::vector<std::vector<double>> gains;
  for (const auto& row : readings) {
    gains.emplace_back();
    for (const auto& r : row)
      gains.back().push_back(toDb(r.relative[0]));
  }
  return gains;
}

std::vector<HarmonicsRow> measureHarmonics(const std::string& modulePath, const Setting& setting,
                                           const std::vector<double>& levelsDb, double frequency,
                                           const MeasureOptions& options) {
  std::vector<Point> points;
  for (double db : levelsDb)
    points.push_back({frequency, std::pow(10.0, db / 20.0)});
  const auto readings = measure(modulePath, {setting}, points, kMaxHarmonic, options);
  std::vector<HarmonicsRow> rows;
  for (std::size_t i = 0; i < points.size(); ++i) {
    HarmonicsRow row;
    row.levelDb = levelsDb[i];
    const Reading& r = readings[0][i];
    for (std::size_t k = 0; k < row.harmonicsDb.size(); ++k)
      row.harmonicsDb[k] = std::max(kHarmonicFloorDb, toDb(r.relative[k + 1] / r.relative[0]));
    rows.push_back(row);
  }
  return rows;
}

} // namespace curves
