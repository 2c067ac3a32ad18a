// A line of text on an optional filled and framed background. It takes no mouse input.
#pragma once

#include "gui/CControl.h"
#include "gui/CFontDesc.h"

#include <string>

namespace VSTGUI {

class CTextLabel : public CControl {
public:
  explicit CTextLabel(const CRect& size, const char* text = nullptr, CBitmap* background = nullptr);
  ~CTextLabel() override;

  void setText(const char* text);
  const char* getText() const { return text.c_str(); }

  void setFont(CFontRef font);
  CFontRef getFont() const { return font; }
  void setFontColor(const CColor& color) { fontColor = color; }
  void setBackColor(const CColor& color) { backColor = color; }
  void setFrameColor(const CColor& color) { frameColor = color; }
  const CColor& getFontColor() const { return fontColor; }
  const CColor& getBackColor() const { return backColor; }
  const CColor& getFrameColor() const { return frameColor; }
  void setHoriAlign(CHoriTxtAlign align) { horiAlign = align; }

  void draw(CDrawContext* context) override;
  bool hitTest(const CPoint& where, const CButtonState& buttons) const override;

private:
  std::string text;
  CFontRef font = nullptr;
  CColor fontColor = kWhiteCColor;
  CColor backColor = kBlackCColor;
  CColor frameColor = kBlackCColor;
  CHoriTxtAlign horiAlign = kCenterText;
};

} // namespace VSTGUI
