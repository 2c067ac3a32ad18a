#include "render/Renderer.h"

#include <algorithm>
#include <type_traits>

namespace render {

namespace {

// Returns the frames rendered.
template <typename Sample>
sf_count_t renderBlocks(HostSession& session, AudioReader& reader, AudioWriter& writer,
                        const RenderSettings& settings, int written,
                        const ProgressFunction& progress, const std::atomic<bool>* cancel) {
  vsthost::Plugin& plugin = session.plugin();
  const int fileChannels = reader.channels();
  const int inputs = session.descriptor().numInputs;
  const int outputs = session.descriptor().numOutputs;
  const auto block = static_cast<std::size_t>(settings.blockSize);

  std::vector<Sample> fileFrames(block * static_cast<std::size_t>(fileChannels));
  std::vector<Sample> outFrames(block * static_cast<std::size_t>(written));
  std::vector<std::vector<Sample>> in(static_cast<std::size_t>(inputs), std::vector<Sample>(block));
  std::vector<std::vector<Sample>> out(static_cast<std::size_t>(outputs),
                                       std::vector<Sample>(block));
  std::vector<Sample*> inPointers, outPointers;
  for (auto& channel : in)
    inPointers.push_back(channel.data());
  for (auto& channel : out)
    outPointers.push_back(channel.data());

  const sf_count_t total = reader.frames();
  const sf_count_t blocks = (total + settings.blockSize - 1) / settings.blockSize;
  sf_count_t done = 0;
  for (sf_count_t k = 0;; ++k) {
    if (cancel && cancel->load()) throw RenderError("interrupted");
    const sf_count_t n = reader.read(fileFrames.data(), settings.blockSize);
    if (n <= 0) break;
    const auto frames = static_cast<std::size_t>(n);

    // A mono file feeds every input; otherwise channel c feeds input c.
    for (int c = 0; c < inputs; ++c) {
      const int source = fileChannels == 1 ? 0 : c;
      Sample* dest = in[static_cast<std::size_t>(c)].data();
      for (std::size_t i = 0; i < frames; ++i)
        dest[i] = fileFrames[i * static_cast<std::size_t>(fileChannels) +
                             static_cast<std::size_t>(source)];
    }

    // Automation lands between blocks, as a host's does.
    const double position =
        blocks > 1 ? static_cast<double>(k) / static_cast<double>(blocks - 1) : 0.0;
    for (const Ramp& ramp : settings.ramps)
      plugin.setParameter(ramp.index, ramp.at(position));

    if constexpr (std::is_same_v<Sample, double>)
      plugin.processDouble(inPointers.data(), outPointers.data(), static_cast<VstInt32>(n));
    else
      plugin.process(inPointers.data(), outPointers.data(), static_cast<VstInt32>(n));

    // The first `written` outputs go to the file.
    for (int c = 0; c < written; ++c) {
      const Sample* src = out[static_cast<std::size_t>(c)].data();
      for (std::size_t i = 0; i < frames; ++i)
        outFrames[i * static_cast<std::size_t>(written) + static_cast<std::size_t>(c)] = src[i];
    }
    writer.write(outFrames.data(), n);
    done += n;
    if (progress) progress(done, total);
  }
  return done;
}

} // namespace

RenderResult renderFile(HostSession& session, const std::string& input, const std::string& output,
                        const RenderSettings& settings, const ProgressFunction& progress,
                        const std::atomic<bool>* cancel) {
  if (settings.blockSize < 1 || settings.blockSize > kMaxBlockSize)
    throw RenderError("block size must be 1 to " + std::to_string(kMaxBlockSize));
  if (settings.doublePrecision && !session.canProcessDouble())
    throw RenderError("the module does not process double precision");

  AudioReader reader(input);
  const AEffect& effect = session.descriptor();
  if (reader.channels() != 1 && reader.channels() != effect.numInputs)
    throw RenderError(input + " has " + std::to_string(reader.channels()) +
                      " channels; the module takes " + std::to_string(effect.numInputs) +
                      " inputs (a mono file feeds them all)");

  RenderResult result;
  result.inputChannels = reader.channels();
  // With a mono file both inputs carry the same signal, so the first output is the result;
  // a stereo file is asked for on purpose.
  result.outputChannels = reader.channels() == 1 && !settings.stereoOut ? 1 : effect.numOutputs;
  result.sampleRate = reader.sampleRate();
  result.inputFormat = reader.format();
  result.outputFormat =
      outputFormat(reader.format(), output, result.outputChannels, reader.sampleRate());

  AudioWriter writer(output, result.outputFormat, result.outputChannels, result.sampleRate);

  vsthost::Plugin& plugin = session.plugin();
  for (const Assignment& a : settings.assignments)
    plugin.setParameter(a.index, a.value);
  for (const Ramp& ramp : settings.ramps)
    plugin.setParameter(ramp.index, ramp.from);
  session.start(reader.sampleRate(), settings.blockSize);

  result.frames = settings.doublePrecision
                      ? renderBlocks<double>(session, reader, writer, settings,
                                             result.outputChannels, progress, cancel)
                      : renderBlocks<float>(session, reader, writer, settings,
                                            result.outputChannels, progress, cancel);
  session.stop();
  writer.commit();
  return result;
}

} // namespace render
