// The drawing entry points of the artwork program.
#pragma once

#include "Layout.h"
#include "Raster.h"

#include <string>

namespace artwork {

// One knob frame, 52 × 52, with the pointer at angleDeg (from straight up, clockwise positive).
Image drawKnobFrame(double angleDeg);

// A vertical strip of every frame of a knob strip, frame 0 at the top.
Image drawKnobStrip(KnobStrip strip);

// Two frames stacked vertically: frame 0 lever down (lamp dark), frame 1 lever up (lamp lit).
Image drawSwitchStrip(SwitchKind kind);

// The 890 × 162 background, opaque.
Image drawPanel();

// Files: a 24-bit bottom-up Windows bitmap with a version-4 header, and an 8-bit RGBA PNG.
bool writeBmp(const Image& image, const std::string& path);
bool writePng(const Image& image, const std::string& path);

} // namespace artwork
