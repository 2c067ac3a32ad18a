// Where views draw. A backend implements the drawing operations for its
// graphics library; the state setters are shared.
#pragma once

#include "gui/CFontDesc.h"
#include "gui/CGraphicsTypes.h"

namespace VSTGUI {

class CBitmap;

class CDrawContext {
public:
  virtual ~CDrawContext() = default;

  // Draws the part of the bitmap that starts at offset into dest, blended over
  // what is there through the bitmap's alpha and the extra alpha (0..1).
  virtual void drawBitmap(CBitmap* bitmap, const CRect& dest, const CPoint& offset = CPoint(),
                          float alpha = 1.0f) = 0;
  virtual void drawRect(const CRect& rect, CDrawStyle style = kDrawStroked) = 0;
  virtual void drawString(const char* text, const CRect& rect,
                          CHoriTxtAlign align = kCenterText) = 0;

  void setFillColor(const CColor& color) { fillColor = color; }
  void setFrameColor(const CColor& color) { frameColor = color; }
  void setFontColor(const CColor& color) { fontColor = color; }
  void setFont(CFontRef newFont) { font = newFont; }
  const CColor& getFillColor() const { return fillColor; }
  const CColor& getFrameColor() const { return frameColor; }
  const CColor& getFontColor() const { return fontColor; }
  CFontRef getFont() const { return font; }

protected:
  CColor fillColor = kWhiteCColor;
  CColor frameColor = kBlackCColor;
  CColor fontColor = kWhiteCColor;
  CFontRef font = nullptr;
};

} // namespace VSTGUI
