// cairo implementation of the toolkit's bitmaps and drawing, shared by the
// X11 and the in-memory frames.
#pragma once

#include "gui/CDrawContext.h"
#include "gui/platform/Platform.h"

#include <cairo.h>

namespace VSTGUI {

// A new ARGB32 image surface holding width × height pixels given as 0xAARRGGBB,
// top row first; null when cairo cannot make one.
cairo_surface_t* createImageSurface(int32_t width, int32_t height, const uint32_t* pixels);

class CairoBitmap : public IPlatformBitmap {
public:
  // Takes over the surface (an ARGB32 image surface).
  explicit CairoBitmap(cairo_surface_t* surface) : surface(surface) {}
  ~CairoBitmap() override { cairo_surface_destroy(surface); }

  CairoBitmap(const CairoBitmap&) = delete;
  CairoBitmap& operator=(const CairoBitmap&) = delete;

  int32_t getWidth() const override { return cairo_image_surface_get_width(surface); }
  int32_t getHeight() const override { return cairo_image_surface_get_height(surface); }
  cairo_surface_t* getSurface() const { return surface; }

private:
  cairo_surface_t* surface;
};

class CairoDrawContext : public CDrawContext {
public:
  explicit CairoDrawContext(cairo_t* cr) : cr(cr) {}

  void drawBitmap(CBitmap* bitmap, const CRect& dest, const CPoint& offset, float alpha) override;
  void drawRect(const CRect& rect, CDrawStyle style) override;
  void drawString(const char* text, const CRect& rect, CHoriTxtAlign align) override;

private:
  void setSourceColor(const CColor& color);

  cairo_t* cr;
};

// The frame's back buffer: every redraw goes here first, and the window (if
// any) is updated from it.
class CairoBackBuffer {
public:
  CairoBackBuffer(int32_t width, int32_t height);
  ~CairoBackBuffer();

  CairoBackBuffer(const CairoBackBuffer&) = delete;
  CairoBackBuffer& operator=(const CairoBackBuffer&) = delete;

  // A context clipped to area; valid until end().
  CDrawContext* begin(const CRect& area);
  void end();
  cairo_surface_t* getSurface() const { return surface; }
  PixelImage copyImage() const;

private:
  cairo_surface_t* surface;
  cairo_t* cr = nullptr;
  CairoDrawContext* context = nullptr;
};

} // namespace VSTGUI
