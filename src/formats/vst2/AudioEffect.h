// Effect base classes: the descriptor, the dispatcher and the host callbacks.
//
// Threads: the dispatcher runs on whichever thread the host calls it from
// (user interface for the editor opcodes); processReplacing and
// processDoubleReplacing run on the host's audio thread; setParameter may come
// from either.
#pragma once

#include "formats/vst2/AEffEditor.h"
#include "formats/vst2/vst2abi.h"

class AudioEffect {
public:
  AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);
  virtual ~AudioEffect();

  AudioEffect(const AudioEffect&) = delete;
  AudioEffect& operator=(const AudioEffect&) = delete;

  AEffect* getAeffect() { return &cEffect; }
  AEffEditor* getEditor() const { return editor; }

  virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                               float opt);

  virtual void open() {}
  virtual void close() {}
  virtual void suspend() {}
  virtual void resume() {}

  virtual void setSampleRate(float rate) { sampleRate = rate; }
  virtual void setBlockSize(VstInt32 size) { blockSize = size; }
  float getSampleRate() const { return sampleRate; }

  virtual void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) = 0;
  virtual void processDoubleReplacing(double** /*inputs*/, double** /*outputs*/,
                                      VstInt32 /*sampleFrames*/) {}

  virtual void setParameter(VstInt32 /*index*/, float /*value*/) {}
  virtual float getParameter(VstInt32 /*index*/) { return 0.0f; }
  // Applies the change, then tells the host so that it can record it.
  virtual void setParameterAutomated(VstInt32 index, float value);

  virtual VstInt32 getProgram() { return curProgram; }
  virtual void setProgram(VstInt32 program) { curProgram = program; }
  virtual void setProgramName(char* /*name*/) {}
  virtual void getProgramName(char* name) { *name = 0; }
  virtual void getParameterLabel(VstInt32 /*index*/, char* label) { *label = 0; }
  virtual void getParameterDisplay(VstInt32 /*index*/, char* text) { *text = 0; }
  virtual void getParameterName(VstInt32 /*index*/, char* text) { *text = 0; }
  virtual VstInt32 getChunk(void** /*data*/, bool /*isPreset*/) { return 0; }
  virtual VstInt32 setChunk(void* /*data*/, VstInt32 /*byteSize*/, bool /*isPreset*/) { return 0; }

  // Installs the editor (owned from now on) and keeps the has-editor flag in step.
  virtual void setEditor(AEffEditor* newEditor);

  // Host callbacks.
  virtual VstInt32 getMasterVersion();
  virtual void masterIdle();
  virtual bool beginEdit(VstInt32 index);
  virtual bool endEdit(VstInt32 index);

protected:
  void setUniqueID(VstInt32 id) { cEffect.uniqueID = id; }
  void setNumInputs(VstInt32 n) { cEffect.numInputs = n; }
  void setNumOutputs(VstInt32 n) { cEffect.numOutputs = n; }
  void canProcessReplacing(bool state = true);
  void canDoubleReplacing(bool state = true);
  void setFlag(VstInt32 flag, bool state);

  VstIntPtr callHost(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f);

  audioMasterCallback audioMaster;
  AEffEditor* editor = nullptr;
  float sampleRate = 44100.0f;
  VstInt32 blockSize = 1024;
  VstInt32 numPrograms;
  VstInt32 numParams;
  VstInt32 curProgram = 0;
  AEffect cEffect;

private:
  static VstIntPtr dispatchEffectClass(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                       void* ptr, float opt);
  static void processClass(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames);
  static void processReplacingClass(AEffect* e, float** inputs, float** outputs,
                                    VstInt32 sampleFrames);
  static void processDoubleReplacingClass(AEffect* e, double** inputs, double** outputs,
                                          VstInt32 sampleFrames);
  static void setParameterClass(AEffect* e, VstInt32 index, float value);
  static float getParameterClass(AEffect* e, VstInt32 index);
};
