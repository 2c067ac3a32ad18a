// User gestures on the panel, sent to the in-memory frame as synthetic events:
// what the effect receives and which host notifications follow, in order.
#include "GuiTestSupport.h"
#include "formats/vst2/editor/AEffGUIEditor.h"
#include "formats/vst2/editor/VstKeys.h"
#include "gui/platform/TestHooks.h"

#include <gtest/gtest.h>

using namespace VSTGUI;
using guitest::automate;
using guitest::beginEdit;
using guitest::endEdit;
using guitest::HostCall;
using guitest::RecordingEffect;
using Calls = std::vector<HostCall>;

namespace {

// Knob centres and switch levers on the panel.
constexpr CPoint kInputCentre(101, 111);
constexpr CPoint kLoFreqCentre(243, 111);
constexpr CPoint kHiCutFreqCentre(647, 111);
constexpr CPoint kLoBoostCentre(184, 51);
constexpr CPoint kEqualizerLever(789, 52);
constexpr CPoint kEqualizerLamp(791, 24);
constexpr CPoint kTubeLever(836, 52);
constexpr CPoint kModeLever(40, 111);

class GestureTest : public ::testing::Test {
protected:
  void SetUp() override {
    editor = new AEffGUIEditor(&effect);
    ASSERT_TRUE(editor->open(nullptr));
    editor->idle();
    effect.clearCalls();
  }
  void TearDown() override { editor->close(); }

  CFrame* frame() { return editor->getFrame(); }
  float value(int tag) { return editor->getPanel()->getControl(tag)->getValue(); }

  CMouseEventResult press(CPoint where, int32_t buttons = kLButton) {
    return frame()->onMouseDown(where, CButtonState(buttons));
  }
  void move(CPoint where, int32_t buttons = kLButton) {
    frame()->onMouseMoved(where, CButtonState(buttons));
  }
  void release(CPoint where, int32_t buttons = kLButton) {
    frame()->onMouseUp(where, CButtonState(buttons));
  }
  bool key(unsigned char virt, unsigned char modifier = 0) {
    VstKeyCode code{0, virt, modifier};
    return editor->onKeyDown(code);
  }

  RecordingEffect effect;
  AEffGUIEditor* editor = nullptr;
};

CPoint offset(CPoint p, double dx, double dy) { return CPoint(p.x + dx, p.y + dy); }

TEST_F(GestureTest, LinearDragUpAndRightIncreaseAt200PixelsForTheRange) {
  EXPECT_EQ(press(kInputCentre), kMouseEventHandled);
  EXPECT_EQ(effect.calls(), Calls{beginEdit(0)});
  move(offset(kInputCentre, 0, -20)); // 20 px up: +0.1
  EXPECT_NEAR(value(0), 0.6f, 1e-6);
  move(offset(kInputCentre, 20, -20)); // and 20 px right: +0.1 more
  EXPECT_NEAR(value(0), 0.7f, 1e-6);
  move(offset(kInputCentre, 20, -20)); // no motion, no notification
  move(offset(kInputCentre, 0, -200)); // past the end: limited to 1
  EXPECT_FLOAT_EQ(value(0), 1.0f);
  move(offset(kInputCentre, 0, -300)); // still 1: nothing sent
  release(offset(kInputCentre, 0, -300));

  const Calls calls = effect.calls();
  ASSERT_EQ(calls.size(), 5u) << guitest::describe(calls);
  EXPECT_EQ(calls.front(), beginEdit(0));
  EXPECT_EQ(calls[1].opcode, audioMasterAutomate);
  EXPECT_NEAR(calls[1].opt, 0.6f, 1e-6);
  EXPECT_NEAR(calls[2].opt, 0.7f, 1e-6);
  EXPECT_EQ(calls[3], automate(0, 1.0f));
  EXPECT_EQ(calls.back(), endEdit(0));
  EXPECT_FLOAT_EQ(effect.getParameter(0), 1.0f);
}

TEST_F(GestureTest, DragDownAndLeftDecreaseAndStopAtZero) {
  press(kInputCentre);
  move(offset(kInputCentre, -10, 30)); // 40 px: -0.2
  EXPECT_NEAR(value(0), 0.3f, 1e-6);
  move(offset(kInputCentre, -100, 300));
  EXPECT_FLOAT_EQ(value(0), 0.0f);
  release(offset(kInputCentre, -100, 300));
  EXPECT_FLOAT_EQ(effect.getParameter(0), 0.0f);
}

TEST_F(GestureTest, ShiftMakesTheDragFinerByTheZoomFactorWithoutAJump) {
  press(kInputCentre, kLButton | kShift);
  move(offset(kInputCentre, 0, -30), kLButton | kShift); // 300 px per range
  EXPECT_NEAR(value(0), 0.6f, 1e-6);
  // Releasing Shift mid-drag continues from where the fine scale got to (31 px
  // at 300 px per range), then goes on at 200 px per range.
  move(offset(kInputCentre, 0, -31), kLButton);
  EXPECT_NEAR(value(0), 0.5f + 31.0f / 300.0f, 1e-5);
  move(offset(kInputCentre, 0, -51), kLButton);
  EXPECT_NEAR(value(0), 0.5f + 31.0f / 300.0f + 0.1f, 1e-5);
  release(offset(kInputCentre, 0, -51));
}

TEST_F(GestureTest, AltAtThePressMakesTheDragCircular) {
  press(kInputCentre, kLButton | kAlt);
  EXPECT_FLOAT_EQ(value(0), 0.5f);                    // the press itself changes nothing
  move(offset(kInputCentre, 20, 0), kLButton | kAlt); // 3 o'clock: 225 of 270 degrees
  EXPECT_NEAR(value(0), 225.0f / 270.0f, 1e-4);
  move(offset(kInputCentre, 0, -20), kLButton); // straight up: the middle
  EXPECT_NEAR(value(0), 0.5f, 1e-4);
  move(offset(kInputCentre, -20, 0), kLButton); // 9 o'clock
  EXPECT_NEAR(value(0), 45.0f / 270.0f, 1e-4);
  release(offset(kInputCentre, -20, 0));
  const Calls calls = effect.calls();
  EXPECT_EQ(calls.front(), beginEdit(0));
  EXPECT_EQ(calls.back(), endEdit(0));
}

TEST_F(GestureTest, ControlClickOnAKnobAtItsDefaultOnlyBeginsAndEnds) {
  EXPECT_EQ(press(kInputCentre, kLButton | kControl),
            kMouseDownEventHandledButDontNeedMovedOrUpEvents);
  EXPECT_EQ(effect.calls(), (Calls{beginEdit(0), endEdit(0)}));
}

TEST_F(GestureTest, ControlClickRestoresEachKnobsDefault) {
  struct Case {
    int tag;
    CPoint centre;
    float defaultValue;
  };
  const Case cases[] = {{0, kInputCentre, 0.5f},
                        {7, kLoBoostCentre, 0.0f},
                        {9, kLoFreqCentre, 0.0f},
                        {5, kHiCutFreqCentre, 1.0f}};
  for (const Case& c : cases) {
    effect.setParameter(c.tag, 0.3f);
    effect.clearCalls();
    press(c.centre, kLButton | kControl);
    release(c.centre); // the gesture is over; a stray release changes nothing
    EXPECT_EQ(effect.calls(),
              (Calls{beginEdit(c.tag), beginEdit(c.tag), automate(c.tag, c.defaultValue),
                     endEdit(c.tag), endEdit(c.tag)}))
        << "tag " << c.tag << ": " << guitest::describe(effect.calls());
    EXPECT_FLOAT_EQ(effect.getParameter(c.tag), c.defaultValue);
  }
}

TEST_F(GestureTest, ControlWithAnotherModifierIsAnOrdinaryDrag) {
  press(kInputCentre, kLButton | kControl | kShift);
  move(offset(kInputCentre, 0, -30), kLButton | kControl | kShift);
  release(offset(kInputCentre, 0, -30));
  const Calls calls = effect.calls();
  ASSERT_EQ(calls.size(), 3u) << guitest::describe(calls);
  EXPECT_EQ(calls[0], beginEdit(0));
  EXPECT_NEAR(calls[1].opt, 0.6f, 1e-6);
  EXPECT_EQ(calls[2], endEdit(0));
}

TEST_F(GestureTest, OtherButtonsDoNothingOnKnobs) {
  EXPECT_EQ(press(kInputCentre, kLButton | kRButton | kControl), kMouseEventNotHandled);
  EXPECT_EQ(press(kInputCentre, kRButton), kMouseEventNotHandled);
  move(offset(kInputCentre, 0, -50), kRButton);
  release(offset(kInputCentre, 0, -50), kRButton);
  EXPECT_TRUE(effect.calls().empty());
  EXPECT_FLOAT_EQ(value(0), 0.5f);
}

TEST_F(GestureTest, SlowLowFrequencyDragSendsIntermediateValues) {
  press(kLoFreqCentre);
  for (int dy = 1; dy <= 86; ++dy)
    move(offset(kLoFreqCentre, 0, -dy));
  release(offset(kLoFreqCentre, 0, -86));
  EXPECT_NEAR(effect.getParameter(9), 0.43f, 1e-5);
  EXPECT_EQ(effect.calls().size(), 88u); // begin, 86 values, end
  auto* knob = dynamic_cast<CAnimKnob*>(editor->getPanel()->getControl(9));
  ASSERT_NE(knob, nullptr);
  EXPECT_EQ(knob->subImageIndex(knob->getValue()), 2); // floor(6 * 0.43)
}

TEST_F(GestureTest, SwitchClickOnTheLeverTogglesToExactlyOneOrZero) {
  effect.setParameter(10, 0.7f); // on, but not exactly 1
  press(kTubeLever);
  EXPECT_EQ(effect.calls(), (Calls{beginEdit(10), automate(10, 1.0f), endEdit(10)}));
  effect.clearCalls();
  press(kTubeLever);
  EXPECT_EQ(effect.calls(), (Calls{beginEdit(10), automate(10, 0.0f), endEdit(10)}));
  effect.clearCalls();
  press(kModeLever); // Mode starts at 1 (stereo)
  EXPECT_EQ(effect.calls(), (Calls{beginEdit(12), automate(12, 0.0f), endEdit(12)}));
  EXPECT_FLOAT_EQ(effect.getParameter(12), 0.0f);
}

TEST_F(GestureTest, ClicksOutsideTheLeverAreIgnored) {
  // The lamp, the switch's top corner and a point just outside the lever area.
  for (CPoint p : {kEqualizerLamp, CPoint(778, 8), CPoint(780, 43), CPoint(798, 52), CPoint(28, 98),
                   CPoint(870, 10)}) {
    press(p);
    release(p);
  }
  EXPECT_TRUE(effect.calls().empty()) << guitest::describe(effect.calls());
  EXPECT_FLOAT_EQ(value(11), 1.0f);
  // The lever's corners react.
  press(CPoint(781, 43));
  press(CPoint(797, 61));
  EXPECT_EQ(effect.calls().size(), 6u);
  EXPECT_FLOAT_EQ(value(11), 1.0f);
}

TEST_F(GestureTest, ReturnTogglesTheFocusedSwitch) {
  EXPECT_FALSE(key(VKEY_RETURN)); // nothing has the focus yet
  EXPECT_TRUE(key(VKEY_TAB));     // Mode, the first control
  EXPECT_TRUE(key(VKEY_TAB));     // Equalizer
  EXPECT_EQ(frame()->getFocusView(), editor->getPanel()->getControl(11));
  EXPECT_FALSE(key(VKEY_RETURN, MODIFIER_SHIFT)); // only plain Return
  EXPECT_TRUE(effect.calls().empty());
  EXPECT_TRUE(key(VKEY_RETURN));
  EXPECT_EQ(effect.calls(), (Calls{beginEdit(11), automate(11, 0.0f), endEdit(11)}));
  EXPECT_FLOAT_EQ(effect.getParameter(11), 0.0f);
  // Through the host's key opcode as well.
  effect.clearCalls();
  EXPECT_EQ(effect.dispatcher(effEditKeyDown, 0, VKEY_RETURN, nullptr, 0.0f), 1);
  EXPECT_EQ(effect.calls(), (Calls{beginEdit(11), automate(11, 1.0f), endEdit(11)}));
}

TEST_F(GestureTest, WheelOverAKnobStepsItAsAnEdit) {
  move(kInputCentre, 0); // the pointer rests on the Input knob
  EXPECT_TRUE(editor->onWheel(1.0f));
  EXPECT_EQ(effect.calls(), (Calls{beginEdit(0), automate(0, 0.6f), endEdit(0)}));
  effect.clearCalls();
  move(CPoint(5, 5), 0); // over the bare panel
  EXPECT_FALSE(editor->onWheel(1.0f));
  EXPECT_TRUE(effect.calls().empty());
}

TEST_F(GestureTest, HostAutomationDuringADragDoesNotNotifyTheHost) {
  press(kInputCentre);
  effect.setParameter(0, 0.9f); // automation playback moves the knob
  EXPECT_FLOAT_EQ(value(0), 0.9f);
  EXPECT_EQ(effect.calls(), Calls{beginEdit(0)});
  release(kInputCentre);
}

TEST_F(GestureTest, ClosingDuringADragDropsTheGesture) {
  press(kInputCentre);
  editor->close();
  EXPECT_EQ(editor->getFrame(), nullptr);
  ASSERT_TRUE(editor->open(nullptr)); // for TearDown
}

TEST(IdlePacing, DoIdleStuffRunsAtMostEvery100Milliseconds) {
  uint32_t now = 1000;
  int slept = 0;
  testhooks::setTickSource([&] { return now; });
  testhooks::setSleepHook([&](uint32_t ms) {
    slept += static_cast<int>(ms);
    now += ms;
  });
  {
    RecordingEffect effect;
    auto* editor = new AEffGUIEditor(&effect); // first due time: 1000
    ASSERT_TRUE(editor->open(nullptr));
    editor->getPanel()->doIdleStuff(); // due: runs, next due 1100
    EXPECT_EQ(effect.masterIdleCount(), 1);
    EXPECT_EQ(slept, 0);
    now = 1010;
    editor->getPanel()->doIdleStuff(); // 90 ms early: waits 4 ms and returns
    EXPECT_EQ(effect.masterIdleCount(), 1);
    EXPECT_EQ(slept, 4);
    now = 1060;
    editor->getPanel()->doIdleStuff(); // within 50 ms of the due time after the wait: runs
    EXPECT_EQ(effect.masterIdleCount(), 2);
    now = 2000;
    editor->getPanel()->doIdleStuff();
    EXPECT_EQ(effect.masterIdleCount(), 3);
    editor->close();
  }
  testhooks::setTickSource({});
  testhooks::setSleepHook({});
}

} // namespace
