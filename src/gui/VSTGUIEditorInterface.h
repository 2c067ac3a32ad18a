// What a frame needs from the editor that owns it: idle while a gesture runs,
// the knob mode, and the edit announcements that go on to the host.
#pragma once

#include "gui/CGraphicsTypes.h"

#include <cstdint>

namespace VSTGUI {

class CFrame;

class VSTGUIEditorInterface {
public:
  virtual ~VSTGUIEditorInterface() = default;

  virtual void doIdleStuff() {}
  virtual int32_t getKnobMode() const { return -1; }
  virtual void beginEdit(int32_t /*index*/) {}
  virtual void endEdit(int32_t /*index*/) {}
  // Asked before the frame changes size; false keeps the old size.
  virtual bool beforeSizeChange(const CRect& /*newSize*/, const CRect& /*oldSize*/) { return true; }
  virtual CFrame* getFrame() const { return frame; }

protected:
  CFrame* frame = nullptr;
};

} // namespace VSTGUI
