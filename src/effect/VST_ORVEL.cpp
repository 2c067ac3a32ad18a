#include "effect/VST_ORVEL.h"

#include "effect/EditorFactory.h"
#include "effect/ScopedDenormals.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kNumPrograms = 1;
constexpr double kDefaultSampleRate = 44100.0; // Hz, until the host sets its rate
constexpr unsigned kOversampling = 2;

// Values of the "Init" program, by parameter index.
constexpr float kInitValues[kNumParams] = {0.5f, 0.5f, 0.0f, 0.0f, 0.5f, 1.0f, 0.5f,
                                           0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f};

const char* const kHiBoostFreqSteps[] = {"3", "4", "5", "6", "10", "12", "16"};
const char* const kHiCutFreqSteps[] = {"5", "6", "8", "10", "15", "20"};
const char* const kLoFreqSteps[] = {"20", "30", "45", "60", "100", "150"};
const char* const kOffOn[] = {"Off", "On"};
const char* const kMonoStereo[] = {"Mono", "Stereo"};

// Level range of the input and output knobs, in dB.
constexpr double kLevelMinDb = -18.0;
constexpr double kLevelMaxDb = 18.0;

// A faulty host may send NaN or an infinity: NaN counts as 0 and an infinity as
// the nearest end, so a level never turns the output non-finite. Finite values
// keep their usual (unclamped) mapping.
double sanitizedLevel(float value) {
  if (std::isnan(value)) return 0.0;
  if (std::isinf(value)) return value > 0 ? 1.0 : 0.0;
  return value;
}

double levelGain(float value) {
  const double db = (kLevelMaxDb - kLevelMinDb) * sanitizedLevel(value) + kLevelMinDb;
  return std::pow(10.0, db / 20.0);
}

void copyBounded(char* dest, const char* src, std::size_t size) {
  if (std::snprintf(dest, size, "%s", src) < 0) *dest = '\0';
}

} // namespace

VST_ORVEL::VST_ORVEL(audioMasterCallback audioMaster)
    : AudioEffectX(audioMaster, kNumPrograms, kNumParams) {
  setNumInputs(2);
  setNumOutputs(2);
  setUniqueID(vstFourCC('R', 'V', 'L', 'X'));
  canProcessReplacing();
  canDoubleReplacing();

  programs = std::make_unique<EffectProgram[]>(kNumPrograms);
  for (int i = 0; i < kNumParams; ++i)
    programs[0].values[i] = kInitValues[i];
  copyBounded(programs[0].programName, "Init", sizeof(programs[0].programName));

  processMode.store(kModeMono, std::memory_order_relaxed);

  // Channel chains at the default host rate until the host sets its own.
  leftCore = std::make_unique<ORVEL>(kDefaultSampleRate);
  rightCore = std::make_unique<ORVEL>(kDefaultSampleRate);
  leftOversampler = std::make_unique<HBOversampler<ORVEL>>(leftCore.get(), kDefaultSampleRate);
  rightOversampler = std::make_unique<HBOversampler<ORVEL>>(rightCore.get(), kDefaultSampleRate);
  leftOversampler->setFactor(kOversampling);
  rightOversampler->setFactor(kOversampling);

  // Parameter objects, created in the documented order (10 and 11 swapped).
  parameters = std::make_unique<std::unique_ptr<VSTParameter>[]>(kNumParams);
  auto& p = parameters;
  const float* v = kInitValues;
  p[kInputLevel] = std::make_unique<VSTParameterSlider>("Input level", "db", v[kInputLevel],
                                                        kLevelMinDb, kLevelMaxDb);
  p[kOutputLevel] = std::make_unique<VSTParameterSlider>("Output level", "db", v[kOutputLevel],
                                                         kLevelMinDb, kLevelMaxDb);
  p[kHiBoost] = std::make_unique<VSTParameterSlider>("Hi Boost", "x", v[kHiBoost], 0.0, 1.0);
  p[kHiCut] = std::make_unique<VSTParameterSlider>("Hi Cut", "x", v[kHiCut], 0.0, 1.0);
  p[kHiBoostFreq] = std::make_unique<VSTParameterSwitch>("Hi Boost Freq.", "KHz", kHiBoostFreqSteps,
                                                         7, v[kHiBoostFreq]);
  p[kHiCutFreq] = std::make_unique<VSTParameterSwitch>("Hi Cut Freq.", "KHz", kHiCutFreqSteps, 6,
                                                       v[kHiCutFreq]);
  p[kHiFreqQ] = std::make_unique<VSTParameterSlider>("Hi Freq. Q", "", v[kHiFreqQ], 0.0, 1.0);
  p[kLoBoost] = std::make_unique<VSTParameterSlider>("Lo Boost", "x", v[kLoBoost], 0.0, 1.0);
  p[kLoCut] = std::make_unique<VSTParameterSlider>("Lo Cut", "x", v[kLoCut], 0.0, 1.0);
  p[kLoFreq] = std::make_unique<VSTParameterSwitch>("Lo Freq", "Hz", kLoFreqSteps, 6, v[kLoFreq]);
  p[kEqualizer] = std::make_unique<VSTParameterSwitch>("Equalizer", "", kOffOn, 2, v[kEqualizer]);
  p[kTubeBuffer] =
      std::make_unique<VSTParameterSwitch>("Tube Buffer", "", kOffOn, 2, v[kTubeBuffer]);
  p[kMode] = std::make_unique<VSTParameterSwitch>("Mode", "", kMonoStereo, 2, v[kMode]);

  for (VstInt32 i = 0; i < kNumParams; ++i)
    setParameter(i, programs[0].values[i].load(std::memory_order_relaxed));

  // The editor comes last; it registers itself, and the has-editor flag
  // follows whether one exists.
  setEditor(createEditor(this));
}

VST_ORVEL::~VST_ORVEL() {
  programs.reset();
  leftCore.reset();
  rightCore.reset();
  leftOversampler.reset();
  rightOversampler.reset();
  for (int i = 0; i < kNumParams; ++i)
    parameters[i].reset();
  parameters.reset();
}

void VST_ORVEL::setParameter(VstInt32 index, float value) {
  if (!validIndex(index)) return;
  parameters[index]->value.store(value, std::memory_order_relaxed);
  programs[0].values[index].store(value, std::memory_order_relaxed);

  switch (index) {
  case kInputLevel: inputGain.store(levelGain(value), std::memory_order_relaxed); break;
  case kOutputLevel: outputGain.store(levelGain(value), std::memory_order_relaxed); break;
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

  if (editor) editor->setParameter(index, value);
}

float VST_ORVEL::getParameter(VstInt32 index) {
  return validIndex(index)
             ? static_cast<float>(parameters[index]->value.load(std::memory_order_relaxed))
             : 0.0f;
}

void VST_ORVEL::setProgram(VstInt32 program) {
  if (program < 0 || program >= numPrograms) return;
  for (VstInt32 i = 0; i < kNumParams; ++i)
    setParameter(i, programs[program].values[i].load(std::memory_order_relaxed));
}

void VST_ORVEL::setProgramName(char* name) {
  // At most 23 characters and the terminator; longer names are cut.
  char* dest = programs[curProgram].programName;
  std::size_t n = 0;
  while (n + 1 < sizeof(programs[curProgram].programName) && name[n] != '\0') {
    dest[n] = name[n];
    ++n;
  }
  dest[n] = '\0';
}

void VST_ORVEL::getProgramName(char* name) {
  const char* stored = programs[curProgram].programName;
  if (std::strcmp(stored, "Init") != 0) {
    copyBounded(name, stored, kVstMaxProgNameLen);
  } else if (std::snprintf(name, kVstMaxProgNameLen, "%s %d", stored, curProgram + 1) < 0) {
    *name = '\0';
  }
}

void VST_ORVEL::getParameterLabel(VstInt32 index, char* label) {
  if (validIndex(index))
    parameters[index]->getLabel(label);
  else
    *label = '\0';
}

void VST_ORVEL::getParameterDisplay(VstInt32 index, char* text) {
  if (validIndex(index))
    parameters[index]->getDisplay(text);
  else
    *text = '\0';
}

void VST_ORVEL::getParameterName(VstInt32 index, char* text) {
  if (validIndex(index))
    parameters[index]->getName(text);
  else
    *text = '\0';
}

bool VST_ORVEL::getEffectName(char* name) {
  copyBounded(name, "Ombrine v1.0.2", kVstMaxEffectNameLen);
  return true;
}

bool VST_ORVEL::getVendorString(char* text) {
  copyBounded(text, "Quillane", kVstMaxVendorStrLen);
  return true;
}

bool VST_ORVEL::getProductString(char* text) {
  copyBounded(text, "Ombrine Program Tube Equalizer v1.0.2", kVstMaxProductStrLen);
  return true;
}

VstInt32 VST_ORVEL::getVendorVersion() { return 1020; }

void VST_ORVEL::sendFilterParameters() {
  // All eight equalizer values, always, as the host's single-precision values.
  double v[8];
  for (int i = 0; i < 8; ++i)
    v[i] = static_cast<double>(
        static_cast<float>(parameters[kHiBoost + i]->value.load(std::memory_order_relaxed)));
  for (ORVEL* core : {leftCore.get(), rightCore.get()})
    core->setFilterParameters(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
}

void VST_ORVEL::setSampleRate(float rate) {
  if (!(rate > 0.0f)) return; // NaN, zero and negative rates mean nothing
  if (rate < kMinSampleRate) rate = kMinSampleRate;
  if (rate > kMaxSampleRate) rate = kMaxSampleRate;
  AudioEffectX::setSampleRate(rate);
  leftOversampler->setSampleRate(rate);
  rightOversampler->setSampleRate(rate);
}

// The documented test is a NaN in the last frame. A non-finite sample elsewhere
// in the block (or one so large that the equalizer overflows) can leave NaN in
// the half-band and equalizer states, which the tube stage then turns into a
// finite but stuck output; so the chain states are checked as well. Recovery
// clears both chains and returns the tube stages to their operating point.
void VST_ORVEL::recoverIfNeeded(double lastLeft, double lastRight) {
  if (std::isnan(lastLeft) || std::isnan(lastRight) || !leftOversampler->isStateFinite() ||
      !rightOversampler->isStateFinite()) {
    leftOversampler->reset();
    rightOversampler->reset();
  }
}

template <typename Sample>
void VST_ORVEL::processBlock(Sample** inputs, Sample** outputs, VstInt32 n) {
  if (n <= 0 || !inputs || !outputs) return;
  Sample* inL = inputs[0];
  Sample* inR = inputs[1];
  Sample* outL = outputs[0];
  Sample* outR = outputs[1];
  if (!inL || !inR || !outL || !outR) return;

  ScopedDenormals flushDenormals;
  HBOversampler<ORVEL>& left = *leftOversampler;
  HBOversampler<ORVEL>& right = *rightOversampler;
  const uint32_t factor = left.getFactor();
  // The gains are read at every sample so that a change from another thread
  // acts at once; the mode is read once per block.
  if (processMode.load(std::memory_order_relaxed) == kModeStereo) {
    for (VstInt32 i = 0; i < n; ++i) {
      // Both inputs of a frame are read before either output is written, so
      // in-place buffers work. The two channels run side by side: their tube
      // solves are independent, so interleaving them hides each one's latency
      // without changing a bit of either result.
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
    // The left input through the left chain to both outputs; the right chain
    // keeps its state for when stereo returns.
    for (VstInt32 i = 0; i < n; ++i) {
      const double x = static_cast<double>(inL[i]);
      const double y = left.process(x * inputGain.load(std::memory_order_relaxed), factor, 0) *
                       outputGain.load(std::memory_order_relaxed);
      outL[i] = static_cast<Sample>(y);
      outR[i] = static_cast<Sample>(y);
    }
  }
  recoverIfNeeded(static_cast<double>(outL[n - 1]), static_cast<double>(outR[n - 1]));
}

void VST_ORVEL::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
  processBlock(inputs, outputs, sampleFrames);
}

void VST_ORVEL::processDoubleReplacing(double** inputs, double** outputs, VstInt32 sampleFrames) {
  processBlock(inputs, outputs, sampleFrames);
}
