#include "gui/offscreen/OffscreenFrame.h"

namespace VSTGUI {

OffscreenFrame::OffscreenFrame(const CRect& size)
    : buffer(static_cast<int32_t>(size.getWidth()), static_cast<int32_t>(size.getHeight())) {}

} // namespace VSTGUI
