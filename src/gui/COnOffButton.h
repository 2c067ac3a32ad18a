// Two-state switch: the background holds the "off" image above the "on" image.
// A click (or Return while focused) toggles between exactly 0 and 1.
#pragma once

#include "gui/CControl.h"

namespace VSTGUI {

class COnOffButton : public CControl {
public:
  COnOffButton(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background,
               int32_t style = 0);

  void draw(CDrawContext* context) override;
  CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
  int32_t onKeyDown(KeyEvent& keyCode) override;

private:
  void toggle();

  int32_t style;
};

} // namespace VSTGUI
