// Helpers for the render tool's tests: a scratch directory, test signals
// written with libsndfile, running the built executable, and driving the
// module directly through the host library for reference outputs.
#pragma once

#include "render/AudioFile.h"
#include "render/HostSession.h"
#include "render/Parameters.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <gtest/gtest.h>
#include <numbers>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace rendertest {

// A fresh directory under /tmp, removed with everything in it.
class ScratchDir {
public:
  ScratchDir() {
    char pattern[] = "/tmp/ombrine-render-test-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made) path = made;
  }
  ~ScratchDir() {
    if (!path.empty()) std::system(("rm -rf '" + path + "'").c_str());
  }
  std::string file(const std::string& name) const { return path + "/" + name; }
  // Every name in the directory, hidden ones included.
  std::set<std::string> list() const {
    std::set<std::string> names;
    if (DIR* d = opendir(path.c_str())) {
      while (dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") names.insert(name);
      }
      closedir(d);
    }
    return names;
  }
  std::string path;
};

inline std::string readText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void writeText(const std::string& path, const std::string& text) {
  std::ofstream(path) << text;
}

inline bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// Sines at the given frequencies (one per channel, cycling) plus a little
// white noise from a fixed generator.
inline render::AudioData testSignal(int channels, int rate, double seconds, int format,
                                    std::vector<double> frequencies = {440.0, 1000.0},
                                    double amplitude = 0.4, double noise = 0.05) {
  render::AudioData data;
  data.channels = channels;
  data.sampleRate = rate;
  data.format = format;
  const auto frames = static_cast<std::size_t>(seconds * rate);
  data.samples.resize(frames * static_cast<std::size_t>(channels));
  std::uint32_t state = 12345;
  for (std::size_t i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c) {
      state = state * 1664525u + 1013904223u;
      const double white = static_cast<double>(state) / 4294967296.0 * 2.0 - 1.0;
      const double f = frequencies[static_cast<std::size_t>(c) % frequencies.size()];
      data.samples[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] =
          static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * f * i / rate) +
                             noise * white);
    }
  return data;
}

struct RunResult {
  int exitCode = -1;
  std::string out, err;
};

inline std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s)
    q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs the built ombrine-render with the arguments; output captured in files
// outside the scratch directory so they do not show in its listing.
inline RunResult runTool(const std::vector<std::string>& args) {
  static int serial = 0;
  const std::string base =
      "/tmp/ombrine-render-run-" + std::to_string(getpid()) + "-" + std::to_string(serial++);
  std::string command = quote(OMBRINE_RENDER_PATH);
  for (const auto& a : args)
    command += " " + quote(a);
  command += " >" + base + ".out 2>" + base + ".err </dev/null";
  RunResult r;
  const int status = std::system(command.c_str());
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = readText(base + ".out");
  r.err = readText(base + ".err");
  std::remove((base + ".out").c_str());
  std::remove((base + ".err").c_str());
  return r;
}

// Feeds a file's samples through a fresh instance of the module in blocks,
// as a host would, after setting the given normalised values; a mono signal
// feeds both inputs. Returns interleaved stereo.
template <typename Sample>
std::vector<Sample> driveDirectly(const render::AudioData& in,
                                  const std::vector<render::Assignment>& values, int block) {
  render::HostSession session(OMBRINE_MODULE_PATH);
  vsthost::Plugin& plugin = session.plugin();
  for (const auto& v : values)
    plugin.setParameter(v.index, v.value);
  session.start(in.sampleRate, block);
  const auto frames = static_cast<std::size_t>(in.frames());
  std::vector<Sample> out(frames * 2);
  std::vector<Sample> l(static_cast<std::size_t>(block)), r(l), ol(l), orr(l);
  Sample* inputs[2] = {l.data(), r.data()};
  Sample* outputs[2] = {ol.data(), orr.data()};
  for (std::size_t start = 0; start < frames; start += static_cast<std::size_t>(block)) {
    const std::size_t n = std::min(static_cast<std::size_t>(block), frames - start);
    for (std::size_t i = 0; i < n; ++i) {
      const std::size_t frame = (start + i) * static_cast<std::size_t>(in.channels);
      l[i] = in.samples[frame];
      r[i] = in.samples[frame + (in.channels > 1 ? 1 : 0)];
    }
    if constexpr (std::is_same_v<Sample, double>)
      plugin.processDouble(inputs, outputs, static_cast<VstInt32>(n));
    else
      plugin.process(inputs, outputs, static_cast<VstInt32>(n));
    for (std::size_t i = 0; i < n; ++i) {
      out[2 * (start + i)] = ol[i];
      out[2 * (start + i) + 1] = orr[i];
    }
  }
  return out;
}

inline double maxDifference(const std::vector<float>& a, const std::vector<float>& b) {
  if (a.size() != b.size()) return INFINITY;
  double worst = 0.0;
  for (std::size_t i = 0; i < a.size(); ++i)
    worst = std::max(worst, std::fabs(static_cast<double>(a[i]) - b[i]));
  return worst;
}

} // namespace rendertest
