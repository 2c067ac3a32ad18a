// The stereo block loop built with AVX2 and FMA (-mavx2 -mfma; see StereoBlock.h).
#include "core/StereoBlock.h"

#if !defined(__AVX2__) || !defined(__FMA__)
#error "this file is built with AVX2 and FMA enabled"
#endif

namespace stereo_block {

template <>
void runBuilt<Build::kAvx2, float>(HBOversampler<ORVEL>& left, HBOversampler<ORVEL>& right,
                                   const std::atomic<double>& inputGain,
                                   const std::atomic<double>& outputGain, const float* inL,
                                   const float* inR, float* outL, float* outR, std::int32_t n) {
  run(left, right, inputGain, outputGain, inL, inR, outL, outR, n);
}

template <>
void runBuilt<Build::kAvx2, double>(HBOversampler<ORVEL>& left, HBOversampler<ORVEL>& right,
                                    const std::atomic<double>& inputGain,
                                    const std::atomic<double>& outputGain, const double* inL,
                                    const double* inR, double* outL, double* outR, std::int32_t n) {
  run(left, right, inputGain, outputGain, inL, inR, outL, outR, n);
}

} // namespace stereo_block
