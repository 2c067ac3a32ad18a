// The VST 2.4 effect: the parameter objects and the program a VST host sees, over the
// format-neutral channel-pair processor that does the audio.
//
// Threads: setParameter may be called from the host's user-interface thread (editor, automation)
// while a block runs on the audio thread; everything the audio thread reads from it is an
// atomic. processReplacing and processDoubleReplacing run on the audio thread only.
#pragma once

#include "core/ChannelPairProcessor.h"
#include "core/ParameterIndices.h"
#include "formats/vst2/AudioEffectX.h"
#include "formats/vst2/EffectProgram.h"
#include "formats/vst2/VSTParameter.h"

#include <cstdint>
#include <memory>

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

  // Read-outs for tests.
  const ChannelPairProcessor& getProcessor() const { return *processor; }
  double getInputGain() const { return processor->getInputGain(); }
  double getOutputGain() const { return processor->getOutputGain(); }
  std::uint16_t getProcessMode() const { return processor->getProcessMode(); }
  const ORVEL& getLeftCore() const { return processor->getLeftCore(); }
  const ORVEL& getRightCore() const { return processor->getRightCore(); }
  const HBOversampler<ORVEL>& getLeftOversampler() const { return processor->getLeftOversampler(); }
  const HBOversampler<ORVEL>& getRightOversampler() const {
    return processor->getRightOversampler();
  }

  static constexpr float kMinSampleRate = static_cast<float>(ChannelPairProcessor::kMinSampleRate);
  static constexpr float kMaxSampleRate = static_cast<float>(ChannelPairProcessor::kMaxSampleRate);

private:
  static bool validIndex(VstInt32 index) { return index >= 0 && index < kNumParams; }

  // Both channel chains with the levels and the mode.
  std::unique_ptr<ChannelPairProcessor> processor;
  std::unique_ptr<EffectProgram[]> programs;
  std::unique_ptr<std::unique_ptr<VSTParameter>[]> parameters;
};
