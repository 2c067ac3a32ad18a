// Renders an audio file through an effect, block by block, as a host would.
#pragma once

#include "render/AudioFile.h"
#include "render/HostSession.h"
#include "render/Parameters.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace render {

struct RenderSettings {
  std::vector<Assignment> assignments; // applied before the first block
  std::vector<Ramp> ramps;             // moved once per block, from the first block to the last
  int blockSize = 512;
  bool doublePrecision = false;
  // A mono file gives a mono file (the first output) unless this asks for every output.
  bool stereoOut = false;
};

constexpr int kMaxBlockSize = 65536;

struct RenderResult {
  sf_count_t frames = 0;
  int inputChannels = 0;
  int outputChannels = 0;
  int sampleRate = 0;
  int inputFormat = 0;
  int outputFormat = 0;
};

// Called after each block with the frames done and the frames in the file.
using ProgressFunction = std::function<void(sf_count_t done, sf_count_t total)>;

// Reads `input`, sets the effect to the file's sample rate, applies the
// settings, feeds the file through the effect in blocks (a mono file feeds
// every input of the effect) and writes the outputs of the effect to `output`
// (only the first for a mono file, unless settings.stereoOut), in the input's format where the
// destination allows it (see outputFormat). Throws RenderError, leaving no output file behind, when
// a file cannot be read or written, the channels do not fit the effect, or `cancel` becomes true.
RenderResult renderFile(HostSession& session, const std::string& input, const std::string& output,
                        const RenderSettings& settings, const ProgressFunction& progress = {},
                        const std::atomic<bool>* cancel = nullptr);

} // namespace render
