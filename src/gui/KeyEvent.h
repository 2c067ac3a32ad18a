// Keys as the toolkit's views receive them: the character typed, a virtual key for the keys
// that type none, and the modifier keys held. The platform backends (and any plug-in glue that
// receives keys from its host) translate their own codes into these.
#pragma once

#include <cstdint>

namespace VSTGUI {

enum VirtualKey : unsigned char {
  kKeyNone = 0,
  kKeyBack,
  kKeyTab,
  kKeyClear,
  kKeyReturn,
  kKeyPause,
  kKeyEscape,
  kKeySpace,
  kKeyNext,
  kKeyEnd,
  kKeyHome,
  kKeyLeft,
  kKeyUp,
  kKeyRight,
  kKeyDown,
  kKeyPageUp,
  kKeyPageDown,
  kKeySelect,
  kKeyPrint,
  kKeyEnter,
};

enum KeyModifier : unsigned char {
  kModifierShift = 1 << 0,
  kModifierAlternate = 1 << 1,
  kModifierCommand = 1 << 2,
  kModifierControl = 1 << 3,
};

struct KeyEvent {
  std::int32_t character = 0; // the character typed, 0 for none
  unsigned char virt = kKeyNone;
  unsigned char modifier = 0; // KeyModifier bits
};

} // namespace VSTGUI
