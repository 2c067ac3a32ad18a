// The panel editor on the in-memory frame: size, image loading, layout,
// open/close life cycle and how values reach the controls.
#include "GuiTestSupport.h"
#include "formats/vst2/editor/AEffGUIEditor.h"
#include "gui/platform/TestHooks.h"

#include <gtest/gtest.h>

using namespace VSTGUI;
using guitest::RecordingEffect;

namespace {

class EditorTest : public ::testing::Test {
protected:
  void SetUp() override {
    testhooks::resetBitmapLoadCounts();
    effect = std::make_unique<RecordingEffect>();
    editor = new AEffGUIEditor(effect.get()); // owned by the effect
  }
  void TearDown() override { testhooks::setResourceSource({}); }

  std::unique_ptr<RecordingEffect> effect;
  AEffGUIEditor* editor = nullptr;
};

TEST_F(EditorTest, RegistersWithTheEffectAndReportsItsRectangleBeforeOpening) {
  EXPECT_EQ(effect->getEditor(), editor);
  EXPECT_EQ(effect->getAeffect()->flags & effFlagsHasEditor, effFlagsHasEditor);
  ERect* rect = nullptr;
  ASSERT_TRUE(editor->getRect(&rect));
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->top, 0);
  EXPECT_EQ(rect->left, 0);
  EXPECT_EQ(rect->bottom, 162);
  EXPECT_EQ(rect->right, 890);
  EXPECT_EQ(editor->getFrame(), nullptr);
  // Nothing is loaded before the first open.
  EXPECT_EQ(testhooks::bitmapLoadCount("FrontPanel.bmp"), 0);
}

TEST_F(EditorTest, FrontPanelLoadsOnceAndStripsAtEveryOpen) {
  ASSERT_TRUE(editor->open(nullptr));
  editor->close();
  ASSERT_TRUE(editor->open(nullptr));
  EXPECT_EQ(testhooks::bitmapLoadCount("FrontPanel.bmp"), 1);
  for (const char* strip : {"MetalSwitch.png", "MetalSwitchWithLed.png", "BakeliteKnob.png",
                            "BakeliteKnob6.png", "BakeliteKnob7.png"})
    EXPECT_EQ(testhooks::bitmapLoadCount(strip), 2) << strip;
  // The same front panel object serves the second frame.
  ASSERT_NE(editor->getFrame(), nullptr);
  EXPECT_EQ(editor->getFrame()->getBackground()->getWidth(), 890);
  editor->close();
}

TEST_F(EditorTest, SecondOpenShowsValuesChangedWhileClosed) {
  ASSERT_TRUE(editor->open(nullptr));
  editor->close();
  const float values[guitest::kNumParams] = {0.1f, 0.9f,  0.25f, 0.75f, 0.3f, 0.2f, 0.6f,
                                             0.4f, 0.55f, 0.8f,  0.0f,  0.7f, 0.0f};
  for (int i = 0; i < guitest::kNumParams; ++i)
    effect->setParameter(i, values[i]);
  ASSERT_TRUE(editor->open(nullptr));
  for (int i = 0; i < guitest::kNumParams; ++i) {
    ASSERT_NE(editor->getPanel()->getControl(i), nullptr);
    EXPECT_FLOAT_EQ(editor->getPanel()->getControl(i)->getValue(), values[i]) << "tag " << i;
    EXPECT_EQ(editor->getPanel()->getControl(i)->getTag(), i);
  }
  editor->close();
}

TEST_F(EditorTest, SetParameterWhileClosedChangesNothing) {
  editor->setParameter(3, 0.7f); // before any open
  ASSERT_TRUE(editor->open(nullptr));
  CControl* hiCut = editor->getPanel()->getControl(3);
  EXPECT_FLOAT_EQ(hiCut->getValue(), 0.0f); // the effect still holds 0
  editor->close();
  EXPECT_EQ(editor->getPanel()->getControl(3), nullptr);
  editor->setParameter(3, 0.9f); // closed again: ignored, no crash
  editor->setParameter(-1, 0.5f);
  editor->setParameter(13, 0.5f);
  EXPECT_TRUE(effect->calls().empty());
}

TEST_F(EditorTest, SetParameterIgnoresIndicesOutsideTheTable) {
  ASSERT_TRUE(editor->open(nullptr));
  std::vector<float> before;
  for (int i = 0; i < guitest::kNumParams; ++i)
    before.push_back(editor->getPanel()->getControl(i)->getValue());
  editor->setParameter(-1, 0.33f);
  editor->setParameter(13, 0.33f);
  editor->setParameter(1000, 0.33f);
  for (int i = 0; i < guitest::kNumParams; ++i)
    EXPECT_FLOAT_EQ(editor->getPanel()->getControl(i)->getValue(),
                    before[static_cast<std::size_t>(i)]);
  editor->close();
}

TEST_F(EditorTest, HostKnobModeRequestIsRefusedAndKnobsStayLinear) {
  ASSERT_TRUE(editor->open(nullptr));
  EXPECT_EQ(effect->dispatcher(effSetEditKnobMode, 0, kCircularMode, nullptr, 0.0f), 0);
  AEffEditor* asHostSeesIt = editor;
  EXPECT_FALSE(asHostSeesIt->setKnobMode(kCircularMode));
  EXPECT_EQ(editor->getPanel()->getKnobMode(), kLinearMode);
  EXPECT_EQ(editor->getFrame()->getKnobMode(), kLinearMode);
  editor->close();
}

TEST_F(EditorTest, CloseWithoutOpenDoesNothing) {
  editor->close();
  editor->close();
  EXPECT_EQ(editor->getFrame(), nullptr);
  EXPECT_EQ(testhooks::bitmapLoadCount("FrontPanel.bmp"), 0);
  ASSERT_TRUE(editor->open(nullptr));
  editor->close();
  editor->close();
  EXPECT_EQ(editor->getFrame(), nullptr);
}

TEST_F(EditorTest, OpeningTwiceKeepsOnePanel) {
  ASSERT_TRUE(editor->open(nullptr));
  ASSERT_TRUE(editor->open(nullptr)); // LeakSanitizer reports the first frame if it leaks
  EXPECT_NE(editor->getPanel()->getControl(0), nullptr);
  EXPECT_EQ(testhooks::bitmapLoadCount("FrontPanel.bmp"), 1);
  editor->close();
  EXPECT_EQ(editor->getFrame(), nullptr);
}

TEST_F(EditorTest, DestroyingTheEffectWithThePanelOpenReleasesEverything) {
  ASSERT_TRUE(editor->open(nullptr));
  effect.reset(); // LeakSanitizer reports the frame, views and images if this leaks
  SUCCEED();
}

TEST_F(EditorTest, LayoutMatchesThePanelTable) {
  ASSERT_TRUE(editor->open(nullptr));
  CFrame* frame = editor->getFrame();
  EXPECT_EQ(frame->getViewSize(), CRect(0, 0, 890, 162));
  // Label plus thirteen controls.
  EXPECT_EQ(frame->getNbViews(), 14);

  const float defaults[guitest::kNumParams] = {0.5f, 0.5f, 0.0f, 0.0f, 0.5f, 1.0f, 0.5f,
                                               0.0f, 0.0f, 0.0f, 0.5f, 0.5f, 0.5f};
  for (const guitest::ControlLayout& c : guitest::panelLayout()) {
    CControl* control = editor->getPanel()->getControl(c.tag);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->getViewSize(), CRect(c.left, c.top, c.left + c.width, c.top + c.height))
        << "tag " << c.tag;
    EXPECT_EQ(control->getListener(), static_cast<CControlListener*>(editor->getPanel()));
    EXPECT_FLOAT_EQ(control->getMin(), 0.0f);
    EXPECT_FLOAT_EQ(control->getMax(), 1.0f);
    EXPECT_FLOAT_EQ(control->getDefaultValue(), defaults[c.tag]) << "tag " << c.tag;
    if (auto* knob = dynamic_cast<CAnimKnob*>(control)) {
      EXPECT_EQ(knob->getNumSubPixmaps(), c.frames) << "tag " << c.tag;
      EXPECT_DOUBLE_EQ(knob->getHeightOfOneImage(), 52.0);
      EXPECT_EQ(control->getMouseableArea(), control->getViewSize());
    } else {
      EXPECT_NE(dynamic_cast<COnOffButton*>(control), nullptr) << "tag " << c.tag;
    }
  }
  EXPECT_EQ(editor->getPanel()->getControl(12)->getMouseableArea(), CRect(31, 101, 49, 122));
  EXPECT_EQ(editor->getPanel()->getControl(11)->getMouseableArea(), CRect(781, 43, 798, 62));
  EXPECT_EQ(editor->getPanel()->getControl(10)->getMouseableArea(), CRect(828, 43, 845, 62));

  CTextLabel* label = editor->getPanel()->getCornerLabel();
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->getViewSize(), CRect(850, 4, 880, 19));
  EXPECT_STREQ(label->getText(), "");
  EXPECT_EQ(label->getFont(), kNormalFontSmaller);
  EXPECT_EQ(label->getFont()->getName(), "Arial");
  EXPECT_DOUBLE_EQ(label->getFont()->getSize(), 10.0);
  EXPECT_EQ(label->getBackColor(), CColor(255, 255, 255, 0));
  EXPECT_EQ(label->getFrameColor(), CColor(255, 255, 255, 0));
  // The label takes no clicks: the frame finds nothing under it.
  EXPECT_EQ(frame->getViewAt(CPoint(870, 10)), nullptr);
  editor->close();
}

TEST_F(EditorTest, MissingImagesGiveEmptyBitmapsAndOpenStillSucceeds) {
  // Only the knob strip is present; everything else is missing or not an image.
  testhooks::setResourceSource([](const char* name, std::vector<unsigned char>& bytes) {
    if (std::string(name) == "BakeliteKnob.png") {
      const ombrine::ResourceBlob blob = ombrine::findResource(name);
      bytes.assign(blob.data, blob.data + blob.size);
      return true;
    }
    if (std::string(name) == "MetalSwitch.png") {
      bytes = {'B', 'M', 1, 2, 3}; // not decodable
      return true;
    }
    return false;
  });
  ASSERT_TRUE(editor->open(nullptr));
  CFrame* frame = editor->getFrame();
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->getBackground()->getWidth(), 0);
  EXPECT_EQ(frame->getBackground()->getHeight(), 0);
  EXPECT_TRUE(frame->getViewSize().isEmpty());
  // Switches take their size from their missing images; knobs from the one present.
  EXPECT_TRUE(editor->getPanel()->getControl(12)->getViewSize().isEmpty());
  EXPECT_TRUE(editor->getPanel()->getControl(11)->getViewSize().isEmpty());
  EXPECT_EQ(editor->getPanel()->getControl(0)->getViewSize(), CRect(75, 85, 127, 137));
  // A knob whose own strip is missing keeps the common size but has nothing to draw.
  auto* loFreq = dynamic_cast<CAnimKnob*>(editor->getPanel()->getControl(9));
  ASSERT_NE(loFreq, nullptr);
  EXPECT_DOUBLE_EQ(loFreq->getHeightOfOneImage(), 0.0);
  EXPECT_EQ(loFreq->getViewSize().getWidth(), 0);
  editor->idle(); // drawing with empty images must not fail
  ERect* rect = nullptr;
  ASSERT_TRUE(editor->getRect(&rect));
  EXPECT_EQ(rect->right, 890);
  EXPECT_EQ(rect->bottom, 162);
  editor->close();
}

TEST_F(EditorTest, ValueChangedAutomatesTheControlsTagAndValue) {
  ASSERT_TRUE(editor->open(nullptr));
  CControl* lowFreq = editor->getPanel()->getControl(9);
  lowFreq->setValue(0.43f);
  editor->getPanel()->valueChanged(lowFreq);
  EXPECT_FLOAT_EQ(effect->getParameter(9), 0.43f);
  EXPECT_EQ(effect->calls(), (std::vector<guitest::HostCall>{guitest::automate(9, 0.43f)}));
  editor->close();
}

TEST_F(EditorTest, HostValuesAreLimitedForDisplayOnly) {
  ASSERT_TRUE(editor->open(nullptr));
  effect->setParameter(0, 1.7f);
  effect->setParameter(1, -0.2f);
  EXPECT_FLOAT_EQ(editor->getPanel()->getControl(0)->getValue(), 1.0f);
  EXPECT_FLOAT_EQ(editor->getPanel()->getControl(1)->getValue(), 0.0f);
  EXPECT_FLOAT_EQ(effect->getParameter(0), 1.7f);
  EXPECT_TRUE(effect->calls().empty()); // host changes are not echoed as edits
  editor->close();
}

} // namespace
