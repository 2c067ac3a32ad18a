// Base of every effect editor as the dispatcher sees it.
// Threads: the host calls everything here on its user-interface thread, except
// setParameter, which the effect calls from whichever thread set the parameter.
#pragma once

#include "formats/vst2/vst2abi.h"

class AudioEffect;

class AEffEditor {
public:
  explicit AEffEditor(AudioEffect* effect = nullptr) : effect(effect) {}
  virtual ~AEffEditor() = default;

  AEffEditor(const AEffEditor&) = delete;
  AEffEditor& operator=(const AEffEditor&) = delete;

  virtual AudioEffect* getEffect() { return effect; }
  virtual bool getRect(ERect** rect) {
    *rect = nullptr;
    return false;
  }
  virtual bool open(void* ptr) {
    systemWindow = ptr;
    return false;
  }
  virtual void close() { systemWindow = nullptr; }
  virtual bool isOpen() { return systemWindow != nullptr; }
  virtual void idle() {}
  virtual bool onKeyDown(VstKeyCode& /*keyCode*/) { return false; }
  virtual bool onKeyUp(VstKeyCode& /*keyCode*/) { return false; }
  virtual bool onWheel(float /*distance*/) { return false; }
  // A host asking for another knob mode is refused.
  virtual bool setKnobMode(VstInt32 /*val*/) { return false; }
  // The effect reports every parameter change here; editors that show
  // parameters override it.
  virtual void setParameter(VstInt32 /*index*/, float /*value*/) {}

protected:
  AudioEffect* effect;
  void* systemWindow = nullptr;
};
