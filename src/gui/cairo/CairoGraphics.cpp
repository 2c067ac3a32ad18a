#include "gui/cairo/CairoGraphics.h"

#include "gui/CBitmap.h"
#include "gui/cairo/BmpDecoder.h"

#include <cstring>

namespace VSTGUI {
namespace {

struct PngReader {
  const unsigned char* data;
  std::size_t size;
  std::size_t position;
};

cairo_status_t readPng(void* closure, unsigned char* out, unsigned int length) {
  auto* reader = static_cast<PngReader*>(closure);
  if (length > reader->size - reader->position) return CAIRO_STATUS_READ_ERROR;
  std::memcpy(out, reader->data + reader->position, length);
  reader->position += length;
  return CAIRO_STATUS_SUCCESS;
}

bool looksLikePng(const unsigned char* data, std::size_t size) {
  static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return size >= sizeof signature && std::memcmp(data, signature, sizeof signature) == 0;
}

cairo_surface_t* surfaceFromBmp(const unsigned char* data, std::size_t size) {
  bmp::Image image;
  if (!bmp::decode(data, size, image)) return nullptr;
  return createImageSurface(image.width, image.height, image.pixels.data());
}

} // namespace

cairo_surface_t* createImageSurface(int32_t width, int32_t height, const uint32_t* pixels) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return nullptr;
  }
  cairo_surface_flush(surface);
  unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int32_t y = 0; y < height; ++y)
    std::memcpy(data + static_cast<std::ptrdiff_t>(y) * stride,
                pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(width),
                static_cast<std::size_t>(width) * 4);
  cairo_surface_mark_dirty(surface);
  return surface;
}

namespace platform {

std::unique_ptr<IPlatformBitmap> decodeImage(const unsigned char* data, std::size_t size) {
  if (!data || size == 0) return nullptr;
  cairo_surface_t* surface = nullptr;
  if (looksLikePng(data, size)) {
    PngReader reader{data, size, 0};
    surface = cairo_image_surface_create_from_png_stream(readPng, &reader);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(surface);
      surface = nullptr;
    }
  } else if (bmp::looksLikeBmp(data, size)) {
    surface = surfaceFromBmp(data, size);
  }
  if (!surface) return nullptr;
  return std::make_unique<CairoBitmap>(surface);
}

} // namespace platform

void CairoDrawContext::setSourceColor(const CColor& color) {
  cairo_set_source_rgba(cr, color.red / 255.0, color.green / 255.0, color.blue / 255.0,
                        color.alpha / 255.0);
}

void CairoDrawContext::drawBitmap(CBitmap* bitmap, const CRect& dest, const CPoint& offset,
                                  float alpha) {
  auto* platformBitmap = bitmap ? static_cast<CairoBitmap*>(bitmap->getPlatformBitmap()) : nullptr;
  if (!platformBitmap || dest.isEmpty()) return;
  cairo_save(cr);
  cairo_rectangle(cr, dest.left, dest.top, dest.getWidth(), dest.getHeight());
  cairo_clip(cr);
  cairo_set_source_surface(cr, platformBitmap->getSurface(), dest.left - offset.x,
                           dest.top - offset.y);
  // Whole-pixel placement: no resampling blur at the strip's frame edges.
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  if (alpha >= 1.0f)
    cairo_paint(cr);
  else
    cairo_paint_with_alpha(cr, alpha);
  cairo_restore(cr);
}

void CairoDrawContext::drawRect(const CRect& rect, CDrawStyle style) {
  if (rect.isEmpty()) return;
  if (style != kDrawStroked) {
    setSourceColor(fillColor);
    cairo_rectangle(cr, rect.left, rect.top, rect.getWidth(), rect.getHeight());
    cairo_fill(cr);
  }
  if (style != kDrawFilled) {
    setSourceColor(frameColor);
    cairo_set_line_width(cr, 1.0);
    // Half-pixel inset puts the one-pixel line on the rectangle's edge pixels.
    cairo_rectangle(cr, rect.left + 0.5, rect.top + 0.5, rect.getWidth() - 1.0,
                    rect.getHeight() - 1.0);
    cairo_stroke(cr);
  }
}

void CairoDrawContext::drawString(const char* text, const CRect& rect, CHoriTxtAlign align) {
  if (!text || !*text || rect.isEmpty()) return;
  cairo_save(cr);
  cairo_rectangle(cr, rect.left, rect.top, rect.getWidth(), rect.getHeight());
  cairo_clip(cr);
  const bool bold = font && (font->getStyle() & kBoldFace);
  const bool italic = font && (font->getStyle() & kItalicFace);
  cairo_select_font_face(cr, font ? font->getName().c_str() : "sans-serif",
                         italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                         bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, font ? font->getSize() : 12.0);
  cairo_text_extents_t extents;
  cairo_text_extents(cr, text, &extents);
  double x = rect.left;
  if (align == kCenterText)
    x = rect.left + (rect.getWidth() - extents.x_advance) / 2.0;
  else if (align == kRightText)
    x = rect.right - extents.x_advance;
  const double y = rect.top + (rect.getHeight() - extents.height) / 2.0 - extents.y_bearing;
  setSourceColor(fontColor);
  cairo_move_to(cr, x, y);
  cairo_show_text(cr, text);
  cairo_restore(cr);
}

CairoBackBuffer::CairoBackBuffer(int32_t width, int32_t height)
    : surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width > 0 ? width : 0,
                                         height > 0 ? height : 0)) {}

CairoBackBuffer::~CairoBackBuffer() {
  end();
  cairo_surface_destroy(surface);
}

CDrawContext* CairoBackBuffer::begin(const CRect& area) {
  end();
  cr = cairo_create(surface);
  cairo_rectangle(cr, area.left, area.top, area.getWidth(), area.getHeight());
  cairo_clip(cr);
  // Start from nothing: views with transparent parts must not blend over
  // what the area showed before.
  cairo_save(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
  cairo_paint(cr);
  cairo_restore(cr);
  context = new CairoDrawContext(cr);
  return context;
}

void CairoBackBuffer::end() {
  delete context;
  context = nullptr;
  if (cr) {
    cairo_destroy(cr);
    cr = nullptr;
    cairo_surface_flush(surface);
  }
}

PixelImage CairoBackBuffer::copyImage() const {
  PixelImage image;
  cairo_surface_flush(surface);
  image.width = cairo_image_surface_get_width(surface);
  image.height = cairo_image_surface_get_height(surface);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  image.pixels.resize(static_cast<std::size_t>(image.width) * image.height);
  for (int32_t y = 0; y < image.height && data; ++y)
    std::memcpy(image.pixels.data() + static_cast<std::size_t>(y) * image.width,
                data + static_cast<std::ptrdiff_t>(y) * stride,
                static_cast<std::size_t>(image.width) * 4);
  return image;
}

} // namespace VSTGUI
