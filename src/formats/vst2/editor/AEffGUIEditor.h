// The panel as a VST 2.4 editor: the dispatcher's editor opcodes (rectangle, open, close, idle,
// keys, wheel) reach the panel, and the panel's reads and edits reach the effect, and so the
// host (begin-edit, automate, end-edit, master idle).
//
// Threads: the host calls everything on its user-interface thread, except setParameter, which
// the effect calls from whichever thread set the parameter.
#pragma once

#include "editor/EditController.h"
#include "editor/ORVEL_GUI.h"
#include "formats/vst2/AEffEditor.h"
#include "formats/vst2/vst2abi.h"

#include <memory>

class AudioEffect;

class AEffGUIEditor : public AEffEditor, public EditController {
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
  void setParameter(VstInt32 index, float value) override;

  // EditController, over the effect.
  float getParameter(int index) override;
  void beginEdit(int index) override;
  void performEdit(int index, float value) override;
  void endEdit(int index) override;
  void idleHost() override;

  ORVEL_GUI* getPanel() const { return panel.get(); }
  VSTGUI::CFrame* getFrame() const { return panel->getFrame(); }

private:
  ERect rect{};
  std::unique_ptr<ORVEL_GUI> panel;
};
