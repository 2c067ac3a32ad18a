#include "gui/win32/Win32Frame.h"

#include "gui/CFrame.h"
#include "gui/KeyEvent.h"
#include "gui/win32/Win32Platform.h"

#include <cctype>
#include <mutex>
#include <windowsx.h>

namespace VSTGUI {
namespace {

const wchar_t* const kWindowClass = L"OmbrineFrame";

// The class is registered for the module while any frame window exists and
// unregistered with the last one, so that no class outlives the DLL's code.
struct WindowClass {
  std::mutex mutex;
  int users = 0;
};

WindowClass& windowClass() {
  static WindowClass state;
  return state;
}

int32_t buttonsFromKeyState(WPARAM keys) {
  int32_t buttons = 0;
  if (keys & MK_LBUTTON) buttons |= kLButton;
  if (keys & MK_MBUTTON) buttons |= kMButton;
  if (keys & MK_RBUTTON) buttons |= kRButton;
  if (keys & MK_SHIFT) buttons |= kShift;
  if (keys & MK_CONTROL) buttons |= kControl;
  if (GetKeyState(VK_MENU) < 0) buttons |= kAlt;
  return buttons;
}

unsigned char virtualKey(WPARAM key, bool extended) {
  switch (key) {
  case VK_BACK: return kKeyBack;
  case VK_TAB: return kKeyTab;
  case VK_CLEAR: return kKeyClear;
  case VK_RETURN: return extended ? kKeyEnter : kKeyReturn; // keypad Enter is extended
  case VK_PAUSE: return kKeyPause;
  case VK_ESCAPE: return kKeyEscape;
  case VK_SPACE: return kKeySpace;
  case VK_END: return kKeyEnd;
  case VK_HOME: return kKeyHome;
  case VK_LEFT: return kKeyLeft;
  case VK_UP: return kKeyUp;
  case VK_RIGHT: return kKeyRight;
  case VK_DOWN: return kKeyDown;
  case VK_PRIOR: return kKeyPageUp;
  case VK_NEXT: return kKeyPageDown;
  case VK_SELECT: return kKeySelect;
  case VK_PRINT: return kKeyPrint;
  default: return 0;
  }
}

unsigned char currentModifiers() {
  unsigned char modifiers = 0;
  if (GetKeyState(VK_SHIFT) < 0) modifiers |= kModifierShift;
  if (GetKeyState(VK_MENU) < 0) modifiers |= kModifierAlternate;
  if (GetKeyState(VK_CONTROL) < 0) modifiers |= kModifierControl;
  return modifiers;
}

bool registerWindowClass(WNDPROC windowProc) {
  WindowClass& state = windowClass();
  std::lock_guard lock(state.mutex);
  if (state.users == 0) {
    WNDCLASSEXW description{};
    description.cbSize = sizeof description;
    description.lpfnWndProc = windowProc;
    description.hInstance = win32::moduleInstance();
    description.hCursor = LoadCursor(nullptr, IDC_ARROW);
    description.lpszClassName = kWindowClass;
    if (!RegisterClassExW(&description) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
      return false;
  }
  ++state.users;
  return true;
}

void unregisterWindowClass() {
  WindowClass& state = windowClass();
  std::lock_guard lock(state.mutex);
  if (state.users > 0 && --state.users == 0)
    UnregisterClassW(kWindowClass, win32::moduleInstance());
}

} // namespace

namespace platform {

std::unique_ptr<IPlatformFrame> createFrame(CFrame* frame, void* parentWindow, const CRect& size) {
  return Win32Frame::create(frame, static_cast<HWND>(parentWindow), size);
}

} // namespace platform

std::unique_ptr<Win32Frame> Win32Frame::create(CFrame* frame, HWND parent, const CRect& size) {
  std::unique_ptr<Win32Frame> result(new Win32Frame(frame, size));
  if (parent && !result->createWindow(parent)) return nullptr;
  return result;
}

Win32Frame::Win32Frame(CFrame* frame, const CRect& size)
    : frame(frame),
      // A window cannot be empty; a frame without a background still gets one pixel.
      width(std::max<int32_t>(1, static_cast<int32_t>(size.getWidth()))),
      height(std::max<int32_t>(1, static_cast<int32_t>(size.getHeight()))),
      buffer(static_cast<int32_t>(size.getWidth()), static_cast<int32_t>(size.getHeight())) {}

bool Win32Frame::createWindow(HWND parent) {
  if (!IsWindow(parent) || !registerWindowClass(&Win32Frame::windowProc)) return false;
  window = CreateWindowExW(0, kWindowClass, L"", WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0,
                           width, height, parent, nullptr, win32::moduleInstance(), nullptr);
  if (!window) {
    unregisterWindowClass();
    return false;
  }
  // Messages reach the frame from here on (those of the creation itself need no frame).
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  ShowWindow(window, SW_SHOWNA);
  return true;
}

Win32Frame::~Win32Frame() {
  if (!window) return;
  capturing = false;
  if (GetCapture() == window) ReleaseCapture();
  // The frame is going: the window's last messages go to the default handling.
  SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  DestroyWindow(window);
  unregisterWindowClass();
}

void Win32Frame::endDraw(const CRect& area) {
  buffer.end();
  if (!window) return;
  const RECT rect{static_cast<LONG>(area.left), static_cast<LONG>(area.top),
                  static_cast<LONG>(area.right), static_cast<LONG>(area.bottom)};
  if (HDC dc = GetDC(window)) {
    buffer.copyTo(dc, rect);
    ReleaseDC(window, dc);
  }
}

void Win32Frame::dispatchPaint() {
  MSG message;
  if (window && PeekMessageW(&message, window, WM_PAINT, WM_PAINT, PM_REMOVE))
    DispatchMessageW(&message);
}

bool Win32Frame::getCurrentMouseLocation(CPoint& where) {
  POINT point;
  if (!window || !GetCursorPos(&point) || !ScreenToClient(window, &point)) return false;
  where = CPoint(point.x, point.y);
  return true;
}

CButtonState Win32Frame::getCurrentMouseButtons() {
  int32_t buttons = 0;
  const bool swapped = GetSystemMetrics(SM_SWAPBUTTON) != 0;
  if (GetAsyncKeyState(swapped ? VK_RBUTTON : VK_LBUTTON) < 0) buttons |= kLButton;
  if (GetAsyncKeyState(VK_MBUTTON) < 0) buttons |= kMButton;
  if (GetAsyncKeyState(swapped ? VK_LBUTTON : VK_RBUTTON) < 0) buttons |= kRButton;
  if (GetAsyncKeyState(VK_SHIFT) < 0) buttons |= kShift;
  if (GetAsyncKeyState(VK_CONTROL) < 0) buttons |= kControl;
  if (GetAsyncKeyState(VK_MENU) < 0) buttons |= kAlt;
  return buttons;
}

LRESULT CALLBACK Win32Frame::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<Win32Frame*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self && self->window == window) return self->handleMessage(message, wParam, lParam);
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT Win32Frame::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case WM_PAINT: {
    PAINTSTRUCT paint;
    if (BeginPaint(window, &paint)) {
      // Draws the exposed part from the views' current state (and shows it).
      frame->drawRect(
          CRect(paint.rcPaint.left, paint.rcPaint.top, paint.rcPaint.right, paint.rcPaint.bottom));
      EndPaint(window, &paint);
    }
    return 0;
  }
  case WM_ERASEBKGND: return 1; // everything is painted from the back buffer
  case WM_LBUTTONDOWN: onButtonDown(kLButton, wParam, lParam); return 0;
  case WM_MBUTTONDOWN: onButtonDown(kMButton, wParam, lParam); return 0;
  case WM_RBUTTONDOWN: onButtonDown(kRButton, wParam, lParam); return 0;
  case WM_LBUTTONUP:
  case WM_MBUTTONUP:
  case WM_RBUTTONUP: onButtonUp(wParam, lParam); return 0;
  case WM_MOUSEMOVE: {
    CPoint where(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
    lastMouse = where;
    frame->onMouseMoved(where, buttonsFromKeyState(wParam));
    return 0;
  }
  case WM_CAPTURECHANGED:
    // Another window took the mouse in the middle of a drag: end the drag here,
    // so that the host still gets its end-edit.
    if (capturing && reinterpret_cast<HWND>(lParam) != window) {
      capturing = false;
      CPoint where = lastMouse;
      frame->onMouseUp(where, CButtonState());
    }
    return 0;
  case WM_MOUSEWHEEL: {
    POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}; // screen coordinates
    ScreenToClient(window, &point);
    const float distance =
        static_cast<float>(GET_WHEEL_DELTA_WPARAM(wParam)) / static_cast<float>(WHEEL_DELTA);
    if (frame->onWheel(CPoint(point.x, point.y), distance,
                       buttonsFromKeyState(GET_KEYSTATE_WPARAM(wParam))))
      return 0;
    break;
  }
  case WM_KEYDOWN:
  case WM_KEYUP: {
    const bool extended = (lParam & (1 << 24)) != 0;
    if (onKey(message == WM_KEYDOWN, wParam | (extended ? 0x10000 : 0))) return 0;
    break;
  }
  case WM_GETDLGCODE: return DLGC_WANTALLKEYS; // Tab and Return come to the panel in dialogs
  default: break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void Win32Frame::onButtonDown(int32_t button, WPARAM wParam, LPARAM lParam) {
  // Keys go to the panel once it has been clicked.
  if (GetFocus() != window) SetFocus(window);
  CPoint where(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
  lastMouse = where;
  const CMouseEventResult result = frame->onMouseDown(where, buttonsFromKeyState(wParam) | button);
  // A drag follows the mouse outside the window until the button is released.
  if (result == kMouseEventHandled && !capturing) {
    capturing = true;
    SetCapture(window);
  }
}

void Win32Frame::onButtonUp(WPARAM wParam, LPARAM lParam) {
  CPoint where(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
  lastMouse = where;
  frame->onMouseUp(where, buttonsFromKeyState(wParam));
  if (!(wParam & (MK_LBUTTON | MK_MBUTTON | MK_RBUTTON))) stopCapture();
}

void Win32Frame::stopCapture() {
  if (!capturing) return;
  capturing = false; // before ReleaseCapture, whose WM_CAPTURECHANGED is then ignored
  ReleaseCapture();
}

bool Win32Frame::onKey(bool down, WPARAM keyAndExtended) {
  const WPARAM key = keyAndExtended & 0xFFFF;
  KeyEvent code{};
  code.virt = virtualKey(key, (keyAndExtended & 0x10000) != 0);
  const UINT character = MapVirtualKeyW(static_cast<UINT>(key), MAPVK_VK_TO_CHAR) & 0x7FFF;
  if (character > 0 && character < 128) code.character = std::tolower(static_cast<int>(character));
  code.modifier = currentModifiers();
  if (!code.virt && !code.character) return false;
  return (down ? frame->onKeyDown(code) : frame->onKeyUp(code)) == 1;
}

} // namespace VSTGUI
