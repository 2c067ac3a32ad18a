// What the panel needs from the plug-in it edits, whatever the plug-in format: the value a
// parameter has, and a user's edit announced as begin, values, end. Each format implements it
// over its own host interface.
//
// Threads: everything is called on the user-interface thread.
#pragma once

class EditController {
public:
  virtual ~EditController() = default;

  // The normalised value (0..1) the plug-in holds for a parameter.
  virtual float getParameter(int index) = 0;

  // A user gesture on a control: beginEdit, any number of performEdit calls with the new
  // normalised value (the plug-in applies it and tells its host), then endEdit.
  virtual void beginEdit(int index) = 0;
  virtual void performEdit(int index, float value) = 0;
  virtual void endEdit(int index) = 0;

  // Lets the host run while a long gesture keeps the user-interface thread busy.
  virtual void idleHost() {}
};
