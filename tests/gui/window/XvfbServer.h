// Window tests run on an X server of their own: a global test environment
// starts Xvfb on a free display (Xvfb picks it and reports it through
// -displayfd), points DISPLAY at it, and stops it at the end. CI has no display.
#pragma once

#include <gtest/gtest.h>
#include <string>
#include <sys/types.h>
#include <vector>

// Xlib's macros (None, Status...) clash with GoogleTest: only its types are named here.
struct _XDisplay;

namespace guitest {

class XvfbServer : public ::testing::Environment {
public:
  void SetUp() override;
  void TearDown() override;

  static const std::string& displayName();

private:
  pid_t pid = -1;
};

// A top-level window on the test's own connection, standing in for the host's
// editor window. Mapped and viewable once constructed.
class HostWindow {
public:
  HostWindow(int width, int height);
  ~HostWindow();

  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  _XDisplay* display() const { return dpy; }
  unsigned long window() const { return win; }
  void* parentPointer() const { return reinterpret_cast<void*>(static_cast<uintptr_t>(win)); }
  // Child windows the plug-in placed on this window.
  int childCount() const;
  unsigned long firstChild() const;

  // The child window's pixels as 0xRRGGBB, row by row (empty when it is not viewable).
  struct Capture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
  };
  Capture captureChild() const;

  // Pointer and keyboard through the XTest extension, in window coordinates.
  void pointerTo(int x, int y) const;
  void button(unsigned int number, bool down) const;
  void click(int x, int y, unsigned int number = 1) const;
  void key(unsigned long keysym, bool down) const;

private:
  _XDisplay* dpy = nullptr;
  unsigned long win = 0;
};

} // namespace guitest
