// Base of everything placed on a frame: a rectangle, a smaller rectangle that
// takes the mouse, and a dirty flag the frame drains at idle to redraw.
// Threads: the dirty flag may be raised from any thread; everything else
// belongs to the user-interface thread.
#pragma once

#include "gui/CBaseObject.h"
#include "gui/CGraphicsTypes.h"
#include "gui/KeyEvent.h"

#include <atomic>

namespace VSTGUI {

class CBitmap;
class CDrawContext;
class CFrame;

class CView : public CBaseObject {
public:
  explicit CView(const CRect& size);
  ~CView() override;

  virtual void draw(CDrawContext* context);

  virtual CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons);
  virtual CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons);
  virtual CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons);
  virtual bool onWheel(const CPoint& where, float distance, const CButtonState& buttons);
  // 1 when the key was used, -1 otherwise.
  virtual int32_t onKeyDown(KeyEvent& keyCode);
  virtual int32_t onKeyUp(KeyEvent& keyCode);

  // Whether a click at where (frame coordinates) belongs to this view.
  virtual bool hitTest(const CPoint& where, const CButtonState& buttons = CButtonState()) const;

  const CRect& getViewSize() const { return size; }
  void setViewSize(const CRect& rect) {
    size = rect;
    mouseableArea = rect;
    setDirty();
  }
  void setMouseableArea(const CRect& rect) { mouseableArea = rect; }
  const CRect& getMouseableArea() const { return mouseableArea; }

  void setMouseEnabled(bool state) { mouseEnabled = state; }
  bool getMouseEnabled() const { return mouseEnabled; }
  void setVisible(bool state);
  bool isVisible() const { return visible; }
  void setWantsFocus(bool state) { wantsFocus = state; }
  bool getWantsFocus() const { return wantsFocus; }

  virtual void setDirty(bool state = true) { dirty.store(state, std::memory_order_release); }
  virtual bool isDirty() const { return dirty.load(std::memory_order_acquire); }
  // Asks for a redraw at the frame's next idle.
  void invalid() { setDirty(true); }

  // The background bitmap the view draws from (held with one reference).
  void setBackground(CBitmap* bitmap);
  CBitmap* getBackground() const { return background; }

  CFrame* getFrame() const { return frame; }
  // Called by the frame when the view is added or removed.
  virtual void attached(CFrame* parent) { frame = parent; }
  virtual void removed() { frame = nullptr; }

protected:
  CRect size;
  CRect mouseableArea;
  CBitmap* background = nullptr;
  CFrame* frame = nullptr;
  bool mouseEnabled = true;
  bool visible = true;
  bool wantsFocus = false;

private:
  std::atomic<bool> dirty{true};
};

} // namespace VSTGUI
