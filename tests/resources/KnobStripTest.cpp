// The knob film strips: every frame centred on a transparent square, pointing where the editor's
// value-to-frame rule expects.
#include "PanelImages.h"

#include <gtest/gtest.h>

namespace ombrine::test {
namespace {

constexpr int kFrame = 52;
constexpr double kCentre = kFrame / 2.0;

struct KnobStrip {
  const char* name;
  int frames;
  double firstAngle; // pointer of frame 0, degrees from straight up, clockwise
  double step;       // degrees between frames
};

const KnobStrip kKnobStrips[] = {
    {"BakeliteKnob.png", 99, -135.0, 270.0 / 98.0},
    {"BakeliteKnob6.png", 6, -75.0, 30.0},
    {"BakeliteKnob7.png", 7, -90.0, 30.0},
};

// The pointer's dot and line are the only near-white pixels outside the metal cap; their mean
// direction from the centre is where the knob points.
bool pointerAngle(const Pixels& frame, double& angle, int& count) {
  double sx = 0, sy = 0;
  count = 0;
  for (int y = 0; y < frame.height; ++y) {
    for (int x = 0; x < frame.width; ++x) {
      const double dx = x + 0.5 - kCentre, dy = y + 0.5 - kCentre;
      const double r = std::hypot(dx, dy);
      const Pixel& p = frame.at(x, y);
      if (r < 12.0 || r > 24.0 || p.a < 0.99 || p.minChannel() < 0.8) continue;
      sx += dx / r;
      sy += dy / r;
      ++count;
    }
  }
  if (count == 0) return false;
  angle = angleFromUp(sx, sy);
  return true;
}

TEST(KnobStrips, FramesAreCentredWithTransparentCornersAndOpaqueMiddle) {
  for (const KnobStrip& s : kKnobStrips) {
    SCOPED_TRACE(s.name);
    const Pixels strip = decodePng(readResourceFile(s.name));
    ASSERT_EQ(strip.height, s.frames * kFrame);
    for (int k = 0; k < s.frames; ++k) {
      SCOPED_TRACE(k);
      const Pixels f = frameOf(strip, kFrame, k);
      double cx = 0, cy = 0;
      int opaque = 0;
      for (int y = 0; y < kFrame; ++y) {
        for (int x = 0; x < kFrame; ++x) {
          const double r = std::hypot(x + 0.5 - kCentre, y + 0.5 - kCentre);
          const double a = f.at(x, y).a;
          if (r > 31.0) {
            ASSERT_EQ(a, 0.0) << "corner pixel " << x << "," << y;
          }
          if (r < 18.0) {
            ASSERT_EQ(a, 1.0) << "body pixel " << x << "," << y;
          }
          if (a == 1.0) {
            cx += x + 0.5;
            cy += y + 0.5;
            ++opaque;
          }
        }
      }
      // The body is round and fills most of the frame.
      EXPECT_NEAR(cx / opaque, kCentre, 0.5);
      EXPECT_NEAR(cy / opaque, kCentre, 0.5);
      EXPECT_GT(opaque, 1400); // a disc of radius 21 or more
    }
  }
}

TEST(KnobStrips, EveryFramePointsAtItsAngle) {
  for (const KnobStrip& s : kKnobStrips) {
    SCOPED_TRACE(s.name);
    const Pixels strip = decodePng(readResourceFile(s.name));
    ASSERT_EQ(strip.height, s.frames * kFrame);
    for (int k = 0; k < s.frames; ++k) {
      SCOPED_TRACE(k);
      double angle = 0;
      int count = 0;
      ASSERT_TRUE(pointerAngle(frameOf(strip, kFrame, k), angle, count));
      EXPECT_GT(count, 6);
      EXPECT_LT(count, 60) << "only the pointer is white";
      EXPECT_NEAR(angleDifference(angle, s.firstAngle + k * s.step), 0.0, 2.5);
    }
  }
}

TEST(KnobStrips, MarkedAnglesOfTheContinuousStrip) {
  // Frame 0 lower left, 49 straight up, 98 lower right.
  const Pixels strip = decodePng(readResourceFile("BakeliteKnob.png"));
  const std::pair<int, double> marks[] = {{0, -135.0}, {49, 0.0}, {98, 135.0}};
  for (const auto& [frame, expected] : marks) {
    double angle = 0;
    int count = 0;
    ASSERT_TRUE(pointerAngle(frameOf(strip, kFrame, frame), angle, count));
    EXPECT_NEAR(angleDifference(angle, expected), 0.0, 2.5) << "frame " << frame;
  }
}

TEST(KnobStrips, SteppedStripsShowTheSameKnobAsTheContinuousOne) {
  // Frame 49 of the continuous strip and frame 3 of the seven-step strip both point straight up.
  const Pixels continuous = frameOf(decodePng(readResourceFile("BakeliteKnob.png")), kFrame, 49);
  const Pixels seven = frameOf(decodePng(readResourceFile("BakeliteKnob7.png")), kFrame, 3);
  double worst = 0;
  for (std::size_t i = 0; i < continuous.px.size(); ++i)
    worst = std::max({worst, std::abs(continuous.px[i].a - seven.px[i].a),
                      std::abs(continuous.px[i].luma() - seven.px[i].luma())});
  EXPECT_LT(worst, 0.02);
}

} // namespace
} // namespace ombrine::test
