#include "core/ChannelPairProcessor.h"

#include "core/Parameters.h"
#include "core/ScopedDenormals.h"
#include "core/StereoBlock.h"
#include "dsp/eq/ORVELFilterSmoothed.h"

#include <cmath>

namespace {

constexpr double kDefaultSampleRate = 44100.0; // Hz, until the host sets its rate
constexpr unsigned kOversampling = 2;

// The equalizer reads its three switches as normalised values and picks the step itself; its
// step counts must be the table's.
constexpr int steps(int index) { return parameters::info(index).numSteps(); }
static_assert(steps(kHiBoostFreq) == ORVELFilterSmoothed::kHiBoostFreqSteps);
static_assert(steps(kHiCutFreq) == ORVELFilterSmoothed::kHiCutFreqSteps);
static_assert(steps(kLoFreq) == ORVELFilterSmoothed::kLoFreqSteps);
static_assert(kLoFreq - kHiBoost + 1 == ORVELFilterSmoothed::kNumControls);

} // namespace

bool stereo_block::available(Build build) {
  switch (build) {
  case Build::kBaseline: return true;
#if defined(OMBRINE_WIDE_VECTORS)
  // The features as the processor and the operating system report them (the wide registers
  // need the system to save them; the run-time library checks that too).
  case Build::kAvx2:
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
  case Build::kAvx512:
    return available(Build::kAvx2) && __builtin_cpu_supports("avx512f") &&
           __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq") &&
           __builtin_cpu_supports("avx512bw");
#endif
  default: return false; // not in this module (another architecture, or the Windows module)
  }
}

namespace {

stereo_block::Build bestStereoBuild() {
  using stereo_block::Build;
  for (Build b : {Build::kAvx512, Build::kAvx2})
    if (stereo_block::available(b)) return b;
  return Build::kBaseline;
}

template <typename Sample>
void runStereo(stereo_block::Build build, HBOversampler<ORVEL>& left, HBOversampler<ORVEL>& right,
               const std::atomic<double>& inputGain, const std::atomic<double>& outputGain,
               const Sample* inL, const Sample* inR, Sample* outL, Sample* outR, std::int32_t n) {
  using stereo_block::Build;
#if defined(OMBRINE_WIDE_VECTORS)
  if (build == Build::kAvx512)
    return stereo_block::runBuilt<Build::kAvx512>(left, right, inputGain, outputGain, inL, inR,
                                                  outL, outR, n);
  if (build == Build::kAvx2)
    return stereo_block::runBuilt<Build::kAvx2>(left, right, inputGain, outputGain, inL, inR, outL,
                                                outR, n);
#endif
  (void)build;
  stereo_block::run(left, right, inputGain, outputGain, inL, inR, outL, outR, n);
}

} // namespace

ChannelPairProcessor::ChannelPairProcessor() : build(bestStereoBuild()) {
  leftCore = std::make_unique<ORVEL>(kDefaultSampleRate);
  rightCore = std::make_unique<ORVEL>(kDefaultSampleRate);
  leftOversampler = std::make_unique<HBOversampler<ORVEL>>(leftCore.get(), kDefaultSampleRate);
  rightOversampler = std::make_unique<HBOversampler<ORVEL>>(rightCore.get(), kDefaultSampleRate);
  leftOversampler->setFactor(kOversampling);
  rightOversampler->setFactor(kOversampling);
  // The left equalizer designs first at every step and rate change, so the right one can take
  // its design whenever the two are set alike.
  rightCore->getFilter().shareDesignsWith(&leftCore->getFilter());

  // Every value is in place before any is routed, so that the equalizer never sees a mix of
  // Init values and zeros.
  for (int i = 0; i < kNumParams; ++i)
    values[static_cast<std::size_t>(i)].store(parameters::info(i).initial);
  for (int i = 0; i < kNumParams; ++i)
    setParameter(i, parameters::info(i).initial);
}

ChannelPairProcessor::~ChannelPairProcessor() {
  leftCore.reset();
  rightCore.reset();
  leftOversampler.reset();
  rightOversampler.reset();
}

double ChannelPairProcessor::usableRate(double rate) {
  if (!(rate > 0.0)) return 0.0; // NaN, zero and negative rates mean nothing
  if (rate < kMinSampleRate) return kMinSampleRate;
  if (rate > kMaxSampleRate) return kMaxSampleRate;
  return rate;
}

void ChannelPairProcessor::prepare(double sampleRate) {
  const double rate = usableRate(sampleRate);
  if (rate == 0.0) return;
  leftOversampler->setSampleRate(rate);
  rightOversampler->setSampleRate(rate);
}

void ChannelPairProcessor::setParameter(int index, float normalised) {
  if (index < 0 || index >= kNumParams) return;
  const float value = parameters::clampNormalised(normalised);
  values[static_cast<std::size_t>(index)].store(value, std::memory_order_relaxed);

  switch (index) {
  case kInputLevel:
    inputGain.store(parameters::levelGain(kInputLevel, value), std::memory_order_relaxed);
    break;
  case kOutputLevel:
    outputGain.store(parameters::levelGain(kOutputLevel, value), std::memory_order_relaxed);
    break;
  case kMode:
    processMode.store(value >= 0.5f ? kModeStereo : kModeMono, std::memory_order_relaxed);
    break;
  case kTubeBuffer:
    leftCore->setTubeBuffer(value);
    rightCore->setTubeBuffer(value);
    break;
  case kEqualizer:
    leftCore->setEqualizer(value);
    rightCore->setEqualizer(value);
    break;
  default: sendFilterParameters(); break;
  }
}

float ChannelPairProcessor::getParameter(int index) const {
  return index >= 0 && index < kNumParams
             ? values[static_cast<std::size_t>(index)].load(std::memory_order_relaxed)
             : 0.0f;
}

void ChannelPairProcessor::sendFilterParameters() {
  // All eight equalizer values, always.
  double v[ORVELFilterSmoothed::kNumControls];
  for (int i = 0; i < ORVELFilterSmoothed::kNumControls; ++i)
    v[i] = values[static_cast<std::size_t>(kHiBoost + i)].load(std::memory_order_relaxed);
  for (ORVEL* core : {leftCore.get(), rightCore.get()})
    core->setFilterParameters(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
}

// A NaN in the last frame is the documented test. A non-finite sample elsewhere in the block (or
// one so large that the equalizer overflows) can leave NaN in the half-band and equalizer states,
// which the tube stage then turns into a finite but stuck output; so the chain states are checked
// as well. Recovery clears both chains and returns the tube stages to their operating point.
void ChannelPairProcessor::recoverIfNeeded(double lastLeft, double lastRight) {
  if (std::isnan(lastLeft) || std::isnan(lastRight) || !leftOversampler->isStateFinite() ||
      !rightOversampler->isStateFinite()) {
    leftOversampler->reset();
    rightOversampler->reset();
  }
}

template <typename Sample>
void ChannelPairProcessor::processBlock(const Sample* inL, const Sample* inR, Sample* outL,
                                        Sample* outR, std::int32_t n) {
  if (n <= 0 || !inL || !inR || !outL || !outR) return;

  ScopedDenormals flushDenormals;
  HBOversampler<ORVEL>& left = *leftOversampler;
  HBOversampler<ORVEL>& right = *rightOversampler;
  const uint32_t factor = left.getFactor();
  // The gains are read at every sample so that a change from another thread acts at once; the
  // mode is read once per block.
  const bool stereo = processMode.load(std::memory_order_relaxed) == kModeStereo;
  if (stereo && stereo_block::Chains::fits(left, right)) {
    // Both channels side by side through the whole chain: the baseline build gives the same
    // bits as the frame-by-frame loop below, in fewer instructions.
    runStereo(build, left, right, inputGain, outputGain, inL, inR, outL, outR, n);
  } else if (stereo) {
    for (std::int32_t i = 0; i < n; ++i) {
      // Both inputs of a frame are read before either output is written, so in-place buffers
      // work. The two channels run side by side: their tube solves are independent, so
      // interleaving them hides each one's latency without changing a bit of either result.
      const double gIn = inputGain.load(std::memory_order_relaxed);
      const double xL = static_cast<double>(inL[i]) * gIn;
      const double xR = static_cast<double>(inR[i]) * gIn;
      double yL;
      double yR;
      HBOversampler<ORVEL>::processPair(left, xL, right, xR, yL, yR);
      const double gOut = outputGain.load(std::memory_order_relaxed);
      outL[i] = static_cast<Sample>(yL * gOut);
      outR[i] = static_cast<Sample>(yR * gOut);
    }
  } else {
    // The left input through the left chain to both outputs; the right chain keeps its state
    // for when stereo returns.
    for (std::int32_t i = 0; i < n; ++i) {
      const double x = static_cast<double>(inL[i]);
      const double y = left.process(x * inputGain.load(std::memory_order_relaxed), factor, 0) *
                       outputGain.load(std::memory_order_relaxed);
      outL[i] = static_cast<Sample>(y);
      outR[i] = static_cast<Sample>(y);
    }
  }
  recoverIfNeeded(static_cast<double>(outL[n - 1]), static_cast<double>(outR[n - 1]));
}

bool ChannelPairProcessor::useStereoBuild(stereo_block::Build wanted) {
  if (!stereo_block::available(wanted)) return false;
  build = wanted;
  return true;
}

void ChannelPairProcessor::process(const float* inL, const float* inR, float* outL, float* outR,
                                   std::int32_t frames) {
  processBlock(inL, inR, outL, outR, frames);
}

void ChannelPairProcessor::process(const double* inL, const double* inR, double* outL, double* outR,
                                   std::int32_t frames) {
  processBlock(inL, inR, outL, outR, frames);
}
