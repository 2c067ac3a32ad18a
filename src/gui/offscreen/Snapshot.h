// Pictures of a frame as drawn so far, for tests and the snapshot tool.
#pragma once

#include "gui/CFrame.h"
#include "gui/platform/Platform.h"

#include <string>

namespace VSTGUI::snapshot {

// The frame's pixels after its last idle (empty when the frame is not open).
PixelImage capture(const CFrame& frame);

// Writes 32-bit premultiplied ARGB pixels as an RGBA PNG file.
bool writePng(const PixelImage& image, const std::string& path);

// Decodes an image the way CBitmap does (PNG or 24-bit BMP) into pixels; empty when it cannot.
PixelImage decode(const unsigned char* data, std::size_t size);

} // namespace VSTGUI::snapshot
