#include "gui/cairo/BmpDecoder.h"

namespace VSTGUI::bmp {
namespace {

constexpr std::size_t kFileHeaderSize = 14;

uint32_t u16(const unsigned char* p) { return static_cast<uint32_t>(p[0] | (p[1] << 8)); }

uint32_t u32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

int32_t s32(const unsigned char* p) { return static_cast<int32_t>(u32(p)); }

} // namespace

bool looksLikeBmp(const unsigned char* data, std::size_t size) {
  return data && size >= 2 && data[0] == 'B' && data[1] == 'M';
}

bool decode(const unsigned char* data, std::size_t size, Image& out) {
  if (!looksLikeBmp(data, size) || size < kFileHeaderSize + 4) return false;

  const uint64_t pixelOffset = u32(data + 10);
  const uint32_t infoSize = u32(data + kFileHeaderSize);
  // Information header versions 1 (40 bytes), 2, 3, 4 (108) and 5 (124) share the fields used here.
  if (infoSize != 40 && infoSize != 52 && infoSize != 56 && infoSize != 108 && infoSize != 124)
    return false;
  if (size < kFileHeaderSize + infoSize) return false;

  const unsigned char* info = data + kFileHeaderSize;
  const int32_t width = s32(info + 4);
  const int32_t rawHeight = s32(info + 8);
  const uint32_t planes = u16(info + 12);
  const uint32_t bitsPerPixel = u16(info + 14);
  const uint32_t compression = u32(info + 16);
  if (planes != 1 || bitsPerPixel != 24 || compression != 0) return false;
  if (width <= 0 || width > kMaxDimension) return false;
  // A negative height stores the top row first.
  if (rawHeight == 0 || rawHeight < -kMaxDimension || rawHeight > kMaxDimension) return false;
  const bool topDown = rawHeight < 0;
  const int32_t height = topDown ? -rawHeight : rawHeight;

  // Rows are padded to a multiple of 4 bytes; the last row's padding may be missing.
  const uint64_t rowBytes = static_cast<uint64_t>(width) * 3;
  const uint64_t stride = (rowBytes + 3) & ~uint64_t{3};
  if (pixelOffset < kFileHeaderSize + infoSize) return false;
  const uint64_t needed = pixelOffset + stride * static_cast<uint64_t>(height - 1) + rowBytes;
  if (needed > size) return false;

  Image image;
  image.width = width;
  image.height = height;
  image.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  for (int32_t y = 0; y < height; ++y) {
    const int32_t storedRow = topDown ? y : height - 1 - y;
    const unsigned char* src = data + pixelOffset + stride * static_cast<uint64_t>(storedRow);
    uint32_t* dst =
        image.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
    for (int32_t x = 0; x < width; ++x, src += 3)
      dst[x] = 0xFF000000u | (static_cast<uint32_t>(src[2]) << 16) |
               (static_cast<uint32_t>(src[1]) << 8) | src[0];
  }
  out = std::move(image);
  return true;
}

} // namespace VSTGUI::bmp
