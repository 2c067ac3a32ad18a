// The plug-in window: one fixed 890 x 162 panel with a bitmap front panel,
// ten film-strip knobs and three switches, one control per parameter; the
// control tag is the parameter index. It knows no plug-in format: it reads
// values from and reports edits to an EditController, and each format's glue
// hands it the host's window, idle calls, keys and wheel.
//
// Threads: open, close, idle, the key and wheel operations run on the host's
// user-interface thread, where the controls also report user edits
// (valueChanged). setParameter comes from whichever thread set the plug-in's
// parameter; it only stores the value in a control, and the next idle draws it.
#pragma once

#include "editor/EditController.h"
#include "editor/PanelLayout.h"
#include "gui/vstgui.h"

#include <array>
#include <atomic>
#include <cstdint>

class ORVEL_GUI : public VSTGUI::VSTGUIEditorInterface, public VSTGUI::CControlListener {
public:
  // Initialises the platform's user-interface support for the calling thread.
  explicit ORVEL_GUI(EditController* controller);
  ~ORVEL_GUI() override;

  ORVEL_GUI(const ORVEL_GUI&) = delete;
  ORVEL_GUI& operator=(const ORVEL_GUI&) = delete;

  // Builds the panel inside the host's parent window (null: an in-memory frame). Always true.
  bool open(void* parentWindow);
  // Removes the panel; nothing when it is closed.
  void close();
  bool isOpen() const { return frame != nullptr; }
  // Redraws the controls whose values changed.
  void idle();
  // Keys and the wheel (at the mouse position); true when the panel used them.
  bool onKeyDown(VSTGUI::KeyEvent& key);
  bool onKeyUp(VSTGUI::KeyEvent& key);
  bool onWheel(float distance);

  // The plug-in's value for a parameter changed: the control shows it from the next idle.
  // Indices outside 0..12 are ignored.
  void setParameter(int index, float value);
  void valueChanged(VSTGUI::CControl* control) override;

  // VSTGUIEditorInterface, for the frame: edits go to the controller; a long gesture lets the
  // host run at most every 100 ms (idle, one paint request and the host's own idle).
  void doIdleStuff() override;
  int32_t getKnobMode() const override { return knobMode; }
  void beginEdit(int32_t index) override;
  void endEdit(int32_t index) override;

  // Pacing constants of doIdleStuff, in milliseconds.
  static constexpr uint32_t kIdleRate = 100;
  static constexpr uint32_t kIdleWait = 4;
  static constexpr uint32_t kIdleSlack = 50;

  // Panel size in pixels.
  static constexpr int kWidth = panel::kWidth;
  static constexpr int kHeight = panel::kHeight;
  static constexpr int kNumControls = kNumParams;

  // The control for a parameter while the editor is open, null otherwise.
  VSTGUI::CControl* getControl(int tag) const;
  VSTGUI::CTextLabel* getCornerLabel() const { return cornerLabel; }

private:
  EditController* controller;
  uint32_t lLastTicks;
  bool inIdleStuff = false;
  int32_t knobMode = VSTGUI::kCircularMode;

  VSTGUI::CAnimKnob* loBoostKnob = nullptr;
  VSTGUI::CAnimKnob* loCutKnob = nullptr;
  VSTGUI::CAnimKnob* loFreqKnob = nullptr;
  VSTGUI::CAnimKnob* hiBoostKnob = nullptr;
  VSTGUI::CAnimKnob* hiCutKnob = nullptr;
  VSTGUI::CAnimKnob* hiBoostFreqKnob = nullptr;
  VSTGUI::CAnimKnob* hiCutFreqKnob = nullptr;
  VSTGUI::CAnimKnob* hiFreqQKnob = nullptr;
  VSTGUI::CAnimKnob* inputKnob = nullptr;
  VSTGUI::CAnimKnob* outputKnob = nullptr;
  VSTGUI::COnOffButton* modeSwitch = nullptr;
  VSTGUI::COnOffButton* equalizerSwitch = nullptr;
  VSTGUI::COnOffButton* tubeBufferSwitch = nullptr;
  VSTGUI::CBitmap* background = nullptr;
  VSTGUI::CTextLabel* cornerLabel = nullptr;
  bool backgroundLoaded = false;
  std::array<VSTGUI::CControl*, kNumControls> controlByTag{};

  // Hand-off with setParameter on other threads: the controls are published
  // once built, and close waits until no setParameter is still writing to
  // them before they are destroyed. The writer side never waits.
  std::atomic<bool> controlsPublished{false};
  std::atomic<int> parameterWriters{0};
};
