// GDI+ implementation of the toolkit's bitmaps and drawing on Windows.
// Images are decoded by GDI+ from the bytes of a module resource; the frame
// draws into a 32-bit premultiplied DIB section that is copied to the window.
#pragma once

#include "gui/CDrawContext.h"
#include "gui/platform/Platform.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// GDI+ needs the COM declarations that the lean windows.h leaves out.
#include <gdiplus.h>
#include <objidl.h>

namespace VSTGUI {

namespace gdiplus {
// GDI+ runs while at least one editor exists: started with the first, shut
// down with the last (never from DllMain).
void acquire();
void release();
bool running();
} // namespace gdiplus

// A decoded image. GDI+ may read the stream again for as long as the bitmap
// lives, so the bitmap keeps it.
class Win32Bitmap : public IPlatformBitmap {
public:
  // Takes over one reference to the stream and the bitmap.
  Win32Bitmap(IStream* stream, Gdiplus::Bitmap* bitmap) : stream(stream), bitmap(bitmap) {}
  ~Win32Bitmap() override;

  Win32Bitmap(const Win32Bitmap&) = delete;
  Win32Bitmap& operator=(const Win32Bitmap&) = delete;

  int32_t getWidth() const override { return static_cast<int32_t>(bitmap->GetWidth()); }
  int32_t getHeight() const override { return static_cast<int32_t>(bitmap->GetHeight()); }
  Gdiplus::Bitmap* get() const { return bitmap; }

private:
  IStream* stream;
  Gdiplus::Bitmap* bitmap;
};

class Win32DrawContext : public CDrawContext {
public:
  explicit Win32DrawContext(Gdiplus::Graphics* graphics) : graphics(graphics) {}

  void drawBitmap(CBitmap* bitmap, const CRect& dest, const CPoint& offset, float alpha) override;
  void drawRect(const CRect& rect, CDrawStyle style) override;
  void drawString(const char* text, const CRect& rect, CHoriTxtAlign align) override;

private:
  Gdiplus::Graphics* graphics;
};

// The frame's back buffer: a top-down 32-bit DIB section (premultiplied
// ARGB, the layout of PixelImage) that GDI+ draws into and GDI copies to the
// window from.
class Win32BackBuffer {
public:
  Win32BackBuffer(int32_t width, int32_t height);
  ~Win32BackBuffer();

  Win32BackBuffer(const Win32BackBuffer&) = delete;
  Win32BackBuffer& operator=(const Win32BackBuffer&) = delete;

  // A context clipped to area, which starts out cleared; valid until end(). Null when the
  // buffer is empty.
  CDrawContext* begin(const CRect& area);
  void end();
  // Copies part of the buffer to a device context at the same coordinates.
  void copyTo(HDC target, const RECT& area) const;
  PixelImage copyImage() const;

private:
  int32_t width;
  int32_t height;
  HDC memoryDC = nullptr;
  HBITMAP dib = nullptr;
  HGDIOBJ previousBitmap = nullptr;
  uint32_t* pixels = nullptr;
  Gdiplus::Bitmap* surface = nullptr;
  Gdiplus::Graphics* graphics = nullptr;
  Win32DrawContext* context = nullptr;
};

} // namespace VSTGUI
