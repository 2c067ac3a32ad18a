#include "formats/vst2/VST_ORVEL.h"

#include "core/Parameters.h"
#include "formats/vst2/EditorFactory.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int kNumPrograms = 1;

// The parameter objects are created in this order (10 and 11 swapped); each writes a trace line.
constexpr int kCreationOrder[kNumParams] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 10, 12};

std::unique_ptr<VSTParameter> makeParameter(int index) {
  const ParameterInfo& p = parameters::info(index);
  if (p.stepped()) return std::make_unique<VSTParameterSwitch>(p.name, p.label, p.steps, p.initial);
  return std::make_unique<VSTParameterSlider>(p.name, p.label, p.initial, p.minimum, p.maximum);
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
    programs[0].values[i] = parameters::info(i).initial;
  copyBounded(programs[0].programName, "Init", sizeof(programs[0].programName));

  // Channel chains at the default host rate until the host sets its own.
  processor = std::make_unique<ChannelPairProcessor>();

  parameters = std::make_unique<std::unique_ptr<VSTParameter>[]>(kNumParams);
  for (int index : kCreationOrder)
    parameters[index] = makeParameter(index);

  for (VstInt32 i = 0; i < kNumParams; ++i)
    setParameter(i, programs[0].values[i].load(std::memory_order_relaxed));

  // The editor comes last; it registers itself, and the has-editor flag
  // follows whether one exists.
  setEditor(createEditor(this));
}

VST_ORVEL::~VST_ORVEL() {
  programs.reset();
  processor.reset();
  for (int i = 0; i < kNumParams; ++i)
    parameters[i].reset();
  parameters.reset();
}

void VST_ORVEL::setParameter(VstInt32 index, float value) {
  if (!validIndex(index)) return;
  // The objects and the program keep what the host set (getParameter returns it); the processor
  // uses the value limited to the range.
  parameters[index]->value.store(value, std::memory_order_relaxed);
  programs[0].values[index].store(value, std::memory_order_relaxed);
  processor->setParameter(index, value);

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

void VST_ORVEL::setSampleRate(float rate) {
  const double usable = ChannelPairProcessor::usableRate(rate);
  if (usable == 0.0) return;
  AudioEffectX::setSampleRate(static_cast<float>(usable));
  processor->prepare(usable);
}

void VST_ORVEL::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
  if (inputs && outputs)
    processor->process(inputs[0], inputs[1], outputs[0], outputs[1], sampleFrames);
}

void VST_ORVEL::processDoubleReplacing(double** inputs, double** outputs, VstInt32 sampleFrames) {
  if (inputs && outputs)
    processor->process(inputs[0], inputs[1], outputs[0], outputs[1], sampleFrames);
}
