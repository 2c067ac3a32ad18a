// The stereo block loop of the channel pair: both channels side by side through the whole chain,
// their states held in vector lanes for the block. It is built twice: for every x86-64
// processor (SSE2), and with AVX2 and FMA for the processors that have them, chosen when the
// processor is constructed (see ChannelPairProcessor::useWideVectors).
//
// The wide build lets the compiler fuse multiplications and additions in the half-band stages
// and the tube solve; the equalizer's lattice keeps separate roundings (LatticeLadder::separate),
// so the equalizer computes the same bits on every processor. The two builds differ by rounding
// only: far below 1e-9 of the signal's peak.
//
// Everything the loop calls is inlined into it, so the wide translation unit defines no
// function another one could share: a processor without AVX2 never runs a line of it.
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
[[gnu::always_inline]] inline void run(HBOversampler<ORVEL>& left, HBOversampler<ORVEL>& right,
                                       const std::atomic<double>& inputGain,
                                       const std::atomic<double>& outputGain, const Sample* inL,
                                       const Sample* inR, Sample* outL, Sample* outR,
                                       std::int32_t n) {
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

// True when this build has the wide loop and the processor (and its operating system) can run
// it.
bool wideAvailable();

// run(), from the wide build; only to be called when wideAvailable().
void runWide(HBOversampler<ORVEL>& left, HBOversampler<ORVEL>& right,
             const std::atomic<double>& inputGain, const std::atomic<double>& outputGain,
             const float* inL, const float* inR, float* outL, float* outR, std::int32_t n);
void runWide(HBOversampler<ORVEL>& left, HBOversampler<ORVEL>& right,
             const std::atomic<double>& inputGain, const std::atomic<double>& outputGain,
             const double* inL, const double* inR, double* outL, double* outR, std::int32_t n);

} // namespace stereo_block
