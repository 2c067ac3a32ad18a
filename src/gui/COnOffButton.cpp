#include "gui/COnOffButton.h"

#include "gui/CBitmap.h"
#include "gui/KeyEvent.h"

namespace VSTGUI {

COnOffButton::COnOffButton(const CRect& size, CControlListener* listener, int32_t tag,
                           CBitmap* background, int32_t style)
    : CControl(size, listener, tag, background), style(style) {}

void COnOffButton::draw(CDrawContext* context) {
  if (!background) return;
  // Lower half ("on") from the middle of the range up.
  const float threshold = vmin + (vmax - vmin) * 0.5f;
  const CCoord off = getValue() >= threshold ? background->getHeight() / 2 : 0;
  background->draw(context, size, CPoint(0, off));
}

void COnOffButton::toggle() {
  // Anything but exactly "on" switches on, so a host value of 0.7 clicks to 1.
  setValue(getValue() == vmax ? vmin : vmax);
  invalid();
  beginEdit();
  valueChanged();
  endEdit();
}

CMouseEventResult COnOffButton::onMouseDown(CPoint&, const CButtonState& buttons) {
  if (!buttons.isLeftButton()) return kMouseEventNotHandled;
  toggle();
  return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

int32_t COnOffButton::onKeyDown(KeyEvent& keyCode) {
  if (keyCode.modifier != 0 || keyCode.virt != kKeyReturn) return -1;
  toggle();
  return 1;
}

} // namespace VSTGUI
