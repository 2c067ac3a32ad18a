// The plug-in window: one fixed 890 x 162 panel with a bitmap front panel,
// ten film-strip knobs and three switches, one control per parameter; the
// control tag is the parameter index.
//
// Threads: the host calls open, close, idle, the key operations and getRect on
// its user-interface thread, where the controls also report user edits
// (valueChanged). setParameter comes from whichever thread set the effect's
// parameter; it only stores the value in a control, and the next idle draws it.
#pragma once

#include "editor/PanelLayout.h"
#include "gui/vstgui.h"

#include <array>
#include <atomic>

class AudioEffect;

class ORVEL_GUI : public VSTGUI::AEffGUIEditor, public VSTGUI::CControlListener {
public:
  explicit ORVEL_GUI(AudioEffect* effect);
  ~ORVEL_GUI() override;

  bool open(void* ptr) override;
  void close() override;
  void setParameter(VstInt32 index, float value) override;
  void valueChanged(VSTGUI::CControl* control) override;

  // Panel size in pixels.
  static constexpr VstInt16 kWidth = panel::kWidth;
  static constexpr VstInt16 kHeight = panel::kHeight;
  static constexpr int kNumControls = 13;

  // The control for a parameter while the editor is open, null otherwise.
  VSTGUI::CControl* getControl(int tag) const;
  VSTGUI::CTextLabel* getCornerLabel() const { return cornerLabel; }

private:
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
