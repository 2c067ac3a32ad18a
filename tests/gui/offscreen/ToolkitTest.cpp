// Toolkit pieces on their own: the BMP decoder against malformed files,
// bitmaps from resources, control values, film-strip frame selection,
// reference counting and the frame's redraw at idle.
#include "EmbeddedResources.h"
#include "gui/cairo/BmpDecoder.h"
#include "gui/offscreen/Snapshot.h"
#include "gui/platform/TestHooks.h"
#include "gui/vstgui.h"

#include <cstring>
#include <functional>
#include <gtest/gtest.h>

using namespace VSTGUI;

namespace {

void put16(std::vector<unsigned char>& b, std::size_t at, uint32_t v) {
  b[at] = static_cast<unsigned char>(v);
  b[at + 1] = static_cast<unsigned char>(v >> 8);
}

void put32(std::vector<unsigned char>& b, std::size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    b[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(v >> (8 * i));
}

// A 24-bit BMP with a 40-byte information header; pixel (x, y) has blue x, green y, red 7.
std::vector<unsigned char> makeBmp(int32_t width, int32_t height) {
  const uint32_t stride = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
  const uint32_t rows = static_cast<uint32_t>(height < 0 ? -height : height);
  std::vector<unsigned char> b(54 + stride * rows, 0);
  b[0] = 'B';
  b[1] = 'M';
  put32(b, 2, static_cast<uint32_t>(b.size()));
  put32(b, 10, 54);
  put32(b, 14, 40);
  put32(b, 18, static_cast<uint32_t>(width));
  put32(b, 22, static_cast<uint32_t>(height));
  put16(b, 26, 1);
  put16(b, 28, 24);
  for (uint32_t row = 0; row < rows; ++row) {
    const uint32_t y = height < 0 ? row : rows - 1 - row;
    for (int32_t x = 0; x < width; ++x) {
      unsigned char* p = &b[54 + row * stride + static_cast<uint32_t>(x) * 3];
      p[0] = static_cast<unsigned char>(x);
      p[1] = static_cast<unsigned char>(y);
      p[2] = 7;
    }
  }
  return b;
}

TEST(BmpDecoder, ReadsBottomUpAndTopDownRows) {
  for (int32_t height : {3, -3}) {
    bmp::Image image;
    ASSERT_TRUE(bmp::decode(makeBmp(5, height).data(), makeBmp(5, height).size(), image));
    EXPECT_EQ(image.width, 5);
    EXPECT_EQ(image.height, 3);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x)
        EXPECT_EQ(image.pixels[static_cast<std::size_t>(y * 5 + x)],
                  0xFF070000u | (static_cast<uint32_t>(y) << 8) | static_cast<uint32_t>(x))
            << "height " << height << " at " << x << "," << y;
  }
}

TEST(BmpDecoder, ReadsTheFrontPanel) {
  const ombrine::ResourceBlob blob = ombrine::findResource("FrontPanel.bmp");
  ASSERT_NE(blob.data, nullptr);
  bmp::Image image;
  ASSERT_TRUE(bmp::decode(blob.data, blob.size, image));
  EXPECT_EQ(image.width, 890);
  EXPECT_EQ(image.height, 162);
}

TEST(BmpDecoder, RejectsMalformedFiles) {
  using Edit = std::function<void(std::vector<unsigned char>&)>;
  const struct {
    const char* what;
    Edit edit;
  } cases[] = {
      {"wrong signature", [](auto& b) { b[1] = 'X'; }},
      {"truncated header", [](auto& b) { b.resize(30); }},
      {"core header", [](auto& b) { put32(b, 14, 12); }},
      {"header larger than file",
       [](auto& b) {
         put32(b, 14, 124);
         b.resize(100);
       }},
      {"zero width", [](auto& b) { put32(b, 18, 0); }},
      {"negative width", [](auto& b) { put32(b, 18, static_cast<uint32_t>(-4)); }},
      {"zero height", [](auto& b) { put32(b, 22, 0); }},
      {"most negative height", [](auto& b) { put32(b, 22, 0x80000000u); }},
      {"huge width", [](auto& b) { put32(b, 18, 1u << 30); }},
      {"two planes", [](auto& b) { put16(b, 26, 2); }},
      {"32 bits per pixel", [](auto& b) { put16(b, 28, 32); }},
      {"8 bits per pixel", [](auto& b) { put16(b, 28, 8); }},
      {"compressed", [](auto& b) { put32(b, 30, 1); }},
      {"pixels inside the header", [](auto& b) { put32(b, 10, 20); }},
      {"pixels beyond the end", [](auto& b) { put32(b, 10, 0xFFFFFFF0u); }},
      {"truncated pixel data", [](auto& b) { b.resize(b.size() - 4); }},
      {"taller than stored", [](auto& b) { put32(b, 22, 40); }},
  };
  for (const auto& c : cases) {
    std::vector<unsigned char> file = makeBmp(5, 3);
    c.edit(file);
    bmp::Image image;
    image.width = 99;
    EXPECT_FALSE(bmp::decode(file.data(), file.size(), image)) << c.what;
    EXPECT_EQ(image.width, 99) << c.what; // untouched
    // And the bitmap made from it is empty.
    testhooks::setResourceSource([&](const char*, std::vector<unsigned char>& bytes) {
      bytes = file;
      return true;
    });
    auto* bitmap = new CBitmap(CResourceDescription("broken.bmp"));
    EXPECT_EQ(bitmap->getWidth(), 0) << c.what;
    EXPECT_EQ(bitmap->getHeight(), 0) << c.what;
    bitmap->forget();
  }
  testhooks::setResourceSource({});
}

TEST(BmpDecoder, AcceptsAMissingLastRowPad) {
  std::vector<unsigned char> file = makeBmp(5, 3); // 15 data bytes per 16-byte row
  file.pop_back();
  bmp::Image image;
  EXPECT_TRUE(bmp::decode(file.data(), file.size(), image));
}

TEST(CBitmapTest, LoadsByNameRegardlessOfCaseAndCountsLoads) {
  testhooks::resetBitmapLoadCounts();
  auto* knob = new CBitmap(CResourceDescription("bakeliteknob7.PNG"));
  EXPECT_EQ(knob->getWidth(), 52);
  EXPECT_EQ(knob->getHeight(), 364);
  auto* missing = new CBitmap(CResourceDescription("NoSuchImage.png"));
  EXPECT_EQ(missing->getWidth(), 0);
  auto* numbered = new CBitmap(CResourceDescription(128));
  EXPECT_EQ(numbered->getHeight(), 0);
  EXPECT_EQ(testhooks::bitmapLoadCount("BakeliteKnob7.png"), 1);
  EXPECT_EQ(testhooks::bitmapLoadCount("NoSuchImage.png"), 1);
  knob->forget();
  missing->forget();
  numbered->forget();
}

class CountedView : public CView {
public:
  CountedView(int& destroyed) : CView(CRect(0, 0, 1, 1)), destroyed(destroyed) {}
  ~CountedView() override { ++destroyed; }

private:
  int& destroyed;
};

TEST(ReferenceCounting, LastForgetDestroys) {
  int destroyed = 0;
  auto* view = new CountedView(destroyed);
  view->remember();
  EXPECT_EQ(view->getNbReference(), 2);
  view->forget();
  EXPECT_EQ(destroyed, 0);
  view->forget();
  EXPECT_EQ(destroyed, 1);
}

TEST(ReferenceCounting, FrameReleasesItsViewsAndAViewItsBitmap) {
  int destroyed = 0;
  auto* bitmap = new CBitmap(CResourceDescription("MetalSwitch.png"));
  auto* frame = new CFrame(CRect(0, 0, 10, 10), nullptr);
  auto* view = new CountedView(destroyed);
  view->setBackground(bitmap);
  EXPECT_EQ(bitmap->getNbReference(), 2);
  frame->addView(view);
  frame->forget();
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(bitmap->getNbReference(), 1);
  bitmap->forget();
}

TEST(ControlValue, LimitedToTheRangeAndNaNIgnored) {
  CControl control(CRect(0, 0, 10, 10));
  control.setDirty(false);
  control.setValue(0.25f);
  EXPECT_FLOAT_EQ(control.getValue(), 0.25f);
  EXPECT_TRUE(control.isDirty());
  control.setDirty(false);
  control.setValue(0.25f); // same value: nothing to redraw
  EXPECT_FALSE(control.isDirty());
  control.setValue(3.0f);
  EXPECT_FLOAT_EQ(control.getValue(), 1.0f);
  control.setValue(-3.0f);
  EXPECT_FLOAT_EQ(control.getValue(), 0.0f);
  control.setValue(std::numeric_limits<float>::quiet_NaN());
  EXPECT_FLOAT_EQ(control.getValue(), 0.0f);
  control.setValue(std::numeric_limits<float>::infinity());
  EXPECT_FLOAT_EQ(control.getValue(), 1.0f);
}

TEST(AnimKnob, SubImageIsFloorOfCountTimesValueAndTheLastAtOne) {
  const struct {
    int frames;
    float value;
    int expected;
  } cases[] = {
      {99, 0.0f, 0},    {99, 0.5f, 49},   {99, 0.99f, 98}, {99, 1.0f, 98},
      {99, 0.0101f, 0}, {99, 0.0102f, 1}, {7, 0.5f, 3},    {7, 0.999f, 6},
      {7, 1.0f, 6},     {7, 0.142f, 0},   {7, 0.143f, 1},  {6, 1.0f, 5},
      {6, 0.43f, 2},    {6, 0.1666f, 0},  {6, 0.1667f, 1}, {6, 0.8334f, 5},
  };
  for (const auto& c : cases) {
    CAnimKnob knob(CRect(0, 0, 52, 52), nullptr, 0, c.frames, 52, nullptr);
    EXPECT_EQ(knob.subImageIndex(c.value), c.expected) << c.frames << " frames, value " << c.value;
  }
}

TEST(FrameRedraw, DirtyControlsAreDrawnAtIdleOnly) {
  auto* strip = new CBitmap(CResourceDescription("MetalSwitchWithLed.png"));
  auto* frame = new CFrame(CRect(0, 0, 26, 58), nullptr, nullptr);
  auto* button = new COnOffButton(CRect(0, 0, 26, 58), nullptr, 0, strip);
  strip->forget();
  frame->addView(button);
  frame->idle();
  const PixelImage off = snapshot::capture(*frame);
  button->setValue(1.0f);
  EXPECT_EQ(snapshot::capture(*frame).pixels, off.pixels);
  frame->idle();
  const PixelImage on = snapshot::capture(*frame);
  EXPECT_NE(on.pixels, off.pixels);
  button->setValue(0.0f);
  frame->idle();
  EXPECT_EQ(snapshot::capture(*frame).pixels, off.pixels);
  frame->forget();
}

} // namespace
