// Extended effect base: answers the 2.x opcodes (25 to 79) and hands
// everything else to AudioEffect.
#pragma once

#include "formats/vst2/AudioEffect.h"

class AudioEffectX : public AudioEffect {
public:
  using AudioEffect::AudioEffect;

  VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                       float opt) override;

  // Asks our own can-do for event input; this effect takes none, so the host is
  // asked for nothing.
  void resume() override;

  virtual bool canParameterBeAutomated(VstInt32 /*index*/) { return true; }
  virtual bool string2parameter(VstInt32 /*index*/, char* /*text*/) { return false; }
  virtual VstInt32 getPlugCategory() { return 0; }
  virtual bool getEffectName(char* /*name*/) { return false; }
  virtual bool getVendorString(char* /*text*/) { return false; }
  virtual bool getProductString(char* /*text*/) { return false; }
  virtual VstInt32 getVendorVersion() { return 0; }
  virtual VstInt32 canDo(char* /*text*/) { return 0; }
  virtual VstInt32 getGetTailSize() { return 0; }
  virtual VstInt32 getVstVersion() { return kVstVersion; }
  virtual VstInt32 getCurrentMidiProgram() { return -1; }
  virtual bool getSpeakerArrangement(VstSpeakerArrangement** /*in*/,
                                     VstSpeakerArrangement** /*out*/) {
    return false;
  }
  virtual VstIntPtr setTotalSampleToProcess(VstIntPtr value) { return value; }

  // Host callbacks.
  virtual VstInt32 canHostDo(char* text);
  virtual bool sizeWindow(VstInt32 width, VstInt32 height);
};
