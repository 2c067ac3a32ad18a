// A view with a value from 0 to 1, a tag and a listener that hears about user
// edits. Host updates go through setValue, which tells nobody; user edits end
// in valueChanged, which tells the listener.
//
// Threads: setValue may be called from any thread (the effect forwards host
// parameter changes from wherever they arrive); it is a single atomic store
// followed by raising the dirty flag, so the next idle draws the latest value.
// Everything else runs on the user-interface thread.
#pragma once

#include "gui/CView.h"

#include <atomic>

namespace VSTGUI {

class CControl;

class CControlListener {
public:
  virtual ~CControlListener() = default;
  virtual void valueChanged(CControl* control) = 0;
  virtual int32_t controlModifierClicked(CControl* /*control*/, CButtonState /*button*/) {
    return 0;
  }
  virtual void controlBeginEdit(CControl* /*control*/) {}
  virtual void controlEndEdit(CControl* /*control*/) {}
};

class CControl : public CView {
public:
  CControl(const CRect& size, CControlListener* listener = nullptr, int32_t tag = 0,
           CBitmap* background = nullptr);

  // Limits the value to the range; a change raises the dirty flag. NaN is ignored.
  virtual void setValue(float val);
  float getValue() const { return value.load(std::memory_order_acquire); }

  void setMin(float val) { vmin = val; }
  void setMax(float val) { vmax = val; }
  float getMin() const { return vmin; }
  float getMax() const { return vmax; }

  void setDefaultValue(float val) { defaultValue = val; }
  float getDefaultValue() const { return defaultValue; }

  void setTag(int32_t val) { tag = val; }
  int32_t getTag() const { return tag; }

  void setListener(CControlListener* val) { listener = val; }
  CControlListener* getListener() const { return listener; }

  // Tells the listener about a user edit.
  virtual void valueChanged();
  // Announce the start and end of a user edit to the listener and the frame.
  virtual void beginEdit();
  virtual void endEdit();

  // Control-click with the left button: restore the default value as a user edit.
  // True when the gesture was recognised (whether or not the value moved).
  bool checkDefaultValue(const CButtonState& buttons);

protected:
  // Limits value to the range, keeping NaN out.
  float bounded(float val) const;

  std::atomic<float> value{0.0f};
  float vmin = 0.0f;
  float vmax = 1.0f;
  float defaultValue = 0.5f;
  int32_t tag;
  CControlListener* listener;
};

} // namespace VSTGUI
