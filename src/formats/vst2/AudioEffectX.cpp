#include "formats/vst2/AudioEffectX.h"

namespace {

// The modifier byte travels in the dispatcher's float argument; convert it
// without undefined behaviour whatever the host puts there.
unsigned char modifierFromOpt(float opt) {
  return (opt >= 0.0f && opt < 256.0f) ? static_cast<unsigned char>(opt) : 0;
}

} // namespace

void AudioEffectX::resume() {
  // An effect that takes events would tell the host here; ours answers 0 to its
  // own can-do, so the host is asked for nothing.
  char receive[] = "receiveVstMidiEvent";
  (void)canDo(receive);
}

VstInt32 AudioEffectX::canHostDo(char* text) {
  return callHost(audioMasterCanDo, 0, 0, text) != 0 ? 1 : 0;
}

bool AudioEffectX::sizeWindow(VstInt32 width, VstInt32 height) {
  return callHost(audioMasterSizeWindow, width, height) != 0;
}

VstIntPtr AudioEffectX::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                   float opt) {
  char* text = static_cast<char*>(ptr);
  switch (opcode) {
  case effProcessEvents: return 0;
  case effCanBeAutomated: return canParameterBeAutomated(index) ? 1 : 0;
  case effString2Parameter: return (text && string2parameter(index, text)) ? 1 : 0;
  case effGetPlugCategory: return getPlugCategory();
  case effGetEffectName: return (text && getEffectName(text)) ? 1 : 0;
  case effGetVendorString: return (text && getVendorString(text)) ? 1 : 0;
  case effGetProductString: return (text && getProductString(text)) ? 1 : 0;
  case effGetVendorVersion: return getVendorVersion();
  case effCanDo: return text ? canDo(text) : 0;
  case effGetTailSize: return getGetTailSize();
  case effGetVstVersion: return getVstVersion();
  case effEditKeyDown:
  case effEditKeyUp:
    if (editor) {
      VstKeyCode key{index, static_cast<unsigned char>(value), modifierFromOpt(opt)};
      bool used = opcode == effEditKeyDown ? editor->onKeyDown(key) : editor->onKeyUp(key);
      return used ? 1 : 0;
    }
    return 0;
  case effSetEditKnobMode:
    if (editor) editor->setKnobMode(static_cast<VstInt32>(value));
    return 0;
  case effGetCurrentMidiProgram: return getCurrentMidiProgram();
  case effGetSpeakerArrangement: {
    auto** in = reinterpret_cast<VstSpeakerArrangement**>(value);
    auto** out = static_cast<VstSpeakerArrangement**>(ptr);
    if (in) *in = nullptr;
    if (out) *out = nullptr;
    return (in && out && getSpeakerArrangement(in, out)) ? 1 : 0;
  }
  case effSetTotalSampleToProcess: return setTotalSampleToProcess(value);
  default: break;
  }
  if (opcode >= effProcessEvents && opcode <= effGetNumMidiOutputChannels) return 0;
  return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
}
