// The background as the controls meet it: a dark well under every knob, a black seat under every
// switch, scale marks where the stepped knobs point, and a teal-green plate elsewhere.
#include "PanelImages.h"

#include <gtest/gtest.h>
#include <vector>

namespace ombrine::test {
namespace {

struct Knob {
  const char* caption;
  int left, top;             // 52 × 52 rectangle
  std::vector<double> stops; // pointer angles of the strip, degrees
};

std::vector<double> steps(double first, int count) {
  std::vector<double> a;
  for (int i = 0; i < count; ++i)
    a.push_back(first + 30.0 * i);
  return a;
}

const std::vector<Knob>& knobs() {
  static const std::vector<Knob> k = {
      {"INPUT", 75, 85, {}},
      {"OUTPUT", 706, 25, {}},
      {"BOOST high", 419, 25, {}},
      {"ATTEN high", 562, 25, {}},
      {"HIGH FREQUENCY", 478, 85, steps(-90.0, 7)},
      {"ATTEN SEL", 621, 85, steps(-75.0, 6)},
      {"BANDWIDTH", 360, 85, {}},
      {"BOOST low", 158, 25, {}},
      {"ATTEN low", 276, 25, {}},
      {"LOW FREQUENCY", 217, 85, steps(-75.0, 6)},
  };
  return k;
}

const Pixels& panel() {
  static const Pixels p = decodeBmp(readResourceFile("FrontPanel.bmp"));
  return p;
}

double meanLuma(const Pixels& p, double cx, double cy, double radius) {
  double sum = 0;
  int n = 0;
  for (int y = int(cy - radius); y <= int(cy + radius); ++y)
    for (int x = int(cx - radius); x <= int(cx + radius); ++x)
      if (std::hypot(x + 0.5 - cx, y + 0.5 - cy) <= radius) {
        sum += p.at(x, y).luma();
        ++n;
      }
  return sum / n;
}

// Brightest pixel in a thin sector round the knob's centre.
double brightestInSector(const Pixels& p, double cx, double cy, double angle, double halfWidth,
                         double rMin, double rMax) {
  double best = 0;
  for (int y = int(cy - rMax) - 1; y <= int(cy + rMax) + 1; ++y)
    for (int x = int(cx - rMax) - 1; x <= int(cx + rMax) + 1; ++x) {
      const double dx = x + 0.5 - cx, dy = y + 0.5 - cy, r = std::hypot(dx, dy);
      if (r < rMin || r > rMax || x < 0 || y < 0 || x >= p.width || y >= p.height) continue;
      if (std::abs(angleDifference(angleFromUp(dx, dy), angle)) > halfWidth) continue;
      best = std::max(best, p.at(x, y).luma());
    }
  return best;
}

TEST(Panel, PlateIsDarkTealGreen) {
  const Pixels& p = panel();
  ASSERT_EQ(p.width, 890);
  ASSERT_EQ(p.height, 162);
  // Open areas of the plate: between the two rows of knobs and below the output knob.
  for (auto [x, y] :
       {std::pair{395, 40}, std::pair{520, 45}, std::pair{640, 40}, std::pair{760, 95}}) {
    double r = 0, g = 0, b = 0;
    for (int dy = -3; dy <= 3; ++dy)
      for (int dx = -3; dx <= 3; ++dx) {
        r += p.at(x + dx, y + dy).r / 49;
        g += p.at(x + dx, y + dy).g / 49;
        b += p.at(x + dx, y + dy).b / 49;
      }
    SCOPED_TRACE(testing::Message() << x << "," << y);
    EXPECT_GT(g, r + 0.05);
    EXPECT_GT(b, r + 0.03);
    EXPECT_LT(g, 0.45) << "dark";
    EXPECT_GT(g, 0.12);
  }
}

TEST(Panel, DarkWellUnderEveryKnob) {
  for (const Knob& k : knobs()) {
    SCOPED_TRACE(k.caption);
    const double cx = k.left + 26.0, cy = k.top + 26.0;
    EXPECT_LT(meanLuma(panel(), cx, cy, 24.0), 0.09);
    // The well is centred: equally dark just inside its edge all round.
    for (double a = 0; a < 360; a += 45)
      EXPECT_LT(brightestInSector(panel(), cx, cy, a, 4.0, 20.0, 24.0), 0.15) << a;
  }
}

TEST(Panel, ScaleMarksAndLabelsAtThePointerAnglesOfSteppedKnobs) {
  for (const Knob& k : knobs()) {
    if (k.stops.empty()) continue;
    SCOPED_TRACE(k.caption);
    const double cx = k.left + 26.0, cy = k.top + 26.0;
    for (double a : k.stops) {
      SCOPED_TRACE(a);
      // A white mark just outside the well, and a label beyond it, on the pointer's ray.
      EXPECT_GT(brightestInSector(panel(), cx, cy, a, 3.0, 28.0, 31.5), 0.75);
      EXPECT_GT(brightestInSector(panel(), cx, cy, a, 6.0, 33.0, 46.0), 0.6);
    }
    // Below the knob, where it never points, there is no scale (the caption lies further out).
    EXPECT_LT(brightestInSector(panel(), cx, cy, 180.0, 20.0, 27.0, 33.0), 0.35);
  }
}

TEST(Panel, MarksAtTheEndsAndMiddleOfContinuousKnobs) {
  for (const Knob& k : knobs()) {
    if (!k.stops.empty()) continue;
    SCOPED_TRACE(k.caption);
    const double cx = k.left + 26.0, cy = k.top + 26.0;
    for (double a : {-135.0, 0.0, 135.0})
      EXPECT_GT(brightestInSector(panel(), cx, cy, a, 3.0, 28.0, 31.5), 0.75) << a;
  }
}

TEST(Panel, BlackSeatUnderEverySwitch) {
  // Centres of the toggle nuts: the mode switch at (27, 97), the lamp switches at (778, 8) and
  // (825, 8), whose toggles sit below their lamps.
  for (auto [x, y] : {std::pair{40.0, 111.5}, std::pair{791.0, 52.0}, std::pair{838.0, 52.0}}) {
    SCOPED_TRACE(testing::Message() << x << "," << y);
    EXPECT_LT(meanLuma(panel(), x, y, 9.0), 0.08);
  }
}

} // namespace
} // namespace ombrine::test
