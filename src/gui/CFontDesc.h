// A font by name, size and style. The predefined fonts live for the whole
// process; labels hold a reference to the font they use.
#pragma once

#include "gui/CBaseObject.h"
#include "gui/CGraphicsTypes.h"

#include <string>

namespace VSTGUI {

class CFontDesc : public CBaseObject {
public:
  CFontDesc(const char* name, CCoord size, int32_t style = kNormalFace)
      : name(name ? name : ""), size(size), style(style) {}

  const std::string& getName() const { return name; }
  CCoord getSize() const { return size; }
  int32_t getStyle() const { return style; }

private:
  std::string name;
  CCoord size;
  int32_t style;
};

using CFontRef = CFontDesc*;

// The toolkit's predefined fonts, alive for the whole process.
extern const CFontRef kNormalFont;        // Arial 12, plain
extern const CFontRef kNormalFontSmaller; // Arial 10, plain

} // namespace VSTGUI
