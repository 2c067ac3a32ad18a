// Real-time factors of the whole module as a host runs it: loaded by path,
// driven through the VST 2.4 interface by the project's host library, float
// path, blocks of 512, stereo. A factor is seconds of audio per CPU second of
// the processing thread (CLOCK_THREAD_CPUTIME_ID), the median of several runs,
// each on a fresh instance. A single-triode tube plug-in from Debian's
// zam-plugins (ZamTube, no oversampling) runs on the same signal through the
// same host library for comparison.
//
//   bench_module [--module PATH] [--peer PATH] [--baseline PATH] [--runs N] [--seconds S]
//
// --baseline loads a second build of the module (an older one, say) and runs its cases in the
// same rounds, so that a change in the machine's load falls on both builds alike; the report
// then gives the ratio of the two.
//
// A report, not a test: it always exits 0 once it has run.
#include "vsthost/vsthost.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <time.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

constexpr int kBlock = 512;

double threadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Small fixed generator: the same noise on every machine and every run.
class Random {
public:
  explicit Random(std::uint64_t seed) : state(seed) {}
  double uniform() { // [-1, 1)
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<double>(state >> 11) * 0x1.0p-52 - 1.0;
  }

private:
  std::uint64_t state;
};

struct Signal {
  double rate = 48000.0;
  std::vector<float> left, right;
  std::size_t frames() const { return left.size(); }
};

// Pink noise (white noise through a sum of one-pole lowpasses, -3 dB per
// octave across the audio band) scaled to the given RMS in dB re full scale.
std::vector<float> pinkNoise(std::size_t frames, double rmsDb, std::uint64_t seed) {
  Random random(seed);
  std::vector<double> x(frames);
  double b0 = 0, b1 = 0, b2 = 0, b3 = 0, b4 = 0, b5 = 0, b6 = 0, sum = 0;
  for (auto& v : x) {
    const double w = random.uniform();
    b0 = 0.99886 * b0 + w * 0.0555179;
    b1 = 0.99332 * b1 + w * 0.0750759;
    b2 = 0.96900 * b2 + w * 0.1538520;
    b3 = 0.86650 * b3 + w * 0.3104856;
    b4 = 0.55000 * b4 + w * 0.5329522;
    b5 = -0.7616 * b5 - w * 0.0168980;
    v = b0 + b1 + b2 + b3 + b4 + b5 + b6 + w * 0.5362;
    b6 = w * 0.115926;
    sum += v * v;
  }
  const double scale = std::pow(10.0, rmsDb / 20.0) / std::sqrt(sum / static_cast<double>(frames));
  std::vector<float> out(frames);
  for (std::size_t i = 0; i < frames; ++i)
    out[i] = static_cast<float>(x[i] * scale);
  return out;
}

Signal stereoPink(double seconds, double rate) {
  Signal s;
  s.rate = rate;
  const auto frames = static_cast<std::size_t>(seconds * rate);
  s.left = pinkNoise(frames, -12.0, 0x5eed0001);
  s.right = pinkNoise(frames, -12.0, 0x5eed0002);
  return s;
}

// Module trace lines (one per parameter object) would drown the report.
class QuietStdout {
public:
  QuietStdout() {
    std::fflush(stdout);
    saved = dup(1);
    FILE* null = std::fopen("/dev/null", "w");
    if (null) {
      dup2(fileno(null), 1);
      std::fclose(null);
    }
  }
  ~QuietStdout() {
    std::fflush(stdout);
    if (saved >= 0) {
      dup2(saved, 1);
      close(saved);
    }
  }

private:
  int saved = -1;
};

// A stereo effect: one instance of a two-channel module, or two instances of a
// one-channel module, one per side.
class StereoEffect {
public:
  StereoEffect(const vsthost::Module& module, double rate) {
    QuietStdout quiet;
    instances.push_back(std::make_unique<vsthost::Plugin>(module));
    if (instances[0]->valid() && instances[0]->aeffect()->numInputs < 2)
      instances.push_back(std::make_unique<vsthost::Plugin>(module));
    for (auto& p : instances) {
      if (!p->valid()) continue;
      p->dispatch(effOpen);
      p->setSampleRate(static_cast<float>(rate));
      p->setBlockSize(kBlock);
      p->resume();
    }
    for (auto& b : scratch)
      b.assign(kBlock, 0.0f);
  }
  ~StereoEffect() {
    QuietStdout quiet;
    for (auto& p : instances) {
      if (!p->valid()) continue;
      p->suspend();
      p->close();
    }
  }

  bool valid() const {
    return std::all_of(instances.begin(), instances.end(), [](auto& p) { return p->valid(); });
  }
  int instanceCount() const { return static_cast<int>(instances.size()); }
  vsthost::Plugin& first() { return *instances[0]; }

  VstInt32 parameter(const char* name) {
    for (VstInt32 i = 0; i < first().aeffect()->numParams; ++i)
      if (first().parameterName(i) == name) return i;
    std::fprintf(stderr, "bench_module: no parameter \"%s\"\n", name);
    std::exit(1);
  }
  void set(VstInt32 index, float value) {
    for (auto& p : instances)
      p->setParameter(index, value);
  }

  void process(const float* inL, const float* inR, float* outL, float* outR, int n) {
    if (instances.size() == 1) {
      float* in[2] = {const_cast<float*>(inL), const_cast<float*>(inR)};
      float* out[2] = {outL, outR};
      instances[0]->process(in, out, n);
      return;
    }
    // A one-channel plug-in may still declare more outputs; give each a buffer.
    float* inA[1] = {const_cast<float*>(inL)};
    float* outA[2] = {outL, scratch[0].data()};
    instances[0]->process(inA, outA, n);
    float* inB[1] = {const_cast<float*>(inR)};
    float* outB[2] = {outR, scratch[1].data()};
    instances[1]->process(inB, outB, n);
  }

private:
  std::vector<std::unique_ptr<vsthost::Plugin>> instances;
  std::vector<float> scratch[2];
};

struct RunResult {
  std::vector<double> cpu; // seconds per part
  double outputRms = 0.0;  // of the whole output, dB re full scale
};

// Feeds the signal through in blocks; `beforeBlock` (automation) runs before
// each block and is timed with it. Parts start at the given frames.
RunResult runOnce(StereoEffect& effect, const Signal& s, const std::vector<std::size_t>& partStarts,
                  const std::function<void(std::size_t block)>& beforeBlock) {
  RunResult r;
  r.cpu.assign(partStarts.size(), 0.0);
  std::vector<float> outL(kBlock), outR(kBlock);
  double energy = 0.0;
  std::size_t part = 0;
  for (std::size_t start = 0, k = 0; start < s.frames(); start += kBlock, ++k) {
    const int n = static_cast<int>(std::min<std::size_t>(kBlock, s.frames() - start));
    while (part + 1 < partStarts.size() && start >= partStarts[part + 1])
      ++part;
    const double t0 = threadSeconds();
    if (beforeBlock) beforeBlock(k);
    effect.process(&s.left[start], &s.right[start], outL.data(), outR.data(), n);
    r.cpu[part] += threadSeconds() - t0;
    for (int i = 0; i < n; ++i)
      energy += static_cast<double>(outL[i]) * outL[i] + static_cast<double>(outR[i]) * outR[i];
  }
  const double meanSquare = energy / (2.0 * static_cast<double>(s.frames()));
  r.outputRms = meanSquare > 0.0 ? 10.0 * std::log10(meanSquare) : -INFINITY;
  return r;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

struct Factors {
  std::vector<double> median, low, high; // per part
  double outputRms = 0.0;
  bool ok = false;
};

// One measured configuration: a module, a signal cut into parts, the setting
// applied to each fresh instance and the automation run before each block.
struct Case {
  Case(const vsthost::Module* m, const Signal* s, std::vector<std::size_t> parts = {0})
      : module(m), signal(s), partStarts(std::move(parts)) {}
  const vsthost::Module* module;
  const Signal* signal;
  std::vector<std::size_t> partStarts;
  std::function<void(StereoEffect&)> setup;
  std::function<void(StereoEffect&, std::size_t block)> automate;
  Factors result;
};

// Real-time factors per part, over `runs` timed runs per case, each on a fresh
// instance, after one untimed run per case to warm caches. The cases take
// turns run by run, so a change in the machine's load during the benchmark
// falls on all of them alike (this matters for the ratio to the peer).
void measure(std::vector<Case*> cases, int runs) {
  std::vector<std::vector<std::vector<double>>> factors(cases.size());
  for (std::size_t c = 0; c < cases.size(); ++c)
    factors[c].resize(cases[c]->partStarts.size());
  std::vector<bool> failed(cases.size(), false);
  for (int run = -1; run < runs; ++run) {
    for (std::size_t c = 0; c < cases.size(); ++c) {
      Case& k = *cases[c];
      if (!k.module || failed[c]) continue;
      const Signal& s = *k.signal;
      StereoEffect effect(*k.module, s.rate);
      if (!effect.valid()) {
        failed[c] = true;
        continue;
      }
      if (k.setup) k.setup(effect);
      std::function<void(std::size_t)> before;
      if (k.automate) before = [&](std::size_t b) { k.automate(effect, b); };
      const RunResult r = runOnce(effect, s, k.partStarts, before);
      k.result.outputRms = r.outputRms;
      if (run < 0) continue;
      for (std::size_t p = 0; p < k.partStarts.size(); ++p) {
        const std::size_t end = p + 1 < k.partStarts.size() ? k.partStarts[p + 1] : s.frames();
        const double audio = static_cast<double>(end - k.partStarts[p]) / s.rate;
        factors[c][p].push_back(audio / std::max(r.cpu[p], 1e-9));
      }
    }
  }
  for (std::size_t c = 0; c < cases.size(); ++c) {
    if (!cases[c]->module || failed[c]) continue;
    Factors& f = cases[c]->result;
    for (auto& v : factors[c]) {
      f.median.push_back(median(v));
      f.low.push_back(*std::min_element(v.begin(), v.end()));
      f.high.push_back(*std::max_element(v.begin(), v.end()));
    }
    f.ok = true;
  }
}

struct Row {
  std::string name, target, measured, spread, output, result;
};

std::string format(const char* fmt, double v) {
  char b[64];
  std::snprintf(b, sizeof(b), fmt, v);
  return b;
}

Row factorRow(const std::string& name, const Factors& f, std::size_t part, double target,
              const std::string& targetText) {
  Row r{name, targetText, "-", "", "", target > 0.0 ? "MISS" : ""};
  if (!f.ok) {
    r.result = target > 0.0 ? "MISS (not run)" : "not run";
    return r;
  }
  r.measured = format("%.1fx", f.median[part]);
  r.spread = format("%.1f", f.low[part]) + ".." + format("%.1f", f.high[part]);
  r.output = format("%.1f dB", f.outputRms);
  if (target > 0.0) r.result = f.median[part] >= target ? "PASS" : "MISS";
  return r;
}

std::string cpuName() {
  FILE* f = std::fopen("/proc/cpuinfo", "r");
  if (!f) return "unknown";
  char line[512];
  std::string name = "unknown";
  while (std::fgets(line, sizeof(line), f)) {
    if (std::strncmp(line, "model name", 10) == 0) {
      const char* colon = std::strchr(line, ':');
      if (colon) name = colon + 2;
      if (!name.empty() && name.back() == '\n') name.pop_back();
      break;
    }
  }
  std::fclose(f);
  return name;
}

} // namespace

int main(int argc, char** argv) {
  std::string modulePath = OMBRINE_MODULE_PATH;
  std::string peerPath = "/usr/lib/vst/ZamTube-vst.so";
  std::string baselinePath;
  int runs = 5;
  double seconds = 60.0;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "--module" && hasValue)
      modulePath = argv[++i];
    else if (a == "--peer" && hasValue)
      peerPath = argv[++i];
    else if (a == "--baseline" && hasValue)
      baselinePath = argv[++i];
    else if (a == "--runs" && hasValue)
      runs = std::max(1, std::atoi(argv[++i]));
    else if (a == "--seconds" && hasValue)
      seconds = std::max(1.0, std::atof(argv[++i]));
    else {
      std::fprintf(stderr,
                   "usage: %s [--module PATH] [--peer PATH] [--baseline PATH] [--runs N] "
                   "[--seconds S]\n",
                   argv[0]);
      return 2;
    }
  }

  std::string error;
  std::unique_ptr<vsthost::Module> module;
  {
    QuietStdout quiet;
    module = vsthost::Module::load(modulePath, &error);
  }
  if (!module) {
    std::fprintf(stderr, "bench_module: cannot load %s: %s\n", modulePath.c_str(), error.c_str());
    return 1;
  }
  std::string peerError;
  std::unique_ptr<vsthost::Module> peer = vsthost::Module::load(peerPath, &peerError);
  std::unique_ptr<vsthost::Module> baseline;
  if (!baselinePath.empty()) {
    QuietStdout quiet;
    baseline = vsthost::Module::load(baselinePath, &error);
  }
  if (!baselinePath.empty() && !baseline) {
    std::fprintf(stderr, "bench_module: cannot load %s: %s\n", baselinePath.c_str(), error.c_str());
    return 1;
  }

  std::printf("Module %s\nPeer   %s%s\nCPU    %s\n", modulePath.c_str(), peerPath.c_str(),
              peer ? "" : (" (not loaded: " + peerError + ")").c_str(), cpuName().c_str());
  std::printf("Float path, blocks of %d, stereo; pink noise %.0f s at -12 dBFS RMS; median of %d "
              "runs (min..max), real-time factor = audio seconds per thread CPU second\n\n",
              kBlock, seconds, runs);
  std::fflush(stdout);

  const Signal pink48 = stereoPink(seconds, 48000.0);
  const Signal pink96 = stereoPink(seconds, 96000.0);

  // Denormals: 10 s of the pink noise, a full-scale impulse, 30 s of silence.
  Signal tail;
  tail.rate = 48000.0;
  const std::size_t loudFrames = static_cast<std::size_t>(std::min(10.0, seconds) * tail.rate);
  const std::size_t silentFrames = static_cast<std::size_t>(30.0 * tail.rate);
  tail.left.assign(pink48.left.begin(), pink48.left.begin() + static_cast<long>(loudFrames));
  tail.right.assign(pink48.right.begin(), pink48.right.begin() + static_cast<long>(loudFrames));
  tail.left.resize(loudFrames + silentFrames, 0.0f);
  tail.right.resize(loudFrames + silentFrames, 0.0f);
  tail.left[loudFrames] = tail.right[loudFrames] = 1.0f;

  Case init48{module.get(), &pink48};
  Case peer48{peer.get(), &pink48};
  Case init96{module.get(), &pink96};
  Case driven{module.get(), &pink48};
  driven.setup = [](StereoEffect& e) {
    e.set(e.parameter("Input level"), 1.0f); // +18 dB, the top of its -18..18 dB range
  };
  Case automated{module.get(), &pink48};
  VstInt32 hiBoost = -1;
  automated.setup = [&](StereoEffect& e) { hiBoost = e.parameter("Hi Boost"); };
  automated.automate = [&](StereoEffect& e, std::size_t k) {
    // A triangle from 0 to 1 and back every 2 s: the glide never settles.
    const double t = std::fmod(static_cast<double>(k) * kBlock / pink48.rate, 2.0);
    e.set(hiBoost, static_cast<float>(t < 1.0 ? t : 2.0 - t));
  };
  Case decay{module.get(), &tail, {0, loudFrames}};

  int peerInstances = 0;
  if (peer) {
    StereoEffect probe(*peer, 48000.0);
    peerInstances = probe.valid() ? probe.instanceCount() : 0;
  }
  std::vector<Case*> cases = {&init48, &peer48, &init96, &driven, &automated, &decay};
  // The baseline's cases: the same signals and settings, one of each after this module's.
  const std::vector<std::pair<std::string, Case*>> compared = {
      {"48000 Hz, Init", &init48},
      {"96000 Hz, Init", &init96},
      {"48000 Hz, Input level +18 dB", &driven},
      {"48000 Hz, Hi Boost set every block", &automated}};
  std::vector<Case> baselineCases;
  baselineCases.reserve(compared.size());
  if (baseline) {
    for (const auto& [name, c] : compared) {
      baselineCases.push_back(*c);
      baselineCases.back().module = baseline.get();
      cases.push_back(&baselineCases.back());
    }
  }
  measure(cases, runs);

  std::vector<Row> rows;
  rows.push_back(factorRow("Ombrine 48000 Hz, Init", init48.result, 0, 130.0, ">= 130x"));
  rows.push_back(factorRow("ZamTube 48000 Hz, defaults (" + std::to_string(peerInstances) +
                               (peerInstances == 1 ? " instance)" : " mono instances)"),
                           peer48.result, 0, 0.0, ""));
  {
    Row ratio{"Ombrine / ZamTube at 48000 Hz", ">= 9x", "-", "", "", "MISS (not run)"};
    if (init48.result.ok && peer48.result.ok) {
      const double r = init48.result.median[0] / peer48.result.median[0];
      ratio.measured = format("%.2fx", r);
      ratio.result = r >= 9.0 ? "PASS" : "MISS";
    }
    rows.push_back(ratio);
  }
  rows.push_back(factorRow("Ombrine 96000 Hz, Init", init96.result, 0, 65.0, ">= 65x"));
  rows.push_back(
      factorRow("Ombrine 48000 Hz, Input level +18 dB", driven.result, 0, 95.0, ">= 95x"));
  rows.push_back(
      factorRow("Ombrine 48000 Hz, Hi Boost set every block", automated.result, 0, 90.0, ">= 90x"));
  rows.push_back(factorRow("Ombrine 48000 Hz, 10 s noise (loud part)", decay.result, 0, 0.0, ""));
  {
    Row r = factorRow("Ombrine 48000 Hz, impulse + 30 s silence", decay.result, 1, 0.0, "");
    r.target = ">= loud part";
    r.result = "MISS (not run)";
    if (decay.result.ok) {
      // Run-to-run spread on a shared machine is a few percent; a denormal
      // slowdown is several times.
      const double ratio = decay.result.median[1] / decay.result.median[0];
      r.result = ratio >= 0.9 ? "PASS" : "MISS";
      r.measured += format(" (%.2f of loud)", ratio);
    }
    rows.push_back(r);
  }

  std::printf("%-46s %-13s %-22s %-16s %-10s %s\n", "case", "target", "measured", "min..max",
              "out RMS", "result");
  for (const Row& r : rows)
    std::printf("%-46s %-13s %-22s %-16s %-10s %s\n", r.name.c_str(), r.target.c_str(),
                r.measured.c_str(), r.spread.c_str(), r.output.c_str(), r.result.c_str());
  std::printf(
      "\nThe silent tail passes within 10 %% of the loud part (timing spread between runs).\n");

  if (baseline) {
    std::printf("\nAgainst the baseline %s, in the same rounds (medians):\n\n",
                baselinePath.c_str());
    std::printf("%-46s %-12s %-12s %s\n", "case", "baseline", "this module", "ratio");
    for (std::size_t i = 0; i < compared.size(); ++i) {
      const Factors& now = compared[i].second->result;
      const Factors& before = baselineCases[i].result;
      if (!now.ok || !before.ok) continue;
      std::printf("%-46s %-12s %-12s %.2fx\n", ("Ombrine " + compared[i].first).c_str(),
                  format("%.1fx", before.median[0]).c_str(), format("%.1fx", now.median[0]).c_str(),
                  now.median[0] / before.median[0]);
    }
  }
  return 0;
}
