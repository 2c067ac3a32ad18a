#include "gui/CFontDesc.h"

namespace VSTGUI {
namespace {

// Static objects rather than heap ones: nothing to release when the module is
// unloaded. Labels only add and drop references, so the count never reaches zero.
CFontDesc normalFont("Arial", 12, kNormalFace);
CFontDesc normalFontSmaller("Arial", 10, kNormalFace);

} // namespace

const CFontRef kNormalFont = &normalFont;
const CFontRef kNormalFontSmaller = &normalFontSmaller;

} // namespace VSTGUI
