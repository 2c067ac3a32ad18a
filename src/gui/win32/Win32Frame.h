// A frame on a Win32 parent window: a child window of the host's window, with
// the same size as the frame. The host's message loop delivers its messages
// (mouse, keys, paint) straight to the frame; drawing goes to a back buffer
// that is copied to the window. With no parent window the frame draws into
// memory only.
#pragma once

#include "gui/platform/Platform.h"
#include "gui/win32/Win32Graphics.h"

#include <memory>

namespace VSTGUI {

class Win32Frame : public IPlatformFrame {
public:
  // Null when the parent is not a window or the child window cannot be created.
  static std::unique_ptr<Win32Frame> create(CFrame* frame, HWND parent, const CRect& size);
  ~Win32Frame() override;

  Win32Frame(const Win32Frame&) = delete;
  Win32Frame& operator=(const Win32Frame&) = delete;

  CDrawContext* beginDraw(const CRect& area) override { return buffer.begin(area); }
  void endDraw(const CRect& area) override;
  void pumpEvents() override {}
  void dispatchPaint() override;
  bool getCurrentMouseLocation(CPoint& where) override;
  CButtonState getCurrentMouseButtons() override;
  PixelImage copyImage() const override { return buffer.copyImage(); }
  uintptr_t getNativeHandle() const override { return reinterpret_cast<uintptr_t>(window); }

private:
  Win32Frame(CFrame* frame, const CRect& size);
  bool createWindow(HWND parent);
  static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void onButtonDown(int32_t button, WPARAM wParam, LPARAM lParam);
  void onButtonUp(WPARAM wParam, LPARAM lParam);
  bool onKey(bool down, WPARAM wParam);
  void stopCapture();

  CFrame* frame;
  HWND window = nullptr;
  int32_t width;
  int32_t height;
  Win32BackBuffer buffer;
  // The frame holds the mouse between a button press and its release.
  bool capturing = false;
  CPoint lastMouse;
};

} // namespace VSTGUI
