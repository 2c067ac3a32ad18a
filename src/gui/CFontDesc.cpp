#include "gui/CFontDesc.h"

namespace VSTGUI {

// Never released: labels may hold them until the process ends.
const CFontRef kNormalFont = new CFontDesc("Arial", 12, kNormalFace);
const CFontRef kNormalFontSmaller = new CFontDesc("Arial", 10, kNormalFace);

} // namespace VSTGUI
