// The two channel chains and what runs around them: the input and output levels, the mode
// routing (stereo: each channel through its own chain; mono: the left input through the left
// chain to both outputs), flush-to-zero for every block and the recovery from non-finite state.
// Each chain is an ORVEL core (equalizer and tube stage) driven at twice the host rate by a
// half-band oversampler. Every plug-in format wraps one of these.
//
// Threads: setParameter may be called from any thread while a block runs on the audio thread;
// everything the audio thread reads from it is an atomic. process runs on the audio thread only,
// prepare when no block is running.
#pragma once

#include "core/ParameterIndices.h"
#include "core/StereoBlock.h"
#include "dsp/tube/HBOversampler.h"
#include "dsp/tube/ORVEL.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

enum ORVELProcessMode : std::uint16_t { kModeMono = 1, kModeStereo = 2 };

class ChannelPairProcessor {
public:
  // Both chains for a 44100 Hz host until prepare says otherwise, every parameter at its value
  // in the "Init" program.
  ChannelPairProcessor();
  ~ChannelPairProcessor();

  ChannelPairProcessor(const ChannelPairProcessor&) = delete;
  ChannelPairProcessor& operator=(const ChannelPairProcessor&) = delete;

  // Host rates outside this range are taken as its nearest end; a rate that is not a positive
  // number means nothing.
  static constexpr double kMinSampleRate = 1000.0;
  static constexpr double kMaxSampleRate = 1536000.0;
  // The rate prepare would use, or 0 when it would ignore the request.
  static double usableRate(double rate);

  // The host's sample rate, Hz: the chains run at twice it. Filter histories are cleared.
  void prepare(double sampleRate);

  // A normalised value for a parameter, with the bad-value rule of core/Parameters.h applied: the
  // level gain, the mode, or the chain settings. Indices outside 0..12 are ignored.
  void setParameter(int index, float normalised);
  // The value in use (clamped), normalised.
  float getParameter(int index) const;

  // One block. Inputs and outputs may be the same buffers: both inputs of a frame are read before
  // either output is written. The right input is not read in mono. Null buffers or a frame count
  // below 1 process nothing.
  void process(const float* inL, const float* inR, float* outL, float* outR, std::int32_t frames);
  void process(const double* inL, const double* inR, double* outL, double* outR,
               std::int32_t frames);

  // The stereo loop's builds (core/StereoBlock.h): from construction the best one the processor
  // has; their outputs differ by rounding only. Selects `wanted` where it is available and
  // returns whether it did. Call while no block is running (tests and measurements).
  bool useStereoBuild(stereo_block::Build wanted);
  stereo_block::Build stereoBuild() const { return build; }

  // Read-outs for tests.
  double getInputGain() const { return inputGain.load(std::memory_order_relaxed); }
  double getOutputGain() const { return outputGain.load(std::memory_order_relaxed); }
  std::uint16_t getProcessMode() const { return processMode.load(std::memory_order_relaxed); }
  const ORVEL& getLeftCore() const { return *leftCore; }
  const ORVEL& getRightCore() const { return *rightCore; }
  const HBOversampler<ORVEL>& getLeftOversampler() const { return *leftOversampler; }
  const HBOversampler<ORVEL>& getRightOversampler() const { return *rightOversampler; }

private:
  template <typename Sample>
  void processBlock(const Sample* inL, const Sample* inR, Sample* outL, Sample* outR,
                    std::int32_t n);
  void sendFilterParameters();
  void recoverIfNeeded(double lastLeft, double lastRight);

  // Channel chains: each oversampler drives its own core. Built cores first, oversamplers
  // second; destroyed in the same order.
  std::unique_ptr<ORVEL> leftCore;
  std::unique_ptr<ORVEL> rightCore;
  std::unique_ptr<HBOversampler<ORVEL>> leftOversampler;
  std::unique_ptr<HBOversampler<ORVEL>> rightOversampler;

  std::atomic<std::uint16_t> processMode{kModeMono};
  std::atomic<double> inputGain{1.0};
  std::atomic<double> outputGain{1.0};
  std::array<std::atomic<float>, kNumParams> values{};
  stereo_block::Build build; // of the stereo loop
};
