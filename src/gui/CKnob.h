// Rotary knob behaviour: mouse drags (linear or circular), the default-value
// gesture, the wheel and the arrow keys. Drawing is left to subclasses.
#pragma once

#include "gui/CControl.h"

namespace VSTGUI {

class CKnob : public CControl {
public:
  // Mouse distance in pixels that covers the whole range in linear mode.
  static constexpr CCoord kLinearRange = 200.0;

  CKnob(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background);

  CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
  CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
  CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
  bool onWheel(const CPoint& where, float distance, const CButtonState& buttons) override;
  int32_t onKeyDown(KeyEvent& keyCode) override;

  // How much finer Shift makes a drag or a wheel step.
  void setZoomFactor(float val) { zoomFactor = val; }
  float getZoomFactor() const { return zoomFactor; }
  void setWheelInc(float val) { wheelInc = val; }
  float getWheelInc() const { return wheelInc; }

  // The value a point (relative to the view's top-left corner) stands for in
  // circular mode: straight up is the middle, 135 degrees either side the ends.
  float valueFromPoint(const CPoint& point) const;

private:
  // Sets the value from a user gesture; tells the listener if it moved.
  void userSetValue(float val);

  float zoomFactor = 1.5f;
  float wheelInc = 0.1f;

  // Drag state, valid between a press and its release.
  bool tracking = false;
  bool modeLinear = false;
  CPoint firstPoint;
  CPoint lastPoint;
  float entryValue = 0.0f;
  float coef = 0.0f;
  float startValue = 0.0f;
  CButtonState oldButtons;
};

} // namespace VSTGUI
