// The black fluted knob: a bakelite body with grooves round its skirt, a brushed-aluminium cap and
// a white pointer line ending in a dot. Each pixel is shaded from a surface normal under one light
// from the upper left, so the highlights stay put while the body turns.
#include "Artwork.h"
#include "Shading.h"

namespace artwork {

namespace {

// A weak second light from the lower right picks out the flutes on the shaded side.
const Vec3 kRimHalf = normalize(Vec3{0.55, 0.55, 0.63 + 1.0});

// Sizes in pixels, from the knob's centre.
constexpr double kCentre = kKnobSize / 2.0;
constexpr double kCapRadius = 8.8;    // brushed-metal cap
constexpr double kTopRadius = 18.8;   // flat top of the body
constexpr double kSkirtRadius = 23.4; // outer edge of the flutes
constexpr double kGrooveDepth = 1.5;
constexpr int kFlutes = 18;
constexpr double kGrooveWidth = 0.56; // fraction of one flute period taken by its groove

constexpr double kPointerInner = 10.0;
constexpr double kPointerOuter = 15.8;
constexpr double kPointerHalfWidth = 0.95;
constexpr double kDotRadius = 2.15;
constexpr double kDotAt = 16.3;

constexpr std::uint32_t kCapSeed = 0x4B4E4F42;

double bakelite(Vec3 n) {
  const double diffuse = std::max(0.0, dot(n, kLight));
  const double nh = std::max(0.0, dot(n, kHalf));
  const double rim = std::max(0.0, dot(n, kRimHalf));
  return 0.016 + 0.035 * diffuse + 0.50 * std::pow(nh, 40.0) + 0.09 * std::pow(nh, 6.0) +
         0.10 * std::pow(rim, 24.0);
}

// Concentric brushing: bright wedges along the light's direction, rings of slightly different
// brightness, a little darker towards the rim.
double brushedCap(double r, double theta) {
  const double lightAzimuth = std::atan2(kLight.x, -kLight.y);
  const double wedge = std::pow(0.5 + 0.5 * std::cos(2.0 * (theta - lightAzimuth)), 3.0);
  const double rings = (valueNoise(r * 7.0, 0.5, kCapSeed) - 0.5) * 0.12 +
                       (hashNoise(std::int64_t(r * 16.0), 7, kCapSeed) - 0.5) * 0.06;
  double v = 0.50 + 0.34 * wedge + rings;
  v *= 1.0 - 0.18 * smoothstep(4.0, kCapRadius, r);
  return v;
}

Rgba shadeKnob(double px, double py, double angle) {
  const double x = px - kCentre;
  const double y = py - kCentre;
  const double r = std::hypot(x, y);
  const double theta = std::atan2(x, -y); // from straight up, clockwise
  const double ux = r > 1e-9 ? x / r : 0.0, uy = r > 1e-9 ? y / r : 0.0;

  // Groove profile at this angle of the body (the flutes turn with the pointer).
  const double period = 2.0 * kPi / kFlutes;
  double u = std::fmod(theta - angle, period) / period;
  if (u < 0.0) u += 1.0;
  const double s = (u - 0.5) / (kGrooveWidth / 2.0); // -1..1 across a groove
  const bool inGroove = std::abs(s) < 1.0;
  const double groove = inGroove ? std::sqrt(1.0 - s * s) : 0.0;
  const double edge = kSkirtRadius - kGrooveDepth * groove;

  if (r > edge) {
    // Soft shadow on the panel, cast down and to the right.
    const double d = std::hypot(x - 1.4, y - 2.3);
    const double a = 0.62 * (1.0 - smoothstep(20.5, 27.0, d));
    return straight(0.0, 0.0, 0.0, a);
  }

  // Pointer: a line along the angle, ending in a dot.
  const double ax = std::sin(angle), ay = -std::cos(angle);
  const double along = x * ax + y * ay;
  const double across = std::abs(-x * ay + y * ax);
  const bool onLine = along > kPointerInner && along < kPointerOuter && across < kPointerHalfWidth;
  const bool onDot = std::hypot(x - ax * kDotAt, y - ay * kDotAt) < kDotRadius;
  if (onLine || onDot) {
    const double v = 0.93 + 0.05 * (-(x + y) / (2.0 * kTopRadius));
    return opaque(v, v * 0.985, v * 0.95);
  }

  if (r < kCapRadius) {
    double v = brushedCap(r, theta);
    if (r > kCapRadius - 1.0) {
      // Rounded rim of the cap: lit on the upper left, dark on the lower right.
      const double t = (r - (kCapRadius - 1.0));
      const Vec3 n = normalize({ux * t * 1.6, uy * t * 1.6, 1.0});
      v = v * 0.55 + 0.55 * std::max(0.0, dot(n, kLight)) - 0.12;
    }
    return opaque(v * 0.98, v, v * 1.03);
  }

  Vec3 n{0.0, 0.0, 1.0};
  double occlusion = 1.0;
  double sheen = 0.0; // the glossy shoulder shows a broad reflection that the flat top lacks
  if (r < kTopRadius) {
    // Slightly domed top, steeper in a narrow bevel at its edge.
    const double tilt =
        degrees(9.0) * r / kTopRadius + degrees(24.0) * smoothstep(kTopRadius - 1.6, kTopRadius, r);
    n = {ux * std::sin(tilt), uy * std::sin(tilt), std::cos(tilt)};
    // The cap's shadow on the top.
    const double d = std::hypot(x - 0.7, y - 1.1);
    occlusion = 0.55 + 0.45 * smoothstep(kCapRadius - 0.2, kCapRadius + 1.6, d);
  } else {
    // Rounded shoulder falling to the flutes; a groove tilts the normal towards its middle.
    const double t = clamp01((r - kTopRadius) / (kSkirtRadius - kTopRadius));
    const double tilt = degrees(mix(30.0, 78.0, t * t));
    const double sideways = inGroove ? -s * 1.3 * smoothstep(0.0, 0.3, t) : 0.0;
    const double tx = -uy, ty = ux; // direction of increasing angle
    n = normalize(
        {ux * std::sin(tilt) + tx * sideways, uy * std::sin(tilt) + ty * sideways, std::cos(tilt)});
    occlusion = 1.0 - 0.45 * groove * smoothstep(0.0, 0.5, t);
    sheen = 0.22 * std::pow(std::max(0.0, dot(n, kHalf)), 7.0) +
            0.08 * std::pow(std::max(0.0, dot(n, kRimHalf)), 6.0);
  }
  const double v = (bakelite(n) + sheen) * occlusion;
  return opaque(v, v * 0.97, v * 0.95);
}

} // namespace

Image drawKnobFrame(double angleDeg) {
  Image image(kKnobSize, kKnobSize);
  const double angle = degrees(angleDeg);
  shadeRect(image, 0, 0, kKnobSize, kKnobSize, 6,
            [angle](double x, double y) { return shadeKnob(x, y, angle); });
  return image;
}

Image drawKnobStrip(KnobStrip strip) {
  const int frames = frameCount(strip);
  Image image(kKnobSize, kKnobSize * frames);
  for (int k = 0; k < frames; ++k) {
    const Image frame = drawKnobFrame(knobAngle(strip, k));
    for (int y = 0; y < kKnobSize; ++y)
      for (int x = 0; x < kKnobSize; ++x)
        image.at(x, k * kKnobSize + y) = frame.at(x, y);
  }
  return image;
}

} // namespace artwork
