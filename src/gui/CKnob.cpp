#include "gui/CKnob.h"

#include "gui/CFrame.h"
#include "gui/KeyEvent.h"

#include <cmath>
#include <numbers>

namespace VSTGUI {
namespace {

// Circular mode: the value range spans 270 degrees, from 135 degrees left of
// straight up (value 0) to 135 degrees right of it (value 1).
constexpr double kHalfSweep = 0.75 * std::numbers::pi;

} // namespace

CKnob::CKnob(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background)
    : CControl(size, listener, tag, background) {}

float CKnob::valueFromPoint(const CPoint& point) const {
  const double cx = size.getWidth() / 2.0;
  const double cy = size.getHeight() / 2.0;
  // Angle from straight up, clockwise positive, in -pi..pi.
  const double angle = std::atan2(point.x - cx, cy - point.y);
  double v = (angle + kHalfSweep) / (2.0 * kHalfSweep);
  // In the gap below the knob, take the nearer end.
  if (v < 0.0 || v > 1.0) v = angle < 0.0 ? 0.0 : 1.0;
  return static_cast<float>(vmin + v * (vmax - vmin));
}

void CKnob::userSetValue(float val) {
  const float old = getValue();
  setValue(val);
  if (getValue() != old) valueChanged();
}

CMouseEventResult CKnob::onMouseDown(CPoint& where, const CButtonState& buttons) {
  if (!buttons.isLeftButton()) return kMouseEventNotHandled;

  beginEdit();
  if (checkDefaultValue(buttons)) {
    endEdit();
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
  }

  // The frame's mode applies; Alt at the press picks the other one.
  const bool frameLinear = frame && frame->getKnobMode() == kLinearMode;
  const bool alt = (buttons & kAlt) != 0;
  modeLinear = frameLinear != alt;

  tracking = true;
  firstPoint = where;
  lastPoint = where;
  oldButtons = buttons;
  entryValue = getValue();
  CCoord range = kLinearRange;
  if (buttons & kZoomModifier) range *= zoomFactor;
  coef = static_cast<float>((vmax - vmin) / range);
  if (!modeLinear) {
    CPoint local(where.x - size.left, where.y - size.top);
    startValue = valueFromPoint(local);
  }
  return kMouseEventHandled;
}

CMouseEventResult CKnob::onMouseMoved(CPoint& where, const CButtonState& buttons) {
  if (!tracking || !buttons.isLeftButton()) return kMouseEventNotHandled;
  if (where == lastPoint) return kMouseEventHandled;
  lastPoint = where;

  if (modeLinear) {
    // Up and right both increase the value.
    const CCoord diff = (firstPoint.y - where.y) + (where.x - firstPoint.x);
    if ((buttons & kZoomModifier) != (oldButtons & kZoomModifier)) {
      // Shift pressed or released mid-drag: change the scale without a jump.
      CCoord range = kLinearRange;
      if (buttons & kZoomModifier) range *= zoomFactor;
      const float newCoef = static_cast<float>((vmax - vmin) / range);
      entryValue += static_cast<float>(diff * (coef - newCoef));
      coef = newCoef;
    }
    oldButtons = buttons;
    userSetValue(static_cast<float>(entryValue + diff * coef));
  } else {
    CPoint local(where.x - size.left, where.y - size.top);
    float v = valueFromPoint(local);
    // A move across the gap at the bottom does not jump to the other end.
    const float middle = (vmax - vmin) * 0.5f;
    if (startValue - v > middle)
      v = vmax;
    else if (v - startValue > middle)
      v = vmin;
    else
      startValue = v;
    userSetValue(v);
  }
  return kMouseEventHandled;
}

CMouseEventResult CKnob::onMouseUp(CPoint&, const CButtonState&) {
  if (!tracking) return kMouseEventNotHandled;
  tracking = false;
  endEdit();
  return kMouseEventHandled;
}

bool CKnob::onWheel(const CPoint&, float distance, const CButtonState& buttons) {
  if (!mouseEnabled) return false;
  float step = distance * wheelInc;
  if (buttons & kZoomModifier) step *= 0.1f;
  const float old = getValue();
  setValue(old + step);
  if (getValue() != old) {
    beginEdit();
    valueChanged();
    endEdit();
  }
  return true;
}

int32_t CKnob::onKeyDown(KeyEvent& keyCode) {
  float step = 0.0f;
  switch (keyCode.virt) {
  case kKeyUp:
  case kKeyRight: step = wheelInc; break;
  case kKeyDown:
  case kKeyLeft: step = -wheelInc; break;
  default: return -1;
  }
  if (keyCode.modifier & kModifierShift) step *= 0.1f;
  const float old = getValue();
  setValue(old + step);
  if (getValue() != old) {
    beginEdit();
    valueChanged();
    endEdit();
  }
  return 1;
}

} // namespace VSTGUI
