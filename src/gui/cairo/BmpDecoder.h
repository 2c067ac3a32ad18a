// Windows bitmap files, 24 bits per pixel, uncompressed: the one BMP kind the
// panel uses. cairo decodes PNG only. Every field is checked against the
// buffer, so a malformed file is rejected instead of read out of bounds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace VSTGUI::bmp {

// Larger images are refused rather than allocated.
inline constexpr int32_t kMaxDimension = 16384;

struct Image {
  int32_t width = 0;
  int32_t height = 0;
  // Opaque pixels as 0xFFRRGGBB, top row first.
  std::vector<uint32_t> pixels;
};

bool looksLikeBmp(const unsigned char* data, std::size_t size);

// False (and out untouched) when the data is not a well-formed 24-bit BMP.
bool decode(const unsigned char* data, std::size_t size, Image& out);

} // namespace VSTGUI::bmp
