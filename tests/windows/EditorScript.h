// What the editor probe does to the panel, shared by the Windows probe (which
// sends window messages to the DLL's editor window) and the Linux test (which
// gives the same events to the Linux editor's frame), so that the host
// notifications and the pictures of both can be compared.
#pragma once

#include <array>
#include <vector>

namespace editorscript {

// Parameter values the host sets while the panel is open, in parameter order
// (input, output, hi boost, hi cut, hi boost freq, hi cut freq, hi freq Q,
// lo boost, lo cut, lo freq, tube buffer, equalizer, mode): every knob away
// from its initial frame, tube buffer off, mono.
inline constexpr std::array<float, 13> kAutomatedValues = {
    0.3f, 0.7f, 0.25f, 0.6f, 0.9f, 0.4f, 0.15f, 0.8f, 0.45f, 0.55f, 0.0f, 1.0f, 0.0f};

enum class Step {
  Press,   // left button down (with the modifiers)
  Move,    // mouse moved with the left button held
  Release, // left button up
  Wheel,   // one wheel step (amount in notches) at the point
  Key,     // a key pressed and released on the panel's window
  HostKey, // a key handed over by the host (effEditKeyDown / effEditKeyUp)
};

enum Modifier { kNone = 0, kWithControl = 1 };
enum Key { kNoKey = 0, kTab, kReturn };

struct Action {
  Step step;
  int x = 0;
  int y = 0;
  int modifiers = kNone;
  Key key = kNoKey;
  float wheel = 0.0f;
};

struct Gesture {
  const char* name;
  std::vector<Action> actions;
};

// Points in panel pixels. Knobs: Input (75, 85)-(127, 137), Hi Boost
// (419, 25)-(471, 77), Lo Boost (158, 25)-(210, 77). Equalizer switch: lever
// area (781, 43)-(798, 62), lamp around (791, 24). Tube Buffer lever area
// (828, 43)-(845, 62).
inline std::vector<Gesture> gestures() {
  return {
      {"input-knob-drag",
       {{Step::Press, 101, 111},
        {Step::Move, 101, 106},
        {Step::Move, 101, 101},
        {Step::Move, 101, 96},
        {Step::Move, 106, 96},
        {Step::Move, 101, -40}, // above the window: the drag goes on
        {Step::Release, 101, -40}}},
      {"hi-boost-default", {{Step::Press, 445, 51, kWithControl}, {Step::Release, 445, 51}}},
      {"equalizer-lever", {{Step::Press, 789, 52}, {Step::Release, 789, 52}}},
      {"equalizer-lamp", {{Step::Press, 791, 24}, {Step::Release, 791, 24}}},
      {"tube-lever", {{Step::Press, 836, 50}, {Step::Release, 836, 50}}},
      {"lo-boost-wheel", {{Step::Wheel, 184, 51, kNone, kNoKey, 1.0f}}},
      {"tab-then-return", {{Step::Key, 0, 0, kNone, kTab}, {Step::Key, 0, 0, kNone, kReturn}}},
      {"host-return", {{Step::HostKey, 0, 0, kNone, kReturn}}},
  };
}

constexpr int kOpenCloseCycles = 20;

} // namespace editorscript
