#include "Artwork.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace artwork {

namespace {

void put16(std::vector<unsigned char>& out, unsigned v) {
  out.push_back(static_cast<unsigned char>(v & 255));
  out.push_back(static_cast<unsigned char>((v >> 8) & 255));
}

void put32(std::vector<unsigned char>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i)
    out.push_back(static_cast<unsigned char>((v >> (8 * i)) & 255));
}

unsigned char toByte(double v) {
  return static_cast<unsigned char>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0));
}

} // namespace

bool writeBmp(const Image& image, const std::string& path) {
  constexpr std::uint32_t kFileHeaderSize = 14;
  constexpr std::uint32_t kInfoHeaderSize = 108;  // BITMAPV4HEADER
  constexpr std::uint32_t kPixelsPerMetre = 2835; // 72 dpi
  constexpr std::uint32_t kSrgb = 0x73524742;     // 'sRGB'
  const auto width = static_cast<std::uint32_t>(image.width());
  const auto height = static_cast<std::uint32_t>(image.height());
  const std::uint32_t rowBytes = (width * 3 + 3) / 4 * 4;
  const std::uint32_t imageSize = rowBytes * height;
  const std::uint32_t offset = kFileHeaderSize + kInfoHeaderSize;

  std::vector<unsigned char> out;
  out.reserve(offset + imageSize);
  out.push_back('B');
  out.push_back('M');
  put32(out, offset + imageSize);
  put32(out, 0); // reserved
  put32(out, offset);

  put32(out, kInfoHeaderSize);
  put32(out, width);
  put32(out, height); // positive: bottom row first
  put16(out, 1);      // planes
  put16(out, 24);     // bits per pixel
  put32(out, 0);      // BI_RGB
  put32(out, imageSize);
  put32(out, kPixelsPerMetre);
  put32(out, kPixelsPerMetre);
  put32(out, 0); // colours used
  put32(out, 0); // important colours
  for (int i = 0; i < 4; ++i)
    put32(out, 0); // channel masks, unused with BI_RGB
  put32(out, kSrgb);
  for (int i = 0; i < 9 + 3; ++i)
    put32(out, 0); // endpoints and gamma, unused with sRGB

  for (int y = image.height() - 1; y >= 0; --y) {
    for (int x = 0; x < image.width(); ++x) {
      // The panel is opaque; composite over black in case a pixel is not.
      const Rgba& c = image.at(x, y);
      out.push_back(toByte(c.b));
      out.push_back(toByte(c.g));
      out.push_back(toByte(c.r));
    }
    for (std::uint32_t pad = width * 3; pad < rowBytes; ++pad)
      out.push_back(0);
  }

  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(out.data(), 1, out.size(), file) == out.size();
  return std::fclose(file) == 0 && written;
}

bool writePng(const Image& image, const std::string& path) {
  cairo_surface_t* surface = toSurface(image);
  const cairo_status_t status = cairo_surface_write_to_png(surface, path.c_str());
  cairo_surface_destroy(surface);
  return status == CAIRO_STATUS_SUCCESS;
}

} // namespace artwork
