// Shared helpers for the panel image tests: the committed files, their embedded copies, and
// decoding into straight (not premultiplied) RGBA.
#pragma once

#include "EmbeddedResources.h"

#include <algorithm>
#include <array>
#include <cairo.h>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace ombrine::test {

inline std::vector<unsigned char> readResourceFile(const std::string& name) {
  std::ifstream in(std::string(OMBRINE_RESOURCE_DIR) + "/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::vector<unsigned char> embedded(const char* name) {
  const ResourceBlob blob = findResource(name);
  if (blob.data == nullptr) return {};
  return {blob.data, blob.data + blob.size};
}

inline std::uint32_t bigEndian32(const std::vector<unsigned char>& b, std::size_t at) {
  return std::uint32_t(b[at]) << 24 | std::uint32_t(b[at + 1]) << 16 |
         std::uint32_t(b[at + 2]) << 8 | b[at + 3];
}

inline std::uint32_t littleEndian32(const std::vector<unsigned char>& b, std::size_t at) {
  return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
         std::uint32_t(b[at + 3]) << 24;
}

inline std::uint16_t littleEndian16(const std::vector<unsigned char>& b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

struct Pixel {
  double r = 0, g = 0, b = 0, a = 0; // 0..1, straight alpha
  double luma() const { return 0.2126 * r + 0.7152 * g + 0.0722 * b; }
  double minChannel() const { return std::min(r, std::min(g, b)); }
};

struct Pixels {
  int width = 0, height = 0;
  std::vector<Pixel> px;
  const Pixel& at(int x, int y) const { return px[std::size_t(y) * width + x]; }
};

// Decodes a PNG with cairo, the decoder the Linux editor uses.
inline Pixels decodePng(const std::vector<unsigned char>& bytes) {
  struct Reader {
    const std::vector<unsigned char>* bytes;
    std::size_t at;
  } reader{&bytes, 0};
  auto read = [](void* closure, unsigned char* data, unsigned int length) {
    auto* r = static_cast<Reader*>(closure);
    if (r->at + length > r->bytes->size()) return CAIRO_STATUS_READ_ERROR;
    std::copy_n(r->bytes->begin() + std::ptrdiff_t(r->at), length, data);
    r->at += length;
    return CAIRO_STATUS_SUCCESS;
  };
  cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(read, &reader);
  Pixels out;
  if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS &&
      cairo_image_surface_get_format(surface) == CAIRO_FORMAT_ARGB32) {
    out.width = cairo_image_surface_get_width(surface);
    out.height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    out.px.resize(std::size_t(out.width) * out.height);
    for (int y = 0; y < out.height; ++y) {
      const auto* row = reinterpret_cast<const std::uint32_t*>(data + std::size_t(y) * stride);
      for (int x = 0; x < out.width; ++x) {
        const std::uint32_t p = row[x];
        const double a = (p >> 24) / 255.0;
        Pixel& q = out.px[std::size_t(y) * out.width + x];
        q.a = a;
        if (a > 0) {
          q.r = ((p >> 16) & 255) / 255.0 / a;
          q.g = ((p >> 8) & 255) / 255.0 / a;
          q.b = (p & 255) / 255.0 / a;
        }
      }
    }
  }
  cairo_surface_destroy(surface);
  return out;
}

// Decodes the 24-bit bottom-up bitmap the panel is stored as.
inline Pixels decodeBmp(const std::vector<unsigned char>& bytes) {
  Pixels out;
  if (bytes.size() < 54) return out;
  const std::uint32_t offset = littleEndian32(bytes, 10);
  out.width = static_cast<int>(littleEndian32(bytes, 18));
  out.height = static_cast<int>(littleEndian32(bytes, 22));
  const std::size_t rowBytes = (std::size_t(out.width) * 3 + 3) / 4 * 4;
  if (offset + rowBytes * out.height > bytes.size()) return {};
  out.px.resize(std::size_t(out.width) * out.height);
  for (int y = 0; y < out.height; ++y) {
    const std::size_t row = offset + rowBytes * std::size_t(out.height - 1 - y);
    for (int x = 0; x < out.width; ++x) {
      const std::size_t at = row + std::size_t(x) * 3;
      out.px[std::size_t(y) * out.width + x] = {bytes[at + 2] / 255.0, bytes[at + 1] / 255.0,
                                                bytes[at] / 255.0, 1.0};
    }
  }
  return out;
}

// One frame of a vertical strip.
inline Pixels frameOf(const Pixels& strip, int frameHeight, int frame) {
  Pixels out;
  out.width = strip.width;
  out.height = frameHeight;
  out.px.assign(strip.px.begin() + std::ptrdiff_t(frame) * frameHeight * strip.width,
                strip.px.begin() + std::ptrdiff_t(frame + 1) * frameHeight * strip.width);
  return out;
}

// Angle of (dx, dy) in degrees from straight up, clockwise positive (screen y points down).
inline double angleFromUp(double dx, double dy) {
  return std::atan2(dx, -dy) * 180.0 / 3.14159265358979323846;
}

inline double angleDifference(double a, double b) {
  double d = std::fmod(a - b, 360.0);
  if (d > 180.0) d -= 360.0;
  if (d < -180.0) d += 360.0;
  return d;
}

} // namespace ombrine::test
