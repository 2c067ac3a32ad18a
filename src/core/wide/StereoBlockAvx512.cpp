// The stereo block loop built with AVX-512 (F, VL, DQ, BW) and FMA, 128-bit vectors only (see
// StereoBlock.h): the same code as the AVX2 build with 32 vector registers to keep it in.
#include "core/StereoBlock.h"

#if !defined(__AVX512VL__) || !defined(__FMA__)
#error "this file is built with AVX-512 and FMA enabled"
#endif

namespace stereo_block {

template <>
void runBuilt<Build::kAvx512, float>(HBOversampler<ORVEL>& left, HBOversampler<ORVEL>& right,
                                     const std::atomic<double>& inputGain,
                                     const std::atomic<double>& outputGain, const float* inL,
                                     const float* inR, float* outL, float* outR, std::int32_t n) {
  run(left, right, inputGain, outputGain, inL, inR, outL, outR, n);
}

template <>
void runBuilt<Build::kAvx512, double>(HBOversampler<ORVEL>& left, HBOversampler<ORVEL>& right,
                                      const std::atomic<double>& inputGain,
                                      const std::atomic<double>& outputGain, const double* inL,
                                      const double* inR, double* outL, double* outR,
                                      std::int32_t n) {
  run(left, right, inputGain, outputGain, inL, inR, outL, outR, n);
}

} // namespace stereo_block
