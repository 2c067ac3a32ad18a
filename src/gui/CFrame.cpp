#include "gui/CFrame.h"

#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"
#include "gui/KeyEvent.h"
#include "gui/VSTGUIEditorInterface.h"

#include <algorithm>

namespace VSTGUI {

CFrame::CFrame(const CRect& size, VSTGUIEditorInterface* editor) : CView(size), editor(editor) {
  frame = this;
}

CFrame::CFrame(const CRect& size, void* systemWindow, VSTGUIEditorInterface* editor)
    : CFrame(size, editor) {
  open(systemWindow);
}

CFrame::~CFrame() {
  close();
  mouseDownView = nullptr;
  focusView = nullptr;
  for (CView* view : views) {
    view->removed();
    view->forget();
  }
  views.clear();
  // The frame is not its own child: the base destructor must not see it as attached.
  frame = nullptr;
}

bool CFrame::open(void* systemWindow) {
  if (platformFrame) return false;
  platformFrame = platform::createFrame(this, systemWindow, size);
  fullRedraw = true;
  return platformFrame != nullptr;
}

void CFrame::close() {
  mouseDownView = nullptr;
  platformFrame.reset();
}

void CFrame::setBackground(CBitmap* bitmap) {
  CView::setBackground(bitmap);
  fullRedraw = true;
}

bool CFrame::addView(CView* view) {
  if (!view || view == this) return false;
  views.push_back(view);
  view->attached(this);
  view->setDirty();
  return true;
}

bool CFrame::removeView(CView* view, bool withForget) {
  auto it = std::find(views.begin(), views.end(), view);
  if (it == views.end()) return false;
  if (mouseDownView == view) mouseDownView = nullptr;
  if (focusView == view) focusView = nullptr;
  views.erase(it);
  view->removed();
  fullRedraw = true;
  if (withForget) view->forget();
  return true;
}

CView* CFrame::getView(int32_t index) const {
  return index >= 0 && index < getNbViews() ? views[static_cast<std::size_t>(index)] : nullptr;
}

CView* CFrame::getViewAt(const CPoint& where) const {
  for (auto it = views.rbegin(); it != views.rend(); ++it) {
    CView* view = *it;
    if (view->isVisible() && view->getMouseEnabled() && view->hitTest(where)) return view;
  }
  return nullptr;
}

void CFrame::drawViews(CDrawContext* context, const CRect& area) {
  if (background) background->draw(context, area, area.getTopLeft());
  for (CView* view : views)
    if (view->isVisible() && view->getViewSize().rectOverlap(area)) view->draw(context);
}

void CFrame::draw(CDrawContext* context) { drawViews(context, size); }

void CFrame::drawRect(const CRect& area) {
  if (!platformFrame) return;
  CRect bounded = area;
  bounded.bound(CRect(0, 0, size.getWidth(), size.getHeight()));
  if (bounded.isEmpty()) return;
  if (CDrawContext* context = platformFrame->beginDraw(bounded)) {
    drawViews(context, bounded);
    platformFrame->endDraw(bounded);
  }
}

void CFrame::idle() {
  if (!platformFrame) return;
  platformFrame->pumpEvents();
  if (fullRedraw) {
    fullRedraw = false;
    for (CView* view : views)
      view->setDirty(false);
    drawRect(CRect(0, 0, size.getWidth(), size.getHeight()));
    return;
  }
  for (CView* view : views) {
    // Lower the flag before drawing: a value set meanwhile raises it again and
    // is drawn at the next idle, so the latest value is always shown.
    if (view->isDirty()) {
      view->setDirty(false);
      drawRect(view->getViewSize());
    }
  }
}

CMouseEventResult CFrame::onMouseDown(CPoint& where, const CButtonState& buttons) {
  lastMouse = where;
  lastButtons = buttons;
  mouseDownView = nullptr;
  for (auto it = views.rbegin(); it != views.rend(); ++it) {
    CView* view = *it;
    if (!view->isVisible() || !view->getMouseEnabled() || !view->hitTest(where, buttons)) continue;
    const CMouseEventResult result = view->onMouseDown(where, buttons);
    if (result == kMouseEventHandled) {
      mouseDownView = view;
      return result;
    }
    if (result == kMouseDownEventHandledButDontNeedMovedOrUpEvents) return result;
  }
  return kMouseEventNotHandled;
}

CMouseEventResult CFrame::onMouseMoved(CPoint& where, const CButtonState& buttons) {
  lastMouse = where;
  lastButtons = buttons;
  if (mouseDownView) return mouseDownView->onMouseMoved(where, buttons);
  return kMouseEventNotHandled;
}

CMouseEventResult CFrame::onMouseUp(CPoint& where, const CButtonState& buttons) {
  lastMouse = where;
  lastButtons = buttons;
  if (!mouseDownView) return kMouseEventNotHandled;
  CView* view = mouseDownView;
  mouseDownView = nullptr;
  return view->onMouseUp(where, buttons);
}

bool CFrame::onWheel(const CPoint& where, float distance, const CButtonState& buttons) {
  lastMouse = where;
  if (mouseDownView) return false; // not while a drag runs
  CView* view = getViewAt(where);
  return view ? view->onWheel(where, distance, buttons) : false;
}

int32_t CFrame::onKeyDown(KeyEvent& keyCode) {
  int32_t result = -1;
  if (focusView) result = focusView->onKeyDown(keyCode);
  if (result == -1 && keyCode.virt == kKeyTab) {
    const bool reverse = (keyCode.modifier & kModifierShift) != 0;
    if (advanceNextFocusView(reverse)) result = 1;
  }
  return result;
}

int32_t CFrame::onKeyUp(KeyEvent& keyCode) { return focusView ? focusView->onKeyUp(keyCode) : -1; }

void CFrame::setFocusView(CView* view) {
  if (view && std::find(views.begin(), views.end(), view) == views.end()) return;
  focusView = view;
}

bool CFrame::advanceNextFocusView(bool reverse) {
  const auto count = static_cast<int32_t>(views.size());
  if (count == 0) return false;
  int32_t start = -1;
  for (int32_t i = 0; i < count; ++i)
    if (views[static_cast<std::size_t>(i)] == focusView) start = i;
  for (int32_t step = 1; step <= count; ++step) {
    int32_t i = start < 0 ? (reverse ? count - step : step - 1)
                          : ((start + (reverse ? -step : step)) % count + count) % count;
    CView* view = views[static_cast<std::size_t>(i)];
    if (view->getWantsFocus() && view->isVisible()) {
      focusView = view;
      return true;
    }
  }
  return false;
}

bool CFrame::getCurrentMouseLocation(CPoint& where) const {
  if (platformFrame && platformFrame->getCurrentMouseLocation(where)) return true;
  where = lastMouse;
  return true;
}

CButtonState CFrame::getCurrentMouseButtons() const {
  return platformFrame && platformFrame->getNativeHandle() ? platformFrame->getCurrentMouseButtons()
                                                           : lastButtons;
}

int32_t CFrame::getKnobMode() const { return editor ? editor->getKnobMode() : kCircularMode; }

void CFrame::beginEdit(int32_t index) {
  if (editor) editor->beginEdit(index);
}

void CFrame::endEdit(int32_t index) {
  if (editor) editor->endEdit(index);
}

void CFrame::doIdleStuff() {
  if (editor) editor->doIdleStuff();
}

} // namespace VSTGUI
