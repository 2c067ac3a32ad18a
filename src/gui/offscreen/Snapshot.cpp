#include "gui/offscreen/Snapshot.h"

#include "gui/cairo/CairoGraphics.h"

#include <cairo.h>
#include <cstring>

namespace VSTGUI::snapshot {

PixelImage capture(const CFrame& frame) {
  IPlatformFrame* platformFrame = frame.getPlatformFrame();
  return platformFrame ? platformFrame->copyImage() : PixelImage{};
}

bool writePng(const PixelImage& image, const std::string& path) {
  if (image.width <= 0 || image.height <= 0) return false;
  cairo_surface_t* surface = createImageSurface(image.width, image.height, image.pixels.data());
  if (!surface) return false;
  const bool ok = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  return ok;
}

PixelImage decode(const unsigned char* data, std::size_t size) {
  PixelImage image;
  auto bitmap = platform::decodeImage(data, size);
  if (!bitmap) return image;
  cairo_surface_t* source = static_cast<CairoBitmap*>(bitmap.get())->getSurface();
  // Convert whatever format the decoder chose to premultiplied ARGB.
  image.width = bitmap->getWidth();
  image.height = bitmap->getHeight();
  cairo_surface_t* surface =
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, image.width, image.height);
  cairo_t* cr = cairo_create(surface);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_surface(cr, source, 0, 0);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  const unsigned char* pixels = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  image.pixels.resize(static_cast<std::size_t>(image.width) * image.height);
  for (int32_t y = 0; y < image.height; ++y)
    std::memcpy(image.pixels.data() + static_cast<std::size_t>(y) * image.width,
                pixels + static_cast<std::ptrdiff_t>(y) * stride,
                static_cast<std::size_t>(image.width) * 4);
  cairo_surface_destroy(surface);
  return image;
}

} // namespace VSTGUI::snapshot
