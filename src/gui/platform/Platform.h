// The toolkit's platform seam. Everything the toolkit needs from the system
// goes through these few declarations, so that a backend for another window
// system only has to provide them:
//   - a window on the host's parent window with an event pump and a draw target,
//   - image decoding,
//   - resource lookup by name,
//   - a millisecond tick count and a short sleep,
//   - per-thread set-up of the system's component libraries (OLE on Windows).
// All of it runs on the user-interface thread.
#pragma once

#include "gui/CGraphicsTypes.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace VSTGUI {

class CDrawContext;
class CFrame;

// A decoded image, owned by a CBitmap.
class IPlatformBitmap {
public:
  virtual ~IPlatformBitmap() = default;
  virtual int32_t getWidth() const = 0;
  virtual int32_t getHeight() const = 0;
};

// Pixels of a drawn frame: 32-bit premultiplied ARGB (alpha in the top byte), row by row.
struct PixelImage {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> pixels;

  uint32_t at(int32_t x, int32_t y) const {
    return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                  static_cast<std::size_t>(x)];
  }
};

// The frame's place on screen (or in memory). The frame draws invalid areas
// into the context between beginDraw and endDraw; endDraw shows them.
class IPlatformFrame {
public:
  virtual ~IPlatformFrame() = default;

  virtual CDrawContext* beginDraw(const CRect& area) = 0;
  virtual void endDraw(const CRect& area) = 0;
  // Reads the window system's pending events and hands them to the frame.
  virtual void pumpEvents() = 0;
  // Handles one pending paint request, if any.
  virtual void dispatchPaint() = 0;
  virtual bool getCurrentMouseLocation(CPoint& where) = 0;
  virtual CButtonState getCurrentMouseButtons() = 0;
  // What has been drawn so far (the back buffer).
  virtual PixelImage copyImage() const = 0;
  // The system's handle of the frame's own window, 0 when there is none.
  virtual uintptr_t getNativeHandle() const = 0;
};

namespace platform {

// A frame on the parent window; with no parent window the frame lives in memory only.
std::unique_ptr<IPlatformFrame> createFrame(CFrame* frame, void* parentWindow, const CRect& size);

// Null when the bytes are not an image the platform can decode.
std::unique_ptr<IPlatformBitmap> decodeImage(const unsigned char* data, std::size_t size);

// The bytes of a named resource of the module, matched regardless of case; false when missing.
bool findResource(const char* name, std::vector<unsigned char>& bytes);

// Milliseconds from an arbitrary start; wraps around.
uint32_t getTicks();
void sleepMilliseconds(uint32_t ms);

// Per-thread set-up of the system's component libraries; nothing to do on Linux.
void initializeThread();
void uninitializeThread();

} // namespace platform
} // namespace VSTGUI
