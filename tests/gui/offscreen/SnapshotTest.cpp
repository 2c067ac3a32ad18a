// What the panel draws: every control shows the sub-image its value selects,
// blended over the front panel, and redraws wait for the next idle.
#include "GuiTestSupport.h"
#include "formats/vst2/editor/AEffGUIEditor.h"

#include <gtest/gtest.h>
#include <map>
#include <string>

using namespace VSTGUI;
using guitest::ControlLayout;
using guitest::RecordingEffect;

namespace {

struct Images {
  PixelImage background = guitest::panelImage("FrontPanel.bmp");
  std::map<std::string, PixelImage> strips;

  const PixelImage& strip(const char* name) {
    auto it = strips.find(name);
    if (it == strips.end()) it = strips.emplace(name, guitest::panelImage(name)).first;
    return it->second;
  }
};

Images& images() {
  static Images instance;
  return instance;
}

PixelImage drawPanel(const std::array<float, guitest::kNumParams>& values) {
  RecordingEffect effect(values);
  auto* editor = new AEffGUIEditor(&effect);
  editor->open(nullptr);
  editor->idle();
  PixelImage image = snapshot::capture(*editor->getFrame());
  editor->close();
  return image;
}

void expectPanelShows(const PixelImage& drawn,
                      const std::array<float, guitest::kNumParams>& values) {
  ASSERT_EQ(drawn.width, 890);
  ASSERT_EQ(drawn.height, 162);
  const PixelImage& background = images().background;
  ASSERT_EQ(background.width, 890);
  for (const ControlLayout& c : guitest::panelLayout()) {
    const PixelImage& strip = images().strip(c.image);
    const float v = values[static_cast<std::size_t>(c.tag)];
    const guitest::Match match = guitest::bestSubImage(drawn, background, strip, c);
    EXPECT_EQ(match.subImage, guitest::expectedSubImage(c, v)) << "tag " << c.tag << " value " << v;
    EXPECT_LE(match.error, 1) << "tag " << c.tag;
  }
  // Outside the controls the front panel shows unchanged.
  int differing = 0;
  for (int y = 0; y < drawn.height; ++y)
    for (int x = 0; x < drawn.width; ++x) {
      bool inControl = false;
      for (const ControlLayout& c : guitest::panelLayout())
        inControl |= x >= c.left && x < c.left + c.width && y >= c.top && y < c.top + c.height;
      if (!inControl && drawn.at(x, y) != background.at(x, y)) ++differing;
    }
  EXPECT_EQ(differing, 0);
}

TEST(PanelSnapshot, InitProgram) {
  expectPanelShows(drawPanel(guitest::kInitValues), guitest::kInitValues);
}

TEST(PanelSnapshot, AllMinimum) {
  std::array<float, guitest::kNumParams> values{};
  values.fill(0.0f);
  expectPanelShows(drawPanel(values), values);
}

TEST(PanelSnapshot, AllMaximum) {
  std::array<float, guitest::kNumParams> values{};
  values.fill(1.0f);
  expectPanelShows(drawPanel(values), values);
}

TEST(PanelSnapshot, StepBoundariesAndSwitchThreshold) {
  // Hi Boost Freq. 0.5 is the fourth of seven positions; the six-step knobs
  // at 1.0 show their last position; 0.99 on a continuous knob is frame 98;
  // switches light from 0.5 up.
  std::array<float, guitest::kNumParams> values = {0.99f, 0.01f, 0.5f, 0.505f, 0.5f, 1.0f, 0.3f,
                                                   0.43f, 0.2f,  1.0f, 0.49f,  0.5f, 0.7f};
  const PixelImage drawn = drawPanel(values);
  expectPanelShows(drawn, values);
  const ControlLayout& hiBoostFreq = guitest::panelLayout()[4];
  EXPECT_EQ(guitest::bestSubImage(drawn, images().background, images().strip(hiBoostFreq.image),
                                  hiBoostFreq)
                .subImage,
            3);
}

TEST(PanelSnapshot, HostChangesAppearAtTheNextIdleOnly) {
  RecordingEffect effect;
  auto* editor = new AEffGUIEditor(&effect);
  ASSERT_TRUE(editor->open(nullptr));
  editor->idle();
  const PixelImage before = snapshot::capture(*editor->getFrame());

  effect.setParameter(0, 1.0f);  // Input to the end
  effect.setParameter(11, 0.0f); // Equalizer off
  EXPECT_EQ(snapshot::capture(*editor->getFrame()).pixels, before.pixels);

  editor->idle();
  auto values = guitest::kInitValues;
  values[0] = 1.0f;
  values[11] = 0.0f;
  expectPanelShows(snapshot::capture(*editor->getFrame()), values);
  EXPECT_TRUE(effect.calls().empty());
  editor->close();
}

} // namespace
