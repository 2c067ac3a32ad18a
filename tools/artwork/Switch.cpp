// The chrome toggle switch seen from the front: a faceted hexagonal nut, a threaded bushing and a
// lever with a ball end that points up or down; the second kind has a lamp above it.
#include "Artwork.h"
#include "Shading.h"

namespace artwork {

namespace {

// Polished steel: a moderate diffuse part, a sharp highlight and a broad sheen.
double metal(Vec3 n) {
  const double diffuse = std::max(0.0, dot(n, kLight));
  const double nh = std::max(0.0, dot(n, kHalf));
  return 0.12 + 0.52 * diffuse + 0.35 * std::pow(nh, 60.0) + 0.10 * std::pow(nh, 6.0);
}

Rgba steel(double v) { return opaque(v * 0.97, v * 0.99, v * 1.02); }
Rgba metalColour(Vec3 n, double shade = 1.0) { return steel(metal(n) * shade); }

struct Toggle {
  double nutX, nutY; // centre of the nut in the frame
  double nutRadius;  // circumradius of the hexagon (corners left and right)
  double bushing;    // outer radius of the threaded bushing
  double lever;      // distance from the nut centre to the middle of the ball end
  bool up;
};

// Distance measure for a hexagon with flats at top and bottom: equals the apothem on its edge.
double hexMeasure(double x, double y) {
  return std::max(std::abs(y), std::abs(x) * 0.8660254 + std::abs(y) * 0.5);
}

enum class LeverPart { none, rod, ball };

// Lever: a rod from the nut's centre to the ball end, then the ball.
LeverPart leverHit(const Toggle& t, double x, double y, Vec3& n) {
  const double dir = t.up ? -1.0 : 1.0;
  const double tipY = dir * t.lever;
  const double ball = t.nutRadius * 0.34;
  if (std::hypot(x, y - tipY) < ball) {
    const double bx = x / ball, by = (y - tipY) / ball;
    n = {bx, by, std::sqrt(std::max(0.0, 1.0 - bx * bx - by * by))};
    return LeverPart::ball;
  }
  const double along = y * dir; // 0 at the centre, t.lever at the ball
  if (along < 0.0 || along > t.lever) return LeverPart::none;
  // The ball end is nearer the viewer than the root, so the rod widens towards it.
  const double half = mix(t.nutRadius * 0.16, t.nutRadius * 0.23, along / t.lever);
  if (std::abs(x) >= half) return LeverPart::none;
  const double s = x / half;
  n = {s, 0.0, std::sqrt(1.0 - s * s)};
  return LeverPart::rod;
}

// A polished rod reflects a bright stripe on its lit side and has dark edges.
Rgba rodColour(double s, double along) {
  double v = 0.30 + 0.75 * std::exp(-((s + 0.38) / 0.28) * ((s + 0.38) / 0.28)) +
             0.22 * std::exp(-((s - 0.55) / 0.2) * ((s - 0.55) / 0.2));
  v *= 1.0 - 0.45 * s * s * s * s;
  v *= 0.8 + 0.2 * along;
  return steel(v);
}

Rgba shadeToggle(const Toggle& t, double px, double py) {
  const double x = px - t.nutX, y = py - t.nutY;
  const double apothem = t.nutRadius * 0.8660254;

  Vec3 n{0, 0, 1};
  switch (leverHit(t, x, y, n)) {
  case LeverPart::ball: return metalColour(n);
  case LeverPart::rod: return rodColour(n.x, clamp01(std::abs(y) / t.lever));
  case LeverPart::none: break;
  }

  // Shadow of the lever, down and to the right, on whatever lies below it.
  Vec3 unused{};
  const bool inLeverShadow = leverHit(t, x - 1.2, y - 1.4, unused) != LeverPart::none;
  const double leverShadow = inLeverShadow ? 0.62 : 1.0;

  const double r = std::hypot(x, y);
  if (r < t.bushing) {
    const double hole = t.bushing * 0.42;
    if (r < hole) return opaque(0.03, 0.03, 0.035);
    // Threads: rings whose normal rocks in and out.
    const double phase = std::sin(r * 2.0 * kPi / 1.1);
    const double tilt = 0.55 * phase + 0.35;
    const Vec3 rn = normalize({x / r * tilt, y / r * tilt, 1.0});
    const double edge = smoothstep(hole, hole + 0.6, r); // dark lip at the hole
    return metalColour(rn, leverShadow * mix(0.4, 0.92, edge));
  }

  const double h = hexMeasure(x, y);
  if (h < apothem) {
    // Six facets rising slightly towards the centre, and a chamfer round the rim.
    const double sector = std::floor(std::atan2(y, x) / (kPi / 3.0));
    const double faceAngle = sector * kPi / 3.0 + kPi / 6.0; // normal of that edge
    Vec3 fn = normalize({std::cos(faceAngle) * 0.3, std::sin(faceAngle) * 0.3, 1.0});
    if (h > apothem - 1.1) fn = normalize({std::cos(faceAngle), std::sin(faceAngle), 1.1});
    // Shadow of the bushing on the nut.
    const double bushShadow =
        0.6 + 0.4 * smoothstep(t.bushing, t.bushing + 1.8, std::hypot(x - 0.9, y - 1.1));
    return metalColour(fn, 0.92 * leverShadow * bushShadow);
  }

  // Soft shadow of the nut on the panel.
  const double d = hexMeasure(x - 1.0, y - 1.5);
  return straight(0.0, 0.0, 0.0, 0.55 * (1.0 - smoothstep(apothem - 1.0, apothem + 2.6, d)));
}

// The lamp: a chrome bezel round a glass lens, dark or lit with a soft glow.
constexpr double kLensRadius = 4.3;
constexpr double kBezelRadius = 6.3;

Rgba shadeLamp(double px, double py, bool lit, const Rgba& below) {
  const double x = px - kLampX, y = py - kLampY;
  const double r = std::hypot(x, y);
  if (r < kLensRadius) {
    const double t = r / kLensRadius;
    Rgba lens;
    if (lit) {
      lens = opaque(1.0, mix(0.98, 0.80, t * t), mix(0.78, 0.18, t));
    } else {
      const double v = mix(0.24, 0.14, t) - 0.05 * (y / kLensRadius);
      lens = opaque(v, v, v * 1.04);
    }
    // A small reflection of the light on the glass.
    const double spot = 1.0 - smoothstep(0.6, 1.5, std::hypot(x + 1.6, y + 1.7));
    return over(straight(1.0, 1.0, 1.0, (lit ? 0.5 : 0.75) * spot), lens);
  }
  if (r < kBezelRadius) {
    // A rounded ring: the normal swings from inward to outward across it.
    const double t = (r - kLensRadius) / (kBezelRadius - kLensRadius) * 2.0 - 1.0;
    const Vec3 n = normalize({x / r * t * 1.2, y / r * t * 1.2, std::sqrt(1.0 - 0.5 * t * t)});
    return metalColour(n, 0.95);
  }
  Rgba outside = below;
  // Shadow of the bezel.
  const double ds = std::hypot(x - 0.9, y - 1.3);
  outside =
      over(straight(0, 0, 0, 0.5 * (1.0 - smoothstep(kBezelRadius - 0.5, kBezelRadius + 2.2, ds))),
           outside);
  if (lit) {
    // Glow: strongest at the bezel, gone within about seven pixels.
    const double g = std::exp(-(r - kBezelRadius) / 2.6) * (1.0 - smoothstep(10.0, 13.0, r));
    outside = over(straight(1.0, 0.82, 0.28, 0.62 * g), outside);
  }
  return outside;
}

Image drawToggleStrip(SwitchKind kind) {
  const bool lamp = kind == SwitchKind::withLamp;
  const int height = lamp ? kLampSwitchHeight : kPlainSwitchHeight;
  Image image(kSwitchWidth, height * 2);
  for (int frame = 0; frame < 2; ++frame) {
    Toggle t{};
    t.nutX = kNutX;
    t.nutY = lamp ? kLampNutY : kPlainNutY;
    t.nutRadius = lamp ? 9.2 : 10.0;
    t.bushing = t.nutRadius * 0.55;
    t.lever = lamp ? 6.2 : 7.0;
    t.up = frame == 1;
    const bool lit = frame == 1;
    shadeRect(image, 0, frame * height, kSwitchWidth, height, 6, [&](double x, double y) {
      Rgba c = shadeToggle(t, x, y);
      if (lamp && y < 30.0) c = shadeLamp(x, y, lit, c);
      return c;
    });
  }
  return image;
}

} // namespace

Image drawSwitchStrip(SwitchKind kind) { return drawToggleStrip(kind); }

} // namespace artwork
