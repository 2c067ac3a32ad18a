// The stereo block loop of the channel pair: both channels side by side through the whole chain,
// their states held in vector lanes for the block. It is built for every x86-64 processor
// (SSE2), and again for processors with AVX2 and FMA, and with AVX-512 as well (its 32 vector
// registers hold the solver's state without spilling); the best one the processor has is chosen
// when the channel pair is constructed (ChannelPairProcessor::useStereoBuild).
//
// The wide builds let the compiler fuse multiplications and additions in the half-band stages
// and the tube solve; the equalizer's lattice keeps separate roundings (LatticeLadder::separate),
// so the equalizer computes the same bits on every processor. The builds differ by rounding
// only: far below 1e-9 of the signal's peak.
//
// Everything the loop calls is inlined into it, so a wide build's translation unit defines no
// function another one could share: a processor without its instructions never runs a line of
// it.
#pragma once

#include "dsp/tube/ChannelLanes.h"
#include "dsp/tube/HBOversampler.h"
#include "dsp/tube/ORVEL.h"

#include <atomic>
#include <cstdint>

namespace stereo_block {

using Lanes = channel_lanes::Pair;
using Chains = HBOversampler<ORVEL>::PairLanes<Lanes>;

// Both oversamplers must be at factor 2 (Chains::fits). The gains are read at every frame, so a
// change from another thread acts at once. Each frame's filtering is done one frame ahead of its
// tube solves, so that it runs while the previous frame's solves wait on their own latency.
// Frame i + 1's inputs are read before frame i's outputs are written: in-place buffers work.
template <typename Sample>
[[gnu::always_inline]] inline void
run(HBOversampler<ORVEL>& left, HBOversampler<ORVEL>& right, const std::atomic<double>& inputGain,
    const std::atomic<double>& outputGain, const Sample* inL, const Sample* inR, Sample* outL,
    Sample* outR, std::int32_t n) {
  Chains chains(left, right);
  const auto input = [&](std::int32_t i) {
    return Lanes{static_cast<double>(inL[i]), static_cast<double>(inR[i])} *
           inputGain.load(std::memory_order_relaxed);
  };
  Chains::Prepared next = chains.prepare(input(0));
  for (std::int32_t i = 0; i < n; ++i) {
    const Chains::Prepared current = next;
    if (i + 1 < n) next = chains.prepare(input(i + 1));
    const Lanes y = chains.finish(current) * outputGain.load(std::memory_order_relaxed);
    outL[i] = static_cast<Sample>(y[0]);
    outR[i] = static_cast<Sample>(y[1]);
  }
  chains.store();
}

enum class Build { kBaseline, kAvx2, kAvx512 };

// True when the module has the build and the processor (and its operating system) can run it.
bool available(Build build);

// run() from a wide build, each defined in that build's own file; only to be called where
// available().
template <Build B, typename Sample>
void runBuilt(HBOversampler<ORVEL>& left, HBOversampler<ORVEL>& right,
              const std::atomic<double>& inputGain, const std::atomic<double>& outputGain,
              const Sample* inL, const Sample* inR, Sample* outL, Sample* outR, std::int32_t n);

// The definitions of runBuilt<B> for both sample types, for a wide build's own file.
#define OMBRINE_STEREO_BLOCK_ENTRY(B, Sample)                                                      \
  template <>                                                                                      \
  void runBuilt<B, Sample>(HBOversampler<ORVEL> & left, HBOversampler<ORVEL> & right,              \
                           const std::atomic<double>& inputGain,                                   \
                           const std::atomic<double>& outputGain, const Sample* inL,               \
                           const Sample* inR, Sample* outL, Sample* outR, std::int32_t n) {        \
    run(left, right, inputGain, outputGain, inL, inR, outL, outR, n);                              \
  }
#define OMBRINE_STEREO_BLOCK_ENTRIES(B)                                                            \
  OMBRINE_STEREO_BLOCK_ENTRY(B, float)                                                             \
  OMBRINE_STEREO_BLOCK_ENTRY(B, double)

} // namespace stereo_block
