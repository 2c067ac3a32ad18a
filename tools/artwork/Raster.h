// Small raster helpers for the panel artwork: a floating-point RGBA image with premultiplied alpha,
// supersampled shading, deterministic noise and the hand-over to cairo surfaces.
#pragma once

#include <cairo.h>
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

namespace artwork {

constexpr double kPi = 3.14159265358979323846;

inline double degrees(double deg) { return deg * kPi / 180.0; }
inline double clamp01(double v) { return v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v); }
inline double mix(double a, double b, double t) { return a + (b - a) * t; }
inline double smoothstep(double e0, double e1, double x) {
  const double t = clamp01((x - e0) / (e1 - e0));
  return t * t * (3.0 - 2.0 * t);
}

// Premultiplied colour: r, g and b are already scaled by a.
struct Rgba {
  double r = 0.0, g = 0.0, b = 0.0, a = 0.0;
};

inline Rgba opaque(double r, double g, double b) { return {r, g, b, 1.0}; }
inline Rgba straight(double r, double g, double b, double a) { return {r * a, g * a, b * a, a}; }
inline Rgba over(const Rgba& top, const Rgba& below) {
  const double k = 1.0 - top.a;
  return {top.r + below.r * k, top.g + below.g * k, top.b + below.b * k, top.a + below.a * k};
}
inline Rgba lerp(const Rgba& a, const Rgba& b, double t) {
  return {mix(a.r, b.r, t), mix(a.g, b.g, t), mix(a.b, b.b, t), mix(a.a, b.a, t)};
}
inline Rgba scaled(const Rgba& c, double k) { return {c.r * k, c.g * k, c.b * k, c.a * k}; }

class Image {
public:
  Image(int width, int height) : w(width), h(height), px(std::size_t(width) * height) {}
  int width() const { return w; }
  int height() const { return h; }
  Rgba& at(int x, int y) { return px[std::size_t(y) * w + x]; }
  const Rgba& at(int x, int y) const { return px[std::size_t(y) * w + x]; }

private:
  int w, h;
  std::vector<Rgba> px;
};

// Fills the rectangle (x0, y0, width, height) of the image with the average of n × n samples of
// shade(x, y) per pixel; shade receives coordinates relative to (x0, y0), pixel centres at i + 0.5.
void shadeRect(Image& image, int x0, int y0, int width, int height, int n,
               const std::function<Rgba(double, double)>& shade);

// Copies an image into a new ARGB32 cairo surface (8 bits per channel, premultiplied).
cairo_surface_t* toSurface(const Image& image);

// Reads an ARGB32 surface back (for the panel, which is finished with cairo).
Image fromSurface(cairo_surface_t* surface);

// Hash-based noise with a fixed seed, so every run draws the same pixels.
double hashNoise(std::int64_t x, std::int64_t y, std::uint32_t seed);     // in [0, 1)
double valueNoise(double x, double y, std::uint32_t seed);                // smooth, in [0, 1)
double fractalNoise(double x, double y, int octaves, std::uint32_t seed); // about [0, 1)

} // namespace artwork
