#include "XvfbServer.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace guitest {
namespace {

std::string& display() {
  static std::string name;
  return name;
}

} // namespace

const std::string& XvfbServer::displayName() { return display(); }

void XvfbServer::SetUp() {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const std::string fdText = std::to_string(fds[1]);
  const char* argv[] = {"Xvfb",        "-displayfd", fdText.c_str(), "-screen",  "0",
                        "1024x768x24", "-nolisten",  "tcp",          "-noreset", nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  // Keep the server's chatter out of the test output.
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const int spawned =
      posix_spawnp(&pid, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (spawned != 0) {
    close(fds[0]);
    pid = -1;
    FAIL() << "cannot start Xvfb (install the xvfb package): " << spawned;
  }

  // Xvfb writes the display number and a newline once it accepts connections.
  std::string number;
  pollfd p{fds[0], POLLIN, 0};
  while (number.find('\n') == std::string::npos && poll(&p, 1, 20000) > 0) {
    char buffer[16];
    const ssize_t n = read(fds[0], buffer, sizeof buffer);
    if (n <= 0) break;
    number.append(buffer, static_cast<std::size_t>(n));
  }
  close(fds[0]);
  ASSERT_NE(number.find('\n'), std::string::npos) << "Xvfb did not report its display";
  display() = ":" + number.substr(0, number.find('\n'));
  setenv("DISPLAY", display().c_str(), 1);
}

void XvfbServer::TearDown() {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  pid = -1;
}

HostWindow::HostWindow(int width, int height) {
  dpy = XOpenDisplay(nullptr);
  if (!dpy) return;
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True; // exactly at (0, 0), whatever manages windows
  attributes.event_mask = StructureNotifyMask;
  attributes.background_pixel = 0;
  win = XCreateWindow(dpy, DefaultRootWindow(dpy), 0, 0, static_cast<unsigned>(width),
                      static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                      CWOverrideRedirect | CWEventMask | CWBackPixel, &attributes);
  XMapWindow(dpy, win);
  XEvent event;
  do
    XWindowEvent(dpy, win, StructureNotifyMask, &event);
  while (event.type != MapNotify);
}

HostWindow::~HostWindow() {
  if (!dpy) return;
  XDestroyWindow(dpy, win);
  XCloseDisplay(dpy);
}

int HostWindow::childCount() const {
  Window root = 0;
  Window parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  XSync(dpy, False);
  if (!XQueryTree(dpy, win, &root, &parent, &children, &count)) return -1;
  if (children) XFree(children);
  return static_cast<int>(count);
}

unsigned long HostWindow::firstChild() const {
  Window root = 0;
  Window parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  XSync(dpy, False);
  if (!XQueryTree(dpy, win, &root, &parent, &children, &count) || count == 0) return 0;
  const Window child = children[0];
  XFree(children);
  return child;
}

HostWindow::Capture HostWindow::captureChild() const {
  Capture capture;
  const Window child = firstChild();
  if (!child) return capture;
  XWindowAttributes attributes{};
  XGetWindowAttributes(dpy, child, &attributes);
  if (attributes.map_state != IsViewable) return capture;
  XImage* image = XGetImage(dpy, child, 0, 0, static_cast<unsigned>(attributes.width),
                            static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
  if (!image) return capture;
  capture.width = attributes.width;
  capture.height = attributes.height;
  capture.pixels.resize(static_cast<std::size_t>(capture.width * capture.height));
  for (int y = 0; y < capture.height; ++y)
    for (int x = 0; x < capture.width; ++x)
      capture.pixels[static_cast<std::size_t>(y * capture.width + x)] =
          static_cast<uint32_t>(XGetPixel(image, x, y) & 0xFFFFFF);
  XDestroyImage(image);
  return capture;
}

void HostWindow::pointerTo(int x, int y) const {
  int rootX = 0;
  int rootY = 0;
  Window child = 0;
  XTranslateCoordinates(dpy, win, DefaultRootWindow(dpy), x, y, &rootX, &rootY, &child);
  XTestFakeMotionEvent(dpy, -1, rootX, rootY, CurrentTime);
  XSync(dpy, False);
}

void HostWindow::button(unsigned int number, bool down) const {
  XTestFakeButtonEvent(dpy, number, down ? True : False, CurrentTime);
  XSync(dpy, False);
}

void HostWindow::click(int x, int y, unsigned int number) const {
  pointerTo(x, y);
  button(number, true);
  button(number, false);
}

void HostWindow::key(unsigned long keysym, bool down) const {
  XTestFakeKeyEvent(dpy, XKeysymToKeycode(dpy, keysym), down ? True : False, CurrentTime);
  XSync(dpy, False);
}

} // namespace guitest

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new guitest::XvfbServer);
  return RUN_ALL_TESTS();
}
