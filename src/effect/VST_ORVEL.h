// The effect: parameters, the program, the level gains and mode, the two
// channel chains and block processing.
//
// Threads: setParameter may be called from the host's user-interface thread
// (editor, automation) while a block runs on the audio thread; everything the
// audio thread reads from it is an atomic. processReplacing and
// processDoubleReplacing run on the audio thread only.
#pragma once

#include "dsp/tube/HBOversampler.h"
#include "dsp/tube/ORVEL.h"
#include "effect/EffectProgram.h"
#include "effect/ParameterIndices.h"
#include "effect/VSTParameter.h"
#include "host/AudioEffectX.h"

#include <atomic>
#include <cstdint>
#include <memory>

enum ORVELProcessMode : std::uint16_t { kModeMono = 1, kModeStereo = 2 };

class VST_ORVEL : public AudioEffectX {
public:
  explicit VST_ORVEL(audioMasterCallback audioMaster);
  ~VST_ORVEL() override;

  void setSampleRate(float rate) override;
  void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;
  void processDoubleReplacing(double** inputs, double** outputs, VstInt32 sampleFrames) override;
  void setParameter(VstInt32 index, float value) override;
  float getParameter(VstInt32 index) override;
  void setProgram(VstInt32 program) override;
  void setProgramName(char* name) override;
  void getProgramName(char* name) override;
  void getParameterLabel(VstInt32 index, char* label) override;
  void getParameterDisplay(VstInt32 index, char* text) override;
  void getParameterName(VstInt32 index, char* text) override;
  bool getEffectName(char* name) override;
  bool getVendorString(char* text) override;
  bool getProductString(char* text) override;
  VstInt32 getVendorVersion() override;

  // Read-outs for tests and the editor.
  double getInputGain() const { return inputGain.load(std::memory_order_relaxed); }
  double getOutputGain() const { return outputGain.load(std::memory_order_relaxed); }
  std::uint16_t getProcessMode() const { return processMode.load(std::memory_order_relaxed); }
  const ORVEL& getLeftCore() const { return *leftCore; }
  const ORVEL& getRightCore() const { return *rightCore; }
  const HBOversampler<ORVEL>& getLeftOversampler() const { return *leftOversampler; }
  const HBOversampler<ORVEL>& getRightOversampler() const { return *rightOversampler; }

  // Host rates outside this range are taken as its nearest end; a rate that is
  // not a positive number is ignored.
  static constexpr float kMinSampleRate = 1000.0f;
  static constexpr float kMaxSampleRate = 1536000.0f;

private:
  static bool validIndex(VstInt32 index) { return index >= 0 && index < kNumParams; }
  template <typename Sample> void processBlock(Sample** inputs, Sample** outputs, VstInt32 n);
  void sendFilterParameters();
  void recoverIfNeeded(double lastLeft, double lastRight);

  // Channel chains: each oversampler drives its own core.
  std::unique_ptr<HBOversampler<ORVEL>> leftOversampler;
  std::unique_ptr<HBOversampler<ORVEL>> rightOversampler;
  std::unique_ptr<ORVEL> leftCore;
  std::unique_ptr<ORVEL> rightCore;

  std::atomic<std::uint16_t> processMode{kModeMono};
  std::atomic<double> inputGain{1.0};
  std::atomic<double> outputGain{1.0};
  std::unique_ptr<EffectProgram[]> programs;
  std::unique_ptr<std::unique_ptr<VSTParameter>[]> parameters;
};
