// Geometry, colour and input-state types of the toolkit. Coordinates are
// pixels; rectangles are (left, top, right, bottom) with right and bottom
// exclusive.
#pragma once

#include <algorithm>
#include <cstdint>

namespace VSTGUI {

using CCoord = double;

struct CPoint {
  CCoord x = 0;
  CCoord y = 0;

  constexpr CPoint() = default;
  constexpr CPoint(CCoord x, CCoord y) : x(x), y(y) {}

  CPoint& offset(CCoord dx, CCoord dy) {
    x += dx;
    y += dy;
    return *this;
  }
  constexpr bool operator==(const CPoint&) const = default;
};

struct CRect {
  CCoord left = 0;
  CCoord top = 0;
  CCoord right = 0;
  CCoord bottom = 0;

  constexpr CRect() = default;
  constexpr CRect(CCoord left, CCoord top, CCoord right, CCoord bottom)
      : left(left), top(top), right(right), bottom(bottom) {}

  constexpr CCoord getWidth() const { return right - left; }
  constexpr CCoord getHeight() const { return bottom - top; }
  constexpr CPoint getTopLeft() const { return {left, top}; }
  constexpr bool isEmpty() const { return right <= left || bottom <= top; }

  CRect& setWidth(CCoord width) {
    right = left + width;
    return *this;
  }
  CRect& setHeight(CCoord height) {
    bottom = top + height;
    return *this;
  }
  CRect& offset(CCoord dx, CCoord dy) {
    left += dx;
    right += dx;
    top += dy;
    bottom += dy;
    return *this;
  }
  constexpr bool pointInside(const CPoint& p) const {
    return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
  }
  constexpr bool rectOverlap(const CRect& r) const {
    return r.left < right && left < r.right && r.top < bottom && top < r.bottom;
  }
  CRect& bound(const CRect& r) {
    left = std::max(left, r.left);
    top = std::max(top, r.top);
    right = std::max(left, std::min(right, r.right));
    bottom = std::max(top, std::min(bottom, r.bottom));
    return *this;
  }
  constexpr bool operator==(const CRect&) const = default;
};

struct CColor {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  uint8_t alpha = 255;

  constexpr CColor() = default;
  constexpr CColor(uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha = 255)
      : red(red), green(green), blue(blue), alpha(alpha) {}
  constexpr bool operator==(const CColor&) const = default;
};

constexpr CColor MakeCColor(uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha = 255) {
  return CColor(red, green, blue, alpha);
}

inline constexpr CColor kTransparentCColor(255, 255, 255, 0);
inline constexpr CColor kBlackCColor(0, 0, 0, 255);
inline constexpr CColor kWhiteCColor(255, 255, 255, 255);

// Mouse buttons and modifier keys held during an event.
enum CButton : int32_t {
  kLButton = 1 << 1,
  kMButton = 1 << 2,
  kRButton = 1 << 3,
  kShift = 1 << 4,
  kControl = 1 << 5,
  kAlt = 1 << 6,
  kApple = 1 << 7,
  kDoubleClick = 1 << 10,
};

// Shift makes knob drags and wheel steps finer; Control-click restores a control's default.
inline constexpr int32_t kZoomModifier = kShift;
inline constexpr int32_t kDefaultValueModifier = kControl;

class CButtonState {
public:
  constexpr CButtonState(int32_t state = 0) : state(state) {}

  constexpr int32_t getButtonState() const { return state & (kLButton | kMButton | kRButton); }
  constexpr int32_t getModifierState() const { return state & (kShift | kControl | kAlt | kApple); }
  // The left button and no other.
  constexpr bool isLeftButton() const { return getButtonState() == kLButton; }
  constexpr bool isRightButton() const { return (state & kRButton) != 0; }
  constexpr bool isDoubleClick() const { return (state & kDoubleClick) != 0; }
  constexpr int32_t operator&(int32_t mask) const { return state & mask; }
  constexpr int32_t operator()() const { return state; }
  constexpr bool operator==(const CButtonState&) const = default;

private:
  int32_t state;
};

enum CMouseEventResult {
  kMouseEventNotImplemented = 0,
  kMouseEventHandled,
  kMouseEventNotHandled,
  kMouseDownEventHandledButDontNeedMovedOrUpEvents,
};

// How knobs follow the mouse: around their centre, or by straight-line distance.
enum CKnobMode : int32_t {
  kCircularMode = 0,
  kRelativCircularMode,
  kLinearMode,
};

enum CDrawStyle { kDrawStroked = 0, kDrawFilled, kDrawFilledAndStroked };

enum CHoriTxtAlign { kLeftText = 0, kCenterText, kRightText };

enum CTxtFace : int32_t { kNormalFace = 0, kBoldFace = 1 << 1, kItalicFace = 1 << 2 };

} // namespace VSTGUI
