#include "gui/AEffGUIEditor.h"

#include "formats/vst2/AudioEffectX.h"
#include "gui/platform/HookState.h"

namespace VSTGUI {

std::atomic<int32_t> AEffGUIEditor::knobMode{kCircularMode};

AEffGUIEditor::AEffGUIEditor(AudioEffect* effect)
    : AEffEditor(effect), lLastTicks(detail::ticks()) {
  if (effect) effect->setEditor(this);
  platform::initializeThread();
}

AEffGUIEditor::~AEffGUIEditor() { platform::uninitializeThread(); }

bool AEffGUIEditor::getRect(ERect** ppRect) {
  if (!ppRect) return false;
  *ppRect = &rect;
  return true;
}

bool AEffGUIEditor::open(void* ptr) { return AEffEditor::open(ptr); }

void AEffGUIEditor::close() { AEffEditor::close(); }

void AEffGUIEditor::idle() {
  if (inIdleStuff) return;
  AEffEditor::idle();
  if (frame) frame->idle();
}

bool AEffGUIEditor::onKeyDown(VstKeyCode& keyCode) {
  return frame ? frame->onKeyDown(keyCode) == 1 : false;
}

bool AEffGUIEditor::onKeyUp(VstKeyCode& keyCode) {
  return frame ? frame->onKeyUp(keyCode) == 1 : false;
}

bool AEffGUIEditor::onWheel(float distance) {
  if (!frame) return false;
  CPoint where;
  frame->getCurrentMouseLocation(where);
  return frame->onWheel(where, distance, frame->getCurrentMouseButtons());
}

bool AEffGUIEditor::setKnobMode(CKnobMode mode) {
  knobMode.store(mode, std::memory_order_relaxed);
  return true;
}

int32_t AEffGUIEditor::getKnobMode() const { return knobMode.load(std::memory_order_relaxed); }

void AEffGUIEditor::doIdleStuff() {
  uint32_t now = detail::ticks();
  // Tick counts wrap; compare by signed distance.
  auto before = [](uint32_t a, uint32_t b) { return static_cast<int32_t>(a - b) < 0; };
  if (before(now, lLastTicks)) {
    detail::sleepMilliseconds(kIdleWait);
    now += kIdleWait;
    if (before(now, lLastTicks - kIdleSlack)) return;
  }
  idle();
  if (frame)
    if (IPlatformFrame* platformFrame = frame->getPlatformFrame()) platformFrame->dispatchPaint();
  lLastTicks = now + kIdleRate;
  inIdleStuff = true;
  if (effect) effect->masterIdle();
  inIdleStuff = false;
}

void AEffGUIEditor::beginEdit(int32_t index) {
  if (effect) effect->beginEdit(index);
}

void AEffGUIEditor::endEdit(int32_t index) {
  if (effect) effect->endEdit(index);
}

bool AEffGUIEditor::beforeSizeChange(const CRect& newSize, const CRect& oldSize) {
  (void)oldSize;
  rect.right = static_cast<VstInt16>(rect.left + newSize.getWidth());
  rect.bottom = static_cast<VstInt16>(rect.top + newSize.getHeight());
  if (!effect) return true;
  auto* effectX = dynamic_cast<AudioEffectX*>(effect);
  char canDo[] = "sizeWindow";
  if (effectX && effectX->canHostDo(canDo))
    return effectX->sizeWindow(static_cast<VstInt32>(newSize.getWidth()),
                               static_cast<VstInt32>(newSize.getHeight()));
  return true;
}

} // namespace VSTGUI
