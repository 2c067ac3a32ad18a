// Finding the embedded images by name, the way the editor asks for them.
#include "EmbeddedResources.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace ombrine {
namespace {

TEST(FindResource, FindsEveryImageRegardlessOfCase) {
  struct Case {
    const char* asked;
    const char* stored;
  };
  const Case cases[] = {
      {"FrontPanel.bmp", "FrontPanel.bmp"},
      {"FRONTPANEL.BMP", "FrontPanel.bmp"},
      {"frontpanel.bmp", "FrontPanel.bmp"},
      {"BakeliteKnob.png", "BakeliteKnob.png"},
      {"BAKELITEKNOB6.PNG", "BakeliteKnob6.png"},
      {"bakeliteknob7.png", "BakeliteKnob7.png"},
      {"MetalSwitch.png", "MetalSwitch.png"},
      {"metalSwitchWITHled.PNG", "MetalSwitchWithLed.png"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.asked);
    const ResourceBlob asked = findResource(c.asked);
    const ResourceBlob stored = findResource(c.stored);
    ASSERT_NE(asked.data, nullptr);
    EXPECT_EQ(asked.data, stored.data);
    EXPECT_EQ(asked.size, stored.size);
    EXPECT_GT(asked.size, 100u);
  }
  // Each name leads to its own image.
  EXPECT_NE(findResource("BakeliteKnob.png").data, findResource("BakeliteKnob6.png").data);
  EXPECT_NE(findResource("MetalSwitch.png").data, findResource("MetalSwitchWithLed.png").data);
  EXPECT_EQ(findResource("FrontPanel.bmp").size, 432986u);
}

TEST(FindResource, UnknownNullAndOverlongNamesFindNothing) {
  const std::string longName = "FrontPanel.bmp" + std::string(100000, 'x');
  for (const char* name : {"", "FrontPanel", "FrontPanel.bm", "FrontPanel.bmp ", "FrontPanel.png",
                           "MetalSwitch", "BakeliteKnob8.png", longName.c_str()}) {
    SCOPED_TRACE(std::string(name).substr(0, 40));
    const ResourceBlob blob = findResource(name);
    EXPECT_EQ(blob.data, nullptr);
    EXPECT_EQ(blob.size, 0u);
  }
  const ResourceBlob none = findResource(nullptr);
  EXPECT_EQ(none.data, nullptr);
  EXPECT_EQ(none.size, 0u);
}

} // namespace
} // namespace ombrine
