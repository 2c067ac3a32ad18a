#include "gui/CTextLabel.h"

#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"

namespace VSTGUI {

CTextLabel::CTextLabel(const CRect& size, const char* txt, CBitmap* background)
    : CControl(size, nullptr, -1, background) {
  setText(txt);
  setFont(kNormalFont);
  setWantsFocus(false);
  setMouseEnabled(false);
}

CTextLabel::~CTextLabel() {
  if (font) font->forget();
}

void CTextLabel::setText(const char* txt) {
  text = txt ? txt : "";
  setDirty();
}

void CTextLabel::setFont(CFontRef newFont) {
  if (newFont == font) return;
  if (newFont) newFont->remember();
  if (font) font->forget();
  font = newFont;
  setDirty();
}

void CTextLabel::draw(CDrawContext* context) {
  if (background) background->draw(context, size);
  if (backColor.alpha) {
    context->setFillColor(backColor);
    context->drawRect(size, kDrawFilled);
  }
  if (frameColor.alpha) {
    context->setFrameColor(frameColor);
    context->drawRect(size, kDrawStroked);
  }
  if (!text.empty() && fontColor.alpha) {
    context->setFont(font);
    context->setFontColor(fontColor);
    context->drawString(text.c_str(), size, horiAlign);
  }
}

bool CTextLabel::hitTest(const CPoint&, const CButtonState&) const { return false; }

} // namespace VSTGUI
