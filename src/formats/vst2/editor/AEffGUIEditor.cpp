#include "formats/vst2/editor/AEffGUIEditor.h"

#include "formats/vst2/AudioEffect.h"
#include "formats/vst2/editor/VstKeys.h"

namespace {

using namespace VSTGUI;

// The host's key codes in the toolkit's terms.
KeyEvent toolkitKey(const VstKeyCode& key) {
  static constexpr VirtualKey kVirtual[] = {
      kKeyNone,  kKeyBack,   kKeyTab,      kKeyClear,  kKeyReturn, kKeyPause, kKeyEscape,
      kKeySpace, kKeyNext,   kKeyEnd,      kKeyHome,   kKeyLeft,   kKeyUp,    kKeyRight,
      kKeyDown,  kKeyPageUp, kKeyPageDown, kKeySelect, kKeyPrint,  kKeyEnter};
  static_assert(std::size(kVirtual) == VKEY_ENTER + 1);
  KeyEvent event;
  event.character = key.character;
  event.virt = key.virt < std::size(kVirtual) ? kVirtual[key.virt] : kKeyNone;
  if (key.modifier & MODIFIER_SHIFT) event.modifier |= kModifierShift;
  if (key.modifier & MODIFIER_ALTERNATE) event.modifier |= kModifierAlternate;
  if (key.modifier & MODIFIER_COMMAND) event.modifier |= kModifierCommand;
  if (key.modifier & MODIFIER_CONTROL) event.modifier |= kModifierControl;
  return event;
}

} // namespace

AEffGUIEditor::AEffGUIEditor(AudioEffect* effect) : AEffEditor(effect) {
  if (effect) effect->setEditor(this);
  panel = std::make_unique<ORVEL_GUI>(this);
  rect.top = 0;
  rect.left = 0;
  rect.bottom = ORVEL_GUI::kHeight;
  rect.right = ORVEL_GUI::kWidth;
}

AEffGUIEditor::~AEffGUIEditor() { panel.reset(); }

bool AEffGUIEditor::getRect(ERect** ppRect) {
  if (!ppRect) return false;
  *ppRect = &rect;
  return true;
}

bool AEffGUIEditor::open(void* ptr) {
  AEffEditor::open(ptr);
  return panel->open(ptr);
}

void AEffGUIEditor::close() {
  panel->close();
  AEffEditor::close();
}

void AEffGUIEditor::idle() { panel->idle(); }

bool AEffGUIEditor::onKeyDown(VstKeyCode& keyCode) {
  KeyEvent key = toolkitKey(keyCode);
  return panel->onKeyDown(key);
}

bool AEffGUIEditor::onKeyUp(VstKeyCode& keyCode) {
  KeyEvent key = toolkitKey(keyCode);
  return panel->onKeyUp(key);
}

bool AEffGUIEditor::onWheel(float distance) { return panel->onWheel(distance); }

void AEffGUIEditor::setParameter(VstInt32 index, float value) { panel->setParameter(index, value); }

float AEffGUIEditor::getParameter(int index) { return effect ? effect->getParameter(index) : 0.0f; }

void AEffGUIEditor::beginEdit(int index) {
  if (effect) effect->beginEdit(index);
}

void AEffGUIEditor::performEdit(int index, float value) {
  if (effect) effect->setParameterAutomated(index, value);
}

void AEffGUIEditor::endEdit(int index) {
  if (effect) effect->endEdit(index);
}

void AEffGUIEditor::idleHost() {
  if (effect) effect->masterIdle();
}
