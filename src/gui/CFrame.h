// The top view: owns the views placed on it and the background, sits on the
// host's parent window (or in memory when there is none), hands mouse, wheel
// and key events to the views, and at idle redraws the views whose dirty flag
// is up. Edit announcements from controls go on to the editor.
// Threads: user-interface thread only (views' dirty flags may be raised from any thread).
#pragma once

#include "gui/CView.h"
#include "gui/platform/Platform.h"

#include <memory>
#include <vector>

namespace VSTGUI {

class VSTGUIEditorInterface;

class CFrame : public CView {
public:
  CFrame(const CRect& size, VSTGUIEditorInterface* editor);
  // Opens on the parent window right away (when it is not null).
  CFrame(const CRect& size, void* systemWindow, VSTGUIEditorInterface* editor);
  ~CFrame() override;

  // Places the frame on the parent window; with a null window it draws into memory only.
  bool open(void* systemWindow);
  void close();
  bool isOpen() const { return platformFrame != nullptr; }

  void setBackground(CBitmap* bitmap);

  // The frame takes over the caller's reference.
  bool addView(CView* view);
  bool removeView(CView* view, bool withForget = true);
  int32_t getNbViews() const { return static_cast<int32_t>(views.size()); }
  CView* getView(int32_t index) const;
  // The topmost visible view that takes a click at where, or null.
  CView* getViewAt(const CPoint& where) const;

  // Reads pending window-system events, then redraws what changed.
  void idle();
  // Draws everything inside area now.
  void drawRect(const CRect& area);
  void draw(CDrawContext* context) override;
  // Redraws everything at the next idle.
  void invalidate() { fullRedraw = true; }

  CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
  CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
  CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
  bool onWheel(const CPoint& where, float distance, const CButtonState& buttons) override;
  int32_t onKeyDown(KeyEvent& keyCode) override;
  int32_t onKeyUp(KeyEvent& keyCode) override;

  void setFocusView(CView* view);
  CView* getFocusView() const { return focusView; }
  // Moves the focus to the next (or previous) view that wants it; false when there is none.
  bool advanceNextFocusView(bool reverse = false);

  bool getCurrentMouseLocation(CPoint& where) const;
  CButtonState getCurrentMouseButtons() const;

  VSTGUIEditorInterface* getEditor() const { return editor; }
  int32_t getKnobMode() const;
  void beginEdit(int32_t index);
  void endEdit(int32_t index);
  void doIdleStuff();

  IPlatformFrame* getPlatformFrame() const { return platformFrame.get(); }

private:
  void drawViews(CDrawContext* context, const CRect& area);

  VSTGUIEditorInterface* editor;
  std::unique_ptr<IPlatformFrame> platformFrame;
  std::vector<CView*> views;
  CView* mouseDownView = nullptr;
  CView* focusView = nullptr;
  CPoint lastMouse;
  CButtonState lastButtons;
  bool fullRedraw = true;
};

} // namespace VSTGUI
