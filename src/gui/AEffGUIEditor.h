// Binds a toolkit frame to a VST 2.4 effect: the editor the dispatcher calls.
// It hands the host's rectangle request, idle calls, keys and wheel to the
// frame, and the frame's edit announcements to the effect (and so to the host).
// Threads: everything runs on the host's user-interface thread.
#pragma once

#include "formats/vst2/AEffEditor.h"
#include "formats/vst2/vst2abi.h"
#include "gui/CFrame.h"
#include "gui/VSTGUIEditorInterface.h"

#include <atomic>
#include <cstdint>

class AudioEffect;

namespace VSTGUI {

class AEffGUIEditor : public AEffEditor, public VSTGUIEditorInterface {
public:
  // Registers the editor with the effect (which then reports having one).
  explicit AEffGUIEditor(AudioEffect* effect);
  ~AEffGUIEditor() override;

  bool getRect(ERect** ppRect) override;
  bool open(void* ptr) override;
  void close() override;
  void idle() override;
  bool onKeyDown(VstKeyCode& keyCode) override;
  bool onKeyUp(VstKeyCode& keyCode) override;
  bool onWheel(float distance) override;

  // The host's request for another knob mode (the VST 2.4 operation) is
  // refused by AEffEditor. This one sets the toolkit-wide mode the knobs follow.
  using AEffEditor::setKnobMode;
  static bool setKnobMode(CKnobMode mode);
  int32_t getKnobMode() const override;

  // Lets the host run while a long gesture keeps the user-interface thread:
  // at most every 100 ms it runs idle, one paint request and the host's idle.
  void doIdleStuff() override;
  void beginEdit(int32_t index) override;
  void endEdit(int32_t index) override;
  bool beforeSizeChange(const CRect& newSize, const CRect& oldSize) override;

  // Pacing constants of doIdleStuff, in milliseconds.
  static constexpr uint32_t kIdleRate = 100;
  static constexpr uint32_t kIdleWait = 4;
  static constexpr uint32_t kIdleSlack = 50;

protected:
  ERect rect{};
  uint32_t lLastTicks;
  bool inIdleStuff = false;

private:
  static std::atomic<int32_t> knobMode;
};

} // namespace VSTGUI
