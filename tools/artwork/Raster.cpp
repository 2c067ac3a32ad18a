#include "Raster.h"

#include <algorithm>

namespace artwork {

void shadeRect(Image& image, int x0, int y0, int width, int height, int n,
               const std::function<Rgba(double, double)>& shade) {
  const double step = 1.0 / n;
  const double weight = 1.0 / (n * n);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      Rgba sum;
      for (int sy = 0; sy < n; ++sy) {
        for (int sx = 0; sx < n; ++sx) {
          const Rgba c = shade(x + (sx + 0.5) * step, y + (sy + 0.5) * step);
          sum.r += c.r;
          sum.g += c.g;
          sum.b += c.b;
          sum.a += c.a;
        }
      }
      image.at(x0 + x, y0 + y) = scaled(sum, weight);
    }
  }
}

namespace {

std::uint32_t toByte(double v) {
  return static_cast<std::uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0));
}

} // namespace

cairo_surface_t* toSurface(const Image& image) {
  cairo_surface_t* surface =
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, image.width(), image.height());
  cairo_surface_flush(surface);
  unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < image.height(); ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(data + std::size_t(y) * stride);
    for (int x = 0; x < image.width(); ++x) {
      const Rgba& c = image.at(x, y);
      const std::uint32_t a = toByte(c.a);
      // Premultiplied channels may not exceed alpha after rounding.
      const std::uint32_t r = std::min(toByte(c.r), a);
      const std::uint32_t g = std::min(toByte(c.g), a);
      const std::uint32_t b = std::min(toByte(c.b), a);
      row[x] = (a << 24) | (r << 16) | (g << 8) | b;
    }
  }
  cairo_surface_mark_dirty(surface);
  return surface;
}

Image fromSurface(cairo_surface_t* surface) {
  cairo_surface_flush(surface);
  const int w = cairo_image_surface_get_width(surface);
  const int h = cairo_image_surface_get_height(surface);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  Image image(w, h);
  for (int y = 0; y < h; ++y) {
    const auto* row = reinterpret_cast<const std::uint32_t*>(data + std::size_t(y) * stride);
    for (int x = 0; x < w; ++x) {
      const std::uint32_t p = row[x];
      image.at(x, y) = {((p >> 16) & 255) / 255.0, ((p >> 8) & 255) / 255.0, (p & 255) / 255.0,
                        ((p >> 24) & 255) / 255.0};
    }
  }
  return image;
}

double hashNoise(std::int64_t x, std::int64_t y, std::uint32_t seed) {
  std::uint64_t h = static_cast<std::uint64_t>(x) * 0x9E3779B97F4A7C15ull ^
                    static_cast<std::uint64_t>(y) * 0xC2B2AE3D27D4EB4Full ^
                    (static_cast<std::uint64_t>(seed) << 32);
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDull;
  h ^= h >> 33;
  h *= 0xC4CEB9FE1A85EC53ull;
  h ^= h >> 33;
  return static_cast<double>(h >> 11) * (1.0 / 9007199254740992.0);
}

double valueNoise(double x, double y, std::uint32_t seed) {
  const double fx = std::floor(x), fy = std::floor(y);
  const auto ix = static_cast<std::int64_t>(fx), iy = static_cast<std::int64_t>(fy);
  const double tx = smoothstep(0.0, 1.0, x - fx), ty = smoothstep(0.0, 1.0, y - fy);
  const double top = mix(hashNoise(ix, iy, seed), hashNoise(ix + 1, iy, seed), tx);
  const double bottom = mix(hashNoise(ix, iy + 1, seed), hashNoise(ix + 1, iy + 1, seed), tx);
  return mix(top, bottom, ty);
}

double fractalNoise(double x, double y, int octaves, std::uint32_t seed) {
  double sum = 0.0, amplitude = 0.5, total = 0.0;
  for (int i = 0; i < octaves; ++i) {
    sum += amplitude * valueNoise(x, y, seed + 101u * i);
    total += amplitude;
    x *= 2.03;
    y *= 2.03;
    amplitude *= 0.5;
  }
  return sum / total;
}

} // namespace artwork
