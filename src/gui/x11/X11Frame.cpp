#include "gui/x11/X11Frame.h"

#include "gui/CFrame.h"
#include "gui/KeyEvent.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <algorithm>
#include <atomic>
#include <cairo-xlib.h>

namespace VSTGUI {
namespace {

// Set by the temporary error handler while the window is being created.
std::atomic<bool> creationFailed{false};

int noteCreationError(Display*, XErrorEvent*) {
  creationFailed = true;
  return 0;
}

int32_t buttonsFromState(unsigned int state) {
  int32_t buttons = 0;
  if (state & Button1Mask) buttons |= kLButton;
  if (state & Button2Mask) buttons |= kMButton;
  if (state & Button3Mask) buttons |= kRButton;
  if (state & ShiftMask) buttons |= kShift;
  if (state & ControlMask) buttons |= kControl;
  if (state & Mod1Mask) buttons |= kAlt;
  return buttons;
}

int32_t buttonBit(unsigned int button) {
  switch (button) {
  case Button1: return kLButton;
  case Button2: return kMButton;
  case Button3: return kRButton;
  default: return 0;
  }
}

unsigned char virtualKey(KeySym sym) {
  switch (sym) {
  case XK_BackSpace: return kKeyBack;
  case XK_Tab:
  case XK_ISO_Left_Tab: return kKeyTab;
  case XK_Return: return kKeyReturn;
  case XK_KP_Enter: return kKeyEnter;
  case XK_Escape: return kKeyEscape;
  case XK_space: return kKeySpace;
  case XK_Home: return kKeyHome;
  case XK_End: return kKeyEnd;
  case XK_Left: return kKeyLeft;
  case XK_Up: return kKeyUp;
  case XK_Right: return kKeyRight;
  case XK_Down: return kKeyDown;
  case XK_Page_Up: return kKeyPageUp;
  case XK_Page_Down: return kKeyPageDown;
  default: return 0;
  }
}

unsigned char modifiersFromState(unsigned int state) {
  unsigned char modifiers = 0;
  if (state & ShiftMask) modifiers |= kModifierShift;
  if (state & Mod1Mask) modifiers |= kModifierAlternate;
  if (state & ControlMask) modifiers |= kModifierControl;
  return modifiers;
}

} // namespace

std::unique_ptr<X11Frame> X11Frame::create(CFrame* frame, ::Window parent, const CRect& size) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return nullptr;
  std::unique_ptr<X11Frame> result(new X11Frame(frame, display, size));
  if (!result->createWindow(parent)) return nullptr;
  return result;
}

X11Frame::X11Frame(CFrame* frame, Display* display, const CRect& size)
    : frame(frame), display(display),
      // X windows cannot be empty; a frame without a background still gets one pixel.
      width(std::max<int32_t>(1, static_cast<int32_t>(size.getWidth()))),
      height(std::max<int32_t>(1, static_cast<int32_t>(size.getHeight()))),
      buffer(static_cast<int32_t>(size.getWidth()), static_cast<int32_t>(size.getHeight())) {}

bool X11Frame::createWindow(::Window parent) {
  // A parent window that does not exist must not end the host's process
  // through Xlib's default error handler.
  XSync(display, False);
  creationFailed = false;
  auto* previous = XSetErrorHandler(noteCreationError);

  XSetWindowAttributes attributes{};
  // No background: the window is painted from the back buffer only, without flicker.
  attributes.background_pixmap = None;
  attributes.bit_gravity = NorthWestGravity;
  attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                          KeyPressMask | KeyReleaseMask | StructureNotifyMask;
  window = XCreateWindow(display, parent, 0, 0, static_cast<unsigned>(width),
                         static_cast<unsigned>(height), 0, CopyFromParent, InputOutput,
                         CopyFromParent, CWBackPixmap | CWBitGravity | CWEventMask, &attributes);
  XWindowAttributes windowAttributes{};
  XSync(display, False);
  if (!creationFailed) XGetWindowAttributes(display, window, &windowAttributes);
  XSync(display, False);
  XSetErrorHandler(previous);

  if (creationFailed || !windowAttributes.visual) {
    window = 0;
    return false;
  }
  const Visual* visual = windowAttributes.visual;
  directCopy = (windowAttributes.depth == 24 || windowAttributes.depth == 32) &&
               visual->red_mask == 0xFF0000 && visual->green_mask == 0x00FF00 &&
               visual->blue_mask == 0x0000FF && ImageByteOrder(display) == LSBFirst;
  depth = windowAttributes.depth;
  if (directCopy)
    gc = XCreateGC(display, window, 0, nullptr);
  else
    windowSurface =
        cairo_xlib_surface_create(display, window, windowAttributes.visual, width, height);
  XMapWindow(display, window);
  XFlush(display);
  return true;
}

X11Frame::~X11Frame() {
  if (gc) XFreeGC(display, gc);
  if (windowSurface) {
    cairo_surface_finish(windowSurface);
    cairo_surface_destroy(windowSurface);
  }
  if (window) XDestroyWindow(display, window);
  XCloseDisplay(display);
}

void X11Frame::present(const CRect& area) {
  if (directCopy) {
    cairo_surface_t* surface = buffer.getSurface();
    const int bufferWidth = cairo_image_surface_get_width(surface);
    const int bufferHeight = cairo_image_surface_get_height(surface);
    const int left = std::max(0, static_cast<int>(area.left));
    const int top = std::max(0, static_cast<int>(area.top));
    const int right = std::min(bufferWidth, static_cast<int>(area.right));
    const int bottom = std::min(bufferHeight, static_cast<int>(area.bottom));
    if (right <= left || bottom <= top) return;
    cairo_surface_flush(surface);
    // An XImage over the back buffer's own memory; no copy, no shared memory.
    XImage image{};
    image.width = bufferWidth;
    image.height = bufferHeight;
    image.format = ZPixmap;
    image.data = reinterpret_cast<char*>(cairo_image_surface_get_data(surface));
    image.byte_order = LSBFirst;
    image.bitmap_unit = 32;
    image.bitmap_bit_order = LSBFirst;
    image.bitmap_pad = 32;
    image.depth = depth;
    image.bytes_per_line = cairo_image_surface_get_stride(surface);
    image.bits_per_pixel = 32;
    image.red_mask = 0xFF0000;
    image.green_mask = 0x00FF00;
    image.blue_mask = 0x0000FF;
    if (!XInitImage(&image)) return;
    XPutImage(display, window, gc, &image, left, top, left, top,
              static_cast<unsigned>(right - left), static_cast<unsigned>(bottom - top));
    XFlush(display);
    return;
  }
  if (!windowSurface) return;
  cairo_t* cr = cairo_create(windowSurface);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_surface(cr, buffer.getSurface(), 0, 0);
  cairo_rectangle(cr, area.left, area.top, area.getWidth(), area.getHeight());
  cairo_fill(cr);
  cairo_destroy(cr);
  cairo_surface_flush(windowSurface);
  XFlush(display);
}

void X11Frame::endDraw(const CRect& area) {
  buffer.end();
  present(area);
}

void X11Frame::pumpEvents() {
  while (XPending(display) > 0) {
    XEvent event;
    XNextEvent(display, &event);
    handleEvent(event);
  }
}

void X11Frame::dispatchPaint() {
  XEvent event;
  if (XCheckTypedWindowEvent(display, window, Expose, &event)) handleEvent(event);
}

void X11Frame::handleEvent(XEvent& event) {
  switch (event.type) {
  case Expose: {
    const XExposeEvent& e = event.xexpose;
    present(CRect(e.x, e.y, e.x + e.width, e.y + e.height));
    break;
  }
  case ButtonPress: {
    const XButtonEvent& e = event.xbutton;
    CPoint where(e.x, e.y);
    // Buttons 4 and 5 are the wheel, one step each.
    if (e.button == Button4 || e.button == Button5) {
      frame->onWheel(where, e.button == Button4 ? 1.0f : -1.0f, buttonsFromState(e.state));
      break;
    }
    // The state holds the buttons down before this one.
    frame->onMouseDown(where, buttonsFromState(e.state) | buttonBit(e.button));
    break;
  }
  case ButtonRelease: {
    const XButtonEvent& e = event.xbutton;
    if (e.button == Button4 || e.button == Button5) break;
    CPoint where(e.x, e.y);
    frame->onMouseUp(where, buttonsFromState(e.state));
    break;
  }
  case MotionNotify: {
    // Only the latest position of a burst matters, but a burst ends at the
    // next other event: a move must not jump ahead of a button press or release.
    XEvent next;
    while (XEventsQueued(display, QueuedAlready) > 0) {
      XPeekEvent(display, &next);
      if (next.type != MotionNotify || next.xmotion.window != window) break;
      XNextEvent(display, &event);
    }
    const XMotionEvent& e = event.xmotion;
    CPoint where(e.x, e.y);
    frame->onMouseMoved(where, buttonsFromState(e.state));
    break;
  }
  case KeyPress:
  case KeyRelease: {
    char text[8] = {};
    KeySym sym = NoSymbol;
    XLookupString(&event.xkey, text, sizeof text - 1, &sym, nullptr);
    KeyEvent key{static_cast<unsigned char>(text[0]), virtualKey(sym),
                 modifiersFromState(event.xkey.state)};
    if (event.type == KeyPress)
      frame->onKeyDown(key);
    else
      frame->onKeyUp(key);
    break;
  }
  default: break;
  }
}

bool X11Frame::getCurrentMouseLocation(CPoint& where) {
  ::Window root = 0;
  ::Window child = 0;
  int rootX = 0;
  int rootY = 0;
  int x = 0;
  int y = 0;
  unsigned int mask = 0;
  if (!XQueryPointer(display, window, &root, &child, &rootX, &rootY, &x, &y, &mask)) return false;
  where = CPoint(x, y);
  return true;
}

CButtonState X11Frame::getCurrentMouseButtons() {
  ::Window root = 0;
  ::Window child = 0;
  int rootX = 0;
  int rootY = 0;
  int x = 0;
  int y = 0;
  unsigned int mask = 0;
  XQueryPointer(display, window, &root, &child, &rootX, &rootY, &x, &y, &mask);
  return buttonsFromState(mask);
}

} // namespace VSTGUI
