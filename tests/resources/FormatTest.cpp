// The six panel images as stored: containers, sizes, pixel formats and frame divisions, and the
// embedded copies being the committed files byte for byte.
#include "PanelImages.h"

#include <gtest/gtest.h>

namespace ombrine::test {
namespace {

struct StripFormat {
  const char* name;
  std::uint32_t width, height;
  std::uint32_t frames;
  std::uint32_t frameHeight;
};

const StripFormat kStrips[] = {
    {"BakeliteKnob.png", 52, 5148, 99, 52},     {"BakeliteKnob6.png", 52, 312, 6, 52},
    {"BakeliteKnob7.png", 52, 364, 7, 52},      {"MetalSwitch.png", 26, 58, 2, 29},
    {"MetalSwitchWithLed.png", 26, 116, 2, 58},
};

TEST(PanelImageFiles, EmbeddedCopiesEqualTheCommittedFiles) {
  for (const char* name : {"FrontPanel.bmp", "BakeliteKnob.png", "BakeliteKnob6.png",
                           "BakeliteKnob7.png", "MetalSwitch.png", "MetalSwitchWithLed.png"}) {
    SCOPED_TRACE(name);
    const auto file = readResourceFile(name);
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(embedded(name), file);
  }
}

TEST(PanelImageFiles, StripsArePngRgba8NonInterlacedAndDivideIntoWholeFrames) {
  const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  for (const StripFormat& s : kStrips) {
    SCOPED_TRACE(s.name);
    const auto png = readResourceFile(s.name);
    ASSERT_GE(png.size(), 33u);
    EXPECT_TRUE(std::equal(signature, signature + 8, png.begin()));
    // The first chunk is IHDR with 13 bytes of data.
    EXPECT_EQ(bigEndian32(png, 8), 13u);
    EXPECT_EQ(std::string(png.begin() + 12, png.begin() + 16), "IHDR");
    EXPECT_EQ(bigEndian32(png, 16), s.width);
    EXPECT_EQ(bigEndian32(png, 20), s.height);
    EXPECT_EQ(png[24], 8) << "bit depth";
    EXPECT_EQ(png[25], 6) << "colour type: RGB with alpha";
    EXPECT_EQ(png[26], 0) << "compression";
    EXPECT_EQ(png[27], 0) << "filter method";
    EXPECT_EQ(png[28], 0) << "interlace";
    EXPECT_EQ(s.height % s.frames, 0u);
    EXPECT_EQ(s.height / s.frames, s.frameHeight);

    const Pixels decoded = decodePng(png);
    EXPECT_EQ(decoded.width, int(s.width));
    EXPECT_EQ(decoded.height, int(s.height));
  }
}

TEST(PanelImageFiles, BackgroundIsA24BitBottomUpBitmapWithVersion4Header) {
  const auto bmp = readResourceFile("FrontPanel.bmp");
  ASSERT_EQ(bmp.size(), 432986u);
  EXPECT_EQ(bmp[0], 'B');
  EXPECT_EQ(bmp[1], 'M');
  EXPECT_EQ(littleEndian32(bmp, 2), 432986u) << "file size";
  EXPECT_EQ(littleEndian32(bmp, 6), 0u) << "reserved";
  EXPECT_EQ(littleEndian32(bmp, 10), 122u) << "pixel data offset";
  EXPECT_EQ(littleEndian32(bmp, 14), 108u) << "BITMAPV4HEADER";
  EXPECT_EQ(littleEndian32(bmp, 18), 890u);
  EXPECT_EQ(littleEndian32(bmp, 22), 162u) << "positive: bottom row first";
  EXPECT_EQ(littleEndian16(bmp, 26), 1u) << "planes";
  EXPECT_EQ(littleEndian16(bmp, 28), 24u) << "bits per pixel";
  EXPECT_EQ(littleEndian32(bmp, 30), 0u) << "BI_RGB";
  EXPECT_EQ(littleEndian32(bmp, 34), 432864u) << "image size: 162 rows of 2672 bytes";
  EXPECT_EQ(littleEndian32(bmp, 38), 2835u);
  EXPECT_EQ(littleEndian32(bmp, 42), 2835u);
  EXPECT_EQ(littleEndian32(bmp, 46), 0u) << "colours used";
  const std::uint32_t colourSpace = littleEndian32(bmp, 70);
  EXPECT_TRUE(colourSpace == 0x73524742u || colourSpace == 0u) << std::hex << colourSpace;
  // The two bytes that fill each 2670-byte row to 2672 are zero.
  for (std::size_t row = 0; row < 162; ++row) {
    const std::size_t end = 122 + row * 2672 + 2670;
    ASSERT_EQ(bmp[end], 0) << "row " << row;
    ASSERT_EQ(bmp[end + 1], 0) << "row " << row;
  }
}

} // namespace
} // namespace ombrine::test
