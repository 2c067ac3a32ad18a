// The two toggle switch strips: frame 0 lever down, frame 1 lever up; the lamp above the lever is
// dark grey in frame 0 and lit yellow in frame 1, and only the lever changes inside the area the
// mouse reacts to.
#include "PanelImages.h"

#include <gtest/gtest.h>

namespace ombrine::test {
namespace {

struct Box {
  int left, top, right, bottom; // inclusive
  bool contains(int x, int y, int slack) const {
    return x >= left - slack && x <= right + slack && y >= top - slack && y <= bottom + slack;
  }
};

// Topmost and bottommost fully opaque rows in the given row range.
std::pair<int, int> opaqueRows(const Pixels& f, int fromRow) {
  int top = f.height, bottom = -1;
  for (int y = fromRow; y < f.height; ++y)
    for (int x = 0; x < f.width; ++x)
      if (f.at(x, y).a == 1.0) {
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
  return {top, bottom};
}

bool differs(const Pixel& a, const Pixel& b) {
  return std::abs(a.a - b.a) > 0.1 || std::abs(a.luma() * a.a - b.luma() * b.a) > 0.1;
}

void expectLeverMovesInside(const Pixels& down, const Pixels& up, const Box& mouse, int fromRow) {
  int changed = 0;
  for (int y = fromRow; y < down.height; ++y)
    for (int x = 0; x < down.width; ++x)
      if (differs(down.at(x, y), up.at(x, y))) {
        ++changed;
        EXPECT_TRUE(mouse.contains(x, y, 1))
            << "change outside the mouse area at " << x << "," << y;
      }
  EXPECT_GT(changed, 20);
  // The lever reaches further up when up, and further down when down.
  const auto [downTop, downBottom] = opaqueRows(down, fromRow);
  const auto [upTop, upBottom] = opaqueRows(up, fromRow);
  EXPECT_LT(upTop, downTop);
  EXPECT_GT(downBottom, upBottom);
  EXPECT_TRUE(mouse.contains(10, upTop, 1));
  EXPECT_TRUE(mouse.contains(10, downBottom, 1));
}

TEST(SwitchStrips, PlainSwitchLeverDownThenUp) {
  const Pixels strip = decodePng(readResourceFile("MetalSwitch.png"));
  ASSERT_EQ(strip.height, 58);
  // Mouse area (4, 4) to (22, 25), right and bottom exclusive.
  expectLeverMovesInside(frameOf(strip, 29, 0), frameOf(strip, 29, 1), {4, 4, 21, 24}, 0);
}

TEST(SwitchStrips, LampSwitchLeverBelowTheLamp) {
  const Pixels strip = decodePng(readResourceFile("MetalSwitchWithLed.png"));
  ASSERT_EQ(strip.height, 116);
  // Mouse area (3, 35) to (20, 54); the lamp and its glow end above row 30.
  expectLeverMovesInside(frameOf(strip, 58, 0), frameOf(strip, 58, 1), {3, 35, 19, 53}, 30);
}

TEST(SwitchStrips, LampDarkGreyWhenOffAndLitYellowWithGlowWhenOn) {
  const Pixels strip = decodePng(readResourceFile("MetalSwitchWithLed.png"));
  ASSERT_EQ(strip.height, 116);
  const Pixels off = frameOf(strip, 58, 0), on = frameOf(strip, 58, 1);

  // Lens: the pixels round (13, 16).
  const Pixel& offLens = off.at(13, 17);
  EXPECT_EQ(offLens.a, 1.0);
  EXPECT_LT(offLens.luma(), 0.35);
  EXPECT_LT(std::max({offLens.r, offLens.g, offLens.b}) - offLens.minChannel(), 0.06) << "grey";
  const Pixel& onLens = on.at(13, 17);
  EXPECT_EQ(onLens.a, 1.0);
  EXPECT_GT(onLens.r, 0.9);
  EXPECT_GT(onLens.g, 0.7);
  EXPECT_LT(onLens.b, onLens.g - 0.15) << "yellow";

  // The lit pixels gather round (13, 16), above the mouse area.
  double sx = 0, sy = 0, n = 0;
  for (int y = 0; y < 58; ++y)
    for (int x = 0; x < 26; ++x) {
      const Pixel& p = on.at(x, y);
      if (p.a < 0.99 || p.r < 0.85 || p.b > p.g - 0.15) continue;
      sx += x + 0.5;
      sy += y + 0.5;
      n += 1;
      EXPECT_LT(y, 35) << "lamp inside the mouse area";
    }
  ASSERT_GT(n, 20);
  EXPECT_NEAR(sx / n, 13.0, 1.0);
  EXPECT_NEAR(sy / n, 16.0, 1.0);

  // Glow: outside the bezel the lit frame adds a translucent yellow that the dark frame lacks.
  int glowing = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 26; ++x) {
      const double r = std::hypot(x + 0.5 - 13.0, y + 0.5 - 16.0);
      if (r < 8.0 || r > 11.0) continue;
      const Pixel& p = on.at(x, y);
      if (p.a > off.at(x, y).a + 0.1 && p.r > 0.8 && p.b < p.g) ++glowing;
    }
  EXPECT_GT(glowing, 30);
}

} // namespace
} // namespace ombrine::test
