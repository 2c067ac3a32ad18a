#include "gui/CView.h"

#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"

namespace VSTGUI {

CView::CView(const CRect& size) : size(size), mouseableArea(size) {}

CView::~CView() {
  if (background) background->forget();
}

void CView::draw(CDrawContext* context) {
  if (background) background->draw(context, size);
}

CMouseEventResult CView::onMouseDown(CPoint&, const CButtonState&) {
  return kMouseEventNotImplemented;
}

CMouseEventResult CView::onMouseMoved(CPoint&, const CButtonState&) {
  return kMouseEventNotImplemented;
}

CMouseEventResult CView::onMouseUp(CPoint&, const CButtonState&) {
  return kMouseEventNotImplemented;
}

bool CView::onWheel(const CPoint&, float, const CButtonState&) { return false; }

int32_t CView::onKeyDown(KeyEvent&) { return -1; }

int32_t CView::onKeyUp(KeyEvent&) { return -1; }

bool CView::hitTest(const CPoint& where, const CButtonState&) const {
  return mouseableArea.pointInside(where);
}

void CView::setVisible(bool state) {
  if (visible != state) {
    visible = state;
    setDirty();
  }
}

void CView::setBackground(CBitmap* bitmap) {
  if (bitmap == background) return;
  if (bitmap) bitmap->remember();
  if (background) background->forget();
  background = bitmap;
  setDirty();
}

} // namespace VSTGUI
