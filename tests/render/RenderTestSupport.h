// Helpers for the render tool's tests: a scratch directory, test signals
// written with libsndfile, running the built executable, and driving the
// module directly through the host library for reference outputs.
#pragma once

#include "ToolTestSupport.h"
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

using tooltest::quote;
using tooltest::readText;
using tooltest::RunResult;

class ScratchDir : public tooltest::ScratchDir {
public:
  ScratchDir() : tooltest::ScratchDir("ombrine-render-test") {}
};

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

// Runs the built ombrine-render with the arguments.
inline RunResult runTool(const std::vector<std::string>& args) {
  return tooltest::runProgram(OMBRINE_RENDER_PATH, args);
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
