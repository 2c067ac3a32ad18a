// A frame on an X11 parent window: a child window on a Display connection of
// its own, opened with the frame and closed with it. Events are read and
// handed to the frame only when the frame idles (the host's editor idle), so
// the toolkit runs no threads of its own. Drawing goes to a back buffer that
// is copied to the window through a cairo xlib surface.
#pragma once

#include "gui/cairo/CairoGraphics.h"
#include "gui/platform/Platform.h"

#include <X11/Xlib.h>
#include <cairo.h>
#include <memory>

namespace VSTGUI {

class X11Frame : public IPlatformFrame {
public:
  // Null when the display cannot be opened or the parent window is not valid.
  static std::unique_ptr<X11Frame> create(CFrame* frame, ::Window parent, const CRect& size);
  ~X11Frame() override;

  CDrawContext* beginDraw(const CRect& area) override { return buffer.begin(area); }
  void endDraw(const CRect& area) override;
  void pumpEvents() override;
  void dispatchPaint() override;
  bool getCurrentMouseLocation(CPoint& where) override;
  CButtonState getCurrentMouseButtons() override;
  PixelImage copyImage() const override { return buffer.copyImage(); }
  uintptr_t getNativeHandle() const override { return window; }

private:
  X11Frame(CFrame* frame, Display* display, const CRect& size);
  bool createWindow(::Window parent);
  void handleEvent(XEvent& event);
  void present(const CRect& area);

  CFrame* frame;
  Display* display;
  ::Window window = 0;
  int32_t width;
  int32_t height;
  // Copies go straight to the window with XPutImage when the visual stores
  // pixels like the back buffer (24-bit true colour); other visuals go
  // through a cairo xlib surface.
  GC gc = nullptr;
  bool directCopy = false;
  int depth = 24;
  cairo_surface_t* windowSurface = nullptr;
  CairoBackBuffer buffer;
};

} // namespace VSTGUI
