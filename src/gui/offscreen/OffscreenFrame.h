// A frame that draws into memory only: used when there is no parent window,
// by tests and by the snapshot tool.
#pragma once

#include "gui/cairo/CairoGraphics.h"
#include "gui/platform/Platform.h"

#include <memory>

namespace VSTGUI {

class OffscreenFrame : public IPlatformFrame {
public:
  explicit OffscreenFrame(const CRect& size);

  CDrawContext* beginDraw(const CRect& area) override { return buffer.begin(area); }
  void endDraw(const CRect&) override { buffer.end(); }
  void pumpEvents() override {}
  void dispatchPaint() override {}
  bool getCurrentMouseLocation(CPoint&) override { return false; }
  CButtonState getCurrentMouseButtons() override { return {}; }
  PixelImage copyImage() const override { return buffer.copyImage(); }
  uintptr_t getNativeHandle() const override { return 0; }

private:
  CairoBackBuffer buffer;
};

} // namespace VSTGUI
