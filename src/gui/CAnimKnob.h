// Film-strip knob: the background bitmap holds N sub-images stacked from the
// top; value v shows sub-image floor(N * v), and the last one at v = 1.
#pragma once

#include "gui/CKnob.h"

namespace VSTGUI {

class CAnimKnob : public CKnob {
public:
  CAnimKnob(const CRect& size, CControlListener* listener, int32_t tag, int32_t subPixmaps,
            CCoord heightOfOneImage, CBitmap* background, const CPoint& offset = CPoint());

  void draw(CDrawContext* context) override;

  int32_t getNumSubPixmaps() const { return subPixmaps; }
  CCoord getHeightOfOneImage() const { return heightOfOneImage; }
  // Which sub-image the value selects.
  int32_t subImageIndex(float val) const;

private:
  int32_t subPixmaps;
  CCoord heightOfOneImage;
  CPoint offset;
};

} // namespace VSTGUI
