#include "gui/CBitmap.h"

#include "gui/CDrawContext.h"
#include "gui/platform/HookState.h"

#include <vector>

namespace VSTGUI {

CBitmap::CBitmap(const CResourceDescription& desc) : resourceDesc(desc) {
  // Only named resources exist in this module; a numeric id finds nothing.
  if (desc.type != CResourceDescription::kStringType) return;
  detail::countBitmapLoad(desc.name.c_str());
  std::vector<unsigned char> bytes;
  if (detail::loadResource(desc.name.c_str(), bytes) && !bytes.empty())
    platformBitmap = platform::decodeImage(bytes.data(), bytes.size());
}

void CBitmap::draw(CDrawContext* context, const CRect& dest, const CPoint& offset, float alpha) {
  if (context && platformBitmap) context->drawBitmap(this, dest, offset, alpha);
}

} // namespace VSTGUI
