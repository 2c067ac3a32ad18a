#include "formats/vst2/AudioEffect.h"

#include <cstring>

AudioEffect::AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams)
    : audioMaster(audioMaster), numPrograms(numPrograms), numParams(numParams) {
  std::memset(&cEffect, 0, sizeof(cEffect));
  cEffect.magic = kEffectMagic;
  cEffect.dispatcher = dispatchEffectClass;
  cEffect.process = processClass;
  cEffect.setParameter = setParameterClass;
  cEffect.getParameter = getParameterClass;
  cEffect.numPrograms = numPrograms;
  cEffect.numParams = numParams;
  cEffect.numInputs = 1;
  cEffect.numOutputs = 2;
  cEffect.ioRatio = 1.0f;
  cEffect.object = this;
  cEffect.uniqueID = vstFourCC('N', 'o', 'E', 'f');
  cEffect.version = 1;
  cEffect.processReplacing = processReplacingClass;
  cEffect.processDoubleReplacing = processDoubleReplacingClass;
}

AudioEffect::~AudioEffect() {
  delete editor;
  editor = nullptr;
}

void AudioEffect::setEditor(AEffEditor* newEditor) {
  editor = newEditor;
  setFlag(effFlagsHasEditor, editor != nullptr);
}

void AudioEffect::setFlag(VstInt32 flag, bool state) {
  if (state)
    cEffect.flags |= flag;
  else
    cEffect.flags &= ~flag;
}

void AudioEffect::canProcessReplacing(bool state) { setFlag(effFlagsCanReplacing, state); }

void AudioEffect::canDoubleReplacing(bool state) { setFlag(effFlagsCanDoubleReplacing, state); }

VstIntPtr AudioEffect::callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                float opt) {
  return audioMaster ? audioMaster(&cEffect, opcode, index, value, ptr, opt) : 0;
}

void AudioEffect::setParameterAutomated(VstInt32 index, float value) {
  setParameter(index, value);
  callHost(audioMasterAutomate, index, 0, nullptr, value);
}

VstInt32 AudioEffect::getMasterVersion() {
  VstInt32 version = 1;
  if (audioMaster) {
    version = static_cast<VstInt32>(callHost(audioMasterVersion));
    if (!version) version = 1; // an old host that does not answer
  }
  return version;
}

void AudioEffect::masterIdle() { callHost(audioMasterIdle); }

bool AudioEffect::beginEdit(VstInt32 index) { return callHost(audioMasterBeginEdit, index) != 0; }

bool AudioEffect::endEdit(VstInt32 index) { return callHost(audioMasterEndEdit, index) != 0; }

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                  float opt) {
  // Every opcode that writes through ptr needs one; a faulty host may send null.
  char* text = static_cast<char*>(ptr);
  switch (opcode) {
  case effOpen: open(); break;
  case effClose: close(); break;
  case effSetProgram:
    if (value >= 0 && value < numPrograms) setProgram(static_cast<VstInt32>(value));
    break;
  case effGetProgram: return getProgram();
  case effSetProgramName:
    if (text) setProgramName(text);
    break;
  case effGetProgramName:
    if (text) getProgramName(text);
    break;
  case effGetParamLabel:
    if (text) getParameterLabel(index, text);
    break;
  case effGetParamDisplay:
    if (text) getParameterDisplay(index, text);
    break;
  case effGetParamName:
    if (text) getParameterName(index, text);
    break;
  case effSetSampleRate: setSampleRate(opt); break;
  case effSetBlockSize: setBlockSize(static_cast<VstInt32>(value)); break;
  case effMainsChanged:
    if (!value)
      suspend();
    else
      resume();
    break;
  case effEditGetRect:
    if (editor && ptr) return editor->getRect(static_cast<ERect**>(ptr)) ? 1 : 0;
    break;
  case effEditOpen:
    if (editor) return editor->open(ptr) ? 1 : 0;
    break;
  case effEditClose:
    if (editor) editor->close();
    break;
  case effEditIdle:
    if (editor) editor->idle();
    break;
  case effIdentify: return vstFourCC('N', 'v', 'E', 'f');
  case effGetChunk: return ptr ? getChunk(static_cast<void**>(ptr), index != 0) : 0;
  case effSetChunk: return ptr ? setChunk(ptr, static_cast<VstInt32>(value), index != 0) : 0;
  default: break;
  }
  return 0;
}

VstIntPtr AudioEffect::dispatchEffectClass(AEffect* e, VstInt32 opcode, VstInt32 index,
                                           VstIntPtr value, void* ptr, float opt) {
  if (!e || !e->object) return 0;
  auto* effect = static_cast<AudioEffect*>(e->object);
  if (opcode == effClose) {
    effect->dispatcher(opcode, index, value, ptr, opt);
    delete effect;
    return 1;
  }
  return effect->dispatcher(opcode, index, value, ptr, opt);
}

// The deprecated accumulating process is not supported.
void AudioEffect::processClass(AEffect*, float**, float**, VstInt32) {}

void AudioEffect::processReplacingClass(AEffect* e, float** inputs, float** outputs,
                                        VstInt32 sampleFrames) {
  if (e && e->object)
    static_cast<AudioEffect*>(e->object)->processReplacing(inputs, outputs, sampleFrames);
}

void AudioEffect::processDoubleReplacingClass(AEffect* e, double** inputs, double** outputs,
                                              VstInt32 sampleFrames) {
  if (e && e->object)
    static_cast<AudioEffect*>(e->object)->processDoubleReplacing(inputs, outputs, sampleFrames);
}

void AudioEffect::setParameterClass(AEffect* e, VstInt32 index, float value) {
  if (e && e->object) static_cast<AudioEffect*>(e->object)->setParameter(index, value);
}

float AudioEffect::getParameterClass(AEffect* e, VstInt32 index) {
  return (e && e->object) ? static_cast<AudioEffect*>(e->object)->getParameter(index) : 0.0f;
}
