// Images for backgrounds and film strips, loaded from the module's resources
// by name. A resource that is missing or cannot be decoded gives a 0 x 0
// bitmap that draws nothing.
#pragma once

#include "gui/CBaseObject.h"
#include "gui/CGraphicsTypes.h"
#include "gui/platform/Platform.h"

#include <memory>
#include <string>

namespace VSTGUI {

class CDrawContext;

// Names a resource by string or by number. The name is copied.
class CResourceDescription {
public:
  enum Type { kIntegerType, kStringType };

  CResourceDescription(int32_t id) : type(kIntegerType), id(id) {}
  CResourceDescription(const char* name) : type(kStringType), name(name ? name : "") {}

  Type type;
  int32_t id = 0;
  std::string name;
};

class CBitmap : public CBaseObject {
public:
  explicit CBitmap(const CResourceDescription& desc);

  CCoord getWidth() const { return platformBitmap ? platformBitmap->getWidth() : 0; }
  CCoord getHeight() const { return platformBitmap ? platformBitmap->getHeight() : 0; }
  const CResourceDescription& getResourceDescription() const { return resourceDesc; }
  IPlatformBitmap* getPlatformBitmap() const { return platformBitmap.get(); }

  void draw(CDrawContext* context, const CRect& dest, const CPoint& offset = CPoint(),
            float alpha = 1.0f);

private:
  CResourceDescription resourceDesc;
  std::unique_ptr<IPlatformBitmap> platformBitmap;
};

} // namespace VSTGUI
