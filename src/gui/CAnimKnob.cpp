#include "gui/CAnimKnob.h"

#include "gui/CBitmap.h"

#include <cmath>

namespace VSTGUI {

CAnimKnob::CAnimKnob(const CRect& size, CControlListener* listener, int32_t tag, int32_t subPixmaps,
                     CCoord heightOfOneImage, CBitmap* background, const CPoint& offset)
    : CKnob(size, listener, tag, background), subPixmaps(subPixmaps),
      heightOfOneImage(heightOfOneImage), offset(offset) {}

int32_t CAnimKnob::subImageIndex(float val) const {
  if (subPixmaps <= 0) return 0;
  const double range = static_cast<double>(vmax) - vmin;
  const double normalized = range > 0.0 ? (val - vmin) / range : 0.0;
  if (!(normalized > 0.0)) return 0;
  if (normalized >= 1.0) return subPixmaps - 1;
  const auto index = static_cast<int32_t>(std::floor(normalized * subPixmaps));
  return index < subPixmaps ? index : subPixmaps - 1;
}

void CAnimKnob::draw(CDrawContext* context) {
  // A strip that failed to load has no sub-images to show.
  if (!background || heightOfOneImage <= 0) return;
  const CPoint where(offset.x, offset.y + heightOfOneImage * subImageIndex(getValue()));
  background->draw(context, size, where);
}

} // namespace VSTGUI
