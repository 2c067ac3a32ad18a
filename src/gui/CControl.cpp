#include "gui/CControl.h"

#include "gui/CBitmap.h"
#include "gui/CFrame.h"

#include <cmath>

namespace VSTGUI {

CControl::CControl(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* bg)
    : CView(size), tag(tag), listener(listener) {
  setBackground(bg);
  setWantsFocus(true);
}

float CControl::bounded(float val) const {
  if (val < vmin) return vmin;
  if (val > vmax) return vmax;
  return val;
}

void CControl::setValue(float val) {
  if (std::isnan(val)) return;
  const float v = bounded(val);
  // The value is stored before the dirty flag goes up, so an idle that sees
  // the flag draws this value or a later one.
  if (value.exchange(v, std::memory_order_acq_rel) != v) setDirty(true);
}

void CControl::valueChanged() {
  if (listener) listener->valueChanged(this);
}

void CControl::beginEdit() {
  if (listener) listener->controlBeginEdit(this);
  if (frame) frame->beginEdit(tag);
}

void CControl::endEdit() {
  if (listener) listener->controlEndEdit(this);
  if (frame) frame->endEdit(tag);
}

bool CControl::checkDefaultValue(const CButtonState& buttons) {
  if (!buttons.isLeftButton() || buttons.getModifierState() != kDefaultValueModifier) return false;
  if (getDefaultValue() != getValue()) {
    // An edit of its own, inside the one the press has opened.
    beginEdit();
    setValue(getDefaultValue());
    valueChanged();
    endEdit();
  }
  return true;
}

} // namespace VSTGUI
