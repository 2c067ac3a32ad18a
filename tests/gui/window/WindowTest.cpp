// The built module on a real X11 parent window (under the tests' own Xvfb),
// driven through the dispatcher as a host does: rectangle, open, idle redraws,
// close, repeated open/close without leaks, and user gestures made with the
// XTest pointer, checked against the host notifications and window captures.
#include "EmbeddedResources.h"
#include "XvfbServer.h"
#include "vsthost/vsthost.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <functional>
#include <gtest/gtest.h>
#include <malloc.h>
#include <memory>
#include <thread>

namespace {

using guitest::HostWindow;

constexpr int kWidth = 890;
constexpr int kHeight = 162;

const vsthost::Module& builtModule() {
  static std::unique_ptr<vsthost::Module> module = [] {
    std::string error;
    auto loaded = vsthost::Module::load(OMBRINE_MODULE_PATH, &error);
    if (!loaded) ADD_FAILURE() << error;
    return loaded;
  }();
  return *module;
}

int openDescriptors() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir))
      ++count;
    closedir(dir);
  }
  return count;
}

// The front panel as stored: 24-bit, bottom row first, 122-byte headers, rows padded to 4 bytes.
uint32_t frontPanelPixel(int x, int y) {
  static const ombrine::ResourceBlob blob = ombrine::findResource("FrontPanel.bmp");
  const std::size_t stride = (kWidth * 3 + 3) & ~std::size_t{3};
  const unsigned char* p =
      blob.data + 122 + static_cast<std::size_t>(kHeight - 1 - y) * stride + std::size_t(x) * 3;
  return (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
}

struct Region {
  int left, top, width, height;
};
constexpr Region kInputKnob{75, 85, 52, 52};
constexpr Region kEqualizerSwitch{778, 8, 26, 58};
constexpr Region kEqualizerLamp{786, 18, 10, 10}; // around the lamp centre (13, 16) of the frame

std::vector<uint32_t> pixelsIn(const HostWindow::Capture& capture, const Region& r) {
  std::vector<uint32_t> out;
  for (int y = r.top; y < r.top + r.height; ++y)
    for (int x = r.left; x < r.left + r.width; ++x)
      out.push_back(capture.at(x, y));
  return out;
}

// Average brightness of red+green minus blue: high for a yellow lamp, near zero for grey.
double lampYellowness(const HostWindow::Capture& capture) {
  double sum = 0;
  int n = 0;
  for (uint32_t p : pixelsIn(capture, kEqualizerLamp)) {
    const double r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    sum += (r + g) / 2 - b;
    ++n;
  }
  return sum / n;
}

// With OMBRINE_CAPTURE_DIR set, window captures are kept there as PPM files for a look.
void keepCapture(const HostWindow::Capture& capture, const char* name) {
  const char* dir = std::getenv("OMBRINE_CAPTURE_DIR");
  if (!dir || capture.pixels.empty()) return;
  const std::string path = std::string(dir) + "/" + name + ".ppm";
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fprintf(f, "P6\n%d %d\n255\n", capture.width, capture.height);
    for (uint32_t p : capture.pixels) {
      const unsigned char rgb[3] = {static_cast<unsigned char>(p >> 16),
                                    static_cast<unsigned char>(p >> 8),
                                    static_cast<unsigned char>(p)};
      std::fwrite(rgb, 1, 3, f);
    }
    std::fclose(f);
  }
}

struct Call {
  VstInt32 opcode;
  VstInt32 index;
  float opt;
};

class WindowTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_NE(host.display(), nullptr) << "no X display";
    plugin = std::make_unique<vsthost::Plugin>(builtModule());
    ASSERT_TRUE(plugin->valid());
  }
  void TearDown() override {
    if (plugin) plugin->close();
  }

  bool openEditor() { return plugin->dispatch(effEditOpen, 0, 0, host.parentPointer()) == 1; }
  void idle(int times = 1) {
    for (int i = 0; i < times; ++i)
      plugin->dispatch(effEditIdle);
  }
  // The edit notifications so far (no idle or version calls).
  std::vector<Call> edits() const {
    std::vector<Call> out;
    for (const auto& c : plugin->calls())
      if (c.opcode == audioMasterAutomate || c.opcode == audioMasterBeginEdit ||
          c.opcode == audioMasterEndEdit)
        out.push_back({c.opcode, c.index, c.opt});
    return out;
  }
  // Idles the editor until the condition holds (events from the server take a moment).
  bool idleUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 200; ++i) {
      idle();
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }
  // Idles until the window shows what was drawn (the server has the copies).
  HostWindow::Capture settledCapture() {
    idle();
    XSync(host.display(), False);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return host.captureChild();
  }

  HostWindow host{kWidth, kHeight};
  std::unique_ptr<vsthost::Plugin> plugin;
};

TEST_F(WindowTest, RectOpenIdleClose) {
  ERect* rect = nullptr;
  ASSERT_EQ(plugin->dispatch(effEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->top, 0);
  EXPECT_EQ(rect->left, 0);
  EXPECT_EQ(rect->bottom, kHeight);
  EXPECT_EQ(rect->right, kWidth);

  ASSERT_TRUE(openEditor());
  EXPECT_EQ(host.childCount(), 1);
  const HostWindow::Capture shown = settledCapture();
  ASSERT_EQ(shown.width, kWidth);
  ASSERT_EQ(shown.height, kHeight);
  // The bare panel shows the front panel exactly (a strip of the top edge and the bottom left).
  int differing = 0;
  for (int x = 0; x < kWidth; ++x)
    if (shown.at(x, 3) != frontPanelPixel(x, 3)) ++differing;
  for (int y = 140; y < kHeight; ++y)
    for (int x = 0; x < 70; ++x)
      if (shown.at(x, y) != frontPanelPixel(x, y)) ++differing;
  EXPECT_EQ(differing, 0);

  // Host automation: the window changes at the next idle, not before.
  const auto knobBefore = pixelsIn(shown, kInputKnob);
  plugin->setParameter(0, 1.0f);
  XSync(host.display(), False);
  EXPECT_EQ(pixelsIn(host.captureChild(), kInputKnob), knobBefore);
  const auto knobAtEnd = pixelsIn(settledCapture(), kInputKnob);
  EXPECT_NE(knobAtEnd, knobBefore);
  plugin->setParameter(0, 0.5f);
  EXPECT_EQ(pixelsIn(settledCapture(), kInputKnob), knobBefore);
  EXPECT_TRUE(edits().empty()); // automation is not echoed to the host

  EXPECT_EQ(plugin->dispatch(effEditClose), 0);
  EXPECT_EQ(host.childCount(), 0);
}

TEST_F(WindowTest, FiftyOpenCloseCyclesLeaveNoWindowsOrConnections) {
  // One cycle first, so that one-time library set-up is not counted.
  ASSERT_TRUE(openEditor());
  idle();
  plugin->dispatch(effEditClose);
  const int descriptors = openDescriptors();
  const std::size_t heapInUse = mallinfo2().uordblks;
  for (int cycle = 0; cycle < 50; ++cycle) {
    ASSERT_TRUE(openEditor());
    idle(2);
    ASSERT_EQ(host.childCount(), 1) << "cycle " << cycle;
    plugin->dispatch(effEditClose);
    ASSERT_EQ(host.childCount(), 0) << "cycle " << cycle;
  }
  EXPECT_EQ(openDescriptors(), descriptors); // every X connection was closed
  // Heap in use stays put (a leaked back buffer alone would be 577 kB). Sanitizer
  // builds replace malloc and report nothing here; LeakSanitizer covers them.
  const std::size_t heapAfter = mallinfo2().uordblks;
  RecordProperty("heap_before", static_cast<int>(heapInUse));
  RecordProperty("heap_after", static_cast<int>(heapAfter));
  EXPECT_LT(heapAfter, heapInUse + 64 * 1024);
}

TEST_F(WindowTest, ClosingTheEffectWithTheEditorOpenRemovesTheWindow) {
  ASSERT_TRUE(openEditor());
  idle();
  const int descriptors = openDescriptors();
  plugin->close();
  EXPECT_EQ(host.childCount(), 0);
  EXPECT_EQ(openDescriptors(), descriptors - 1);
}

TEST_F(WindowTest, DraggingTheInputKnobAutomatesBetweenBeginAndEndEdit) {
  ASSERT_TRUE(openEditor());
  idle();
  plugin->clearCalls();
  host.pointerTo(101, 111);
  host.button(1, true);
  ASSERT_TRUE(idleUntil([&] { return !edits().empty(); }));
  host.pointerTo(101, 91); // 20 px up
  host.pointerTo(121, 91); // and 20 px right: 0.5 + 40 / 200
  ASSERT_TRUE(idleUntil([&] { return std::fabs(plugin->getParameter(0) - 0.7f) < 1e-4f; }));
  host.button(1, false);
  ASSERT_TRUE(idleUntil([&] { return edits().back().opcode == audioMasterEndEdit; }));

  const auto calls = edits();
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls.front().opcode, audioMasterBeginEdit);
  EXPECT_EQ(calls.front().index, 0);
  for (std::size_t i = 1; i + 1 < calls.size(); ++i) {
    EXPECT_EQ(calls[i].opcode, audioMasterAutomate);
    EXPECT_EQ(calls[i].index, 0);
  }
  EXPECT_NEAR(calls[calls.size() - 2].opt, 0.7f, 1e-4);
  EXPECT_EQ(calls.back().opcode, audioMasterEndEdit);
  EXPECT_EQ(calls.back().index, 0);
  EXPECT_NEAR(plugin->getParameter(0), 0.7f, 1e-4);
}

TEST_F(WindowTest, EqualizerLeverTogglesAndTheLampFollowsButTheLampIgnoresClicks) {
  ASSERT_TRUE(openEditor());
  const HostWindow::Capture lit = settledCapture();
  keepCapture(lit, "window-equalizer-on");
  EXPECT_GT(lampYellowness(lit), 40.0); // the "Init" program has the equalizer on
  plugin->clearCalls();

  host.click(791, 24); // the lamp: outside the switch's mouse area
  host.click(870, 10); // the corner label
  idle(5);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  idle(5);
  EXPECT_TRUE(edits().empty());
  EXPECT_FLOAT_EQ(plugin->getParameter(11), 1.0f);
  EXPECT_EQ(pixelsIn(settledCapture(), kEqualizerSwitch), pixelsIn(lit, kEqualizerSwitch));

  host.click(789, 52); // the lever
  ASSERT_TRUE(idleUntil([&] { return edits().size() >= 3; }));
  const auto calls = edits();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].opcode, audioMasterBeginEdit);
  EXPECT_EQ(calls[1].opcode, audioMasterAutomate);
  EXPECT_EQ(calls[1].opt, 0.0f);
  EXPECT_EQ(calls[2].opcode, audioMasterEndEdit);
  for (const Call& c : calls)
    EXPECT_EQ(c.index, 11);
  EXPECT_EQ(plugin->getParameter(11), 0.0f);
  const HostWindow::Capture dark = settledCapture();
  keepCapture(dark, "window-equalizer-off");
  EXPECT_LT(lampYellowness(dark), 15.0);
  EXPECT_NE(pixelsIn(dark, kEqualizerSwitch), pixelsIn(lit, kEqualizerSwitch));
}

TEST_F(WindowTest, ControlClickRestoresTheDefaultWithNestedEdits) {
  ASSERT_TRUE(openEditor());
  plugin->setParameter(5, 0.3f); // Hi Cut Freq., default 1.0 (20k)
  idle();
  plugin->clearCalls();
  host.pointerTo(647, 111);
  host.key(XK_Control_L, true);
  host.button(1, true);
  host.button(1, false);
  host.key(XK_Control_L, false);
  ASSERT_TRUE(idleUntil([&] { return edits().size() >= 5; }));
  const auto calls = edits();
  ASSERT_EQ(calls.size(), 5u);
  const VstInt32 expected[] = {audioMasterBeginEdit, audioMasterBeginEdit, audioMasterAutomate,
                               audioMasterEndEdit, audioMasterEndEdit};
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(calls[i].opcode, expected[i]) << i;
    EXPECT_EQ(calls[i].index, 5);
  }
  EXPECT_EQ(calls[2].opt, 1.0f);
  EXPECT_EQ(plugin->getParameter(5), 1.0f);
}

TEST_F(WindowTest, WheelStepsTheKnobUnderThePointer) {
  ASSERT_TRUE(openEditor());
  idle();
  plugin->clearCalls();
  host.click(101, 111, 4); // wheel up over Input
  ASSERT_TRUE(idleUntil([&] { return edits().size() >= 3; }));
  const auto calls = edits();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].opcode, audioMasterBeginEdit);
  EXPECT_EQ(calls[1].opcode, audioMasterAutomate);
  EXPECT_NEAR(calls[1].opt, 0.6f, 1e-6);
  EXPECT_EQ(calls[2].opcode, audioMasterEndEdit);
}

TEST_F(WindowTest, HostKeysReachTheFocusedSwitch) {
  ASSERT_TRUE(openEditor());
  idle();
  plugin->clearCalls();
  EXPECT_EQ(plugin->dispatch(effEditKeyDown, 0, 2 /* tab */), 1); // focus: Mode
  EXPECT_EQ(plugin->dispatch(effEditKeyDown, 0, 4 /* return */), 1);
  const auto calls = edits();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[1].opcode, audioMasterAutomate);
  EXPECT_EQ(calls[1].index, 12);
  EXPECT_EQ(calls[1].opt, 0.0f);
  EXPECT_EQ(plugin->dispatch(effSetEditKnobMode, 0, 0), 0); // refused
}

} // namespace

namespace {

// More gestures through the module, each checked against the exact sequence of
// host notifications.
struct GestureCase {
  const char* name;
  std::vector<std::pair<int, float>> before; // host values set first
  std::function<void(const HostWindow&)> gesture;
  std::vector<Call> expected; // opt compared within 1e-4
  std::pair<int, float> after;
};

class WindowGestureTest : public WindowTest, public ::testing::WithParamInterface<GestureCase> {};

TEST_P(WindowGestureTest, SendsExactlyTheseNotifications) {
  const GestureCase& c = GetParam();
  ASSERT_TRUE(openEditor());
  for (auto [index, value] : c.before)
    plugin->setParameter(index, value);
  idle();
  plugin->clearCalls();
  c.gesture(host);
  // Let every event arrive, then idle a little more to catch anything extra.
  idleUntil([&] { return edits().size() >= c.expected.size(); });
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  idle(3);
  const auto calls = edits();
  ASSERT_EQ(calls.size(), c.expected.size());
  for (std::size_t i = 0; i < calls.size(); ++i) {
    EXPECT_EQ(calls[i].opcode, c.expected[i].opcode) << i;
    EXPECT_EQ(calls[i].index, c.expected[i].index) << i;
    EXPECT_NEAR(calls[i].opt, c.expected[i].opt, 1e-4) << i;
  }
  EXPECT_NEAR(plugin->getParameter(c.after.first), c.after.second, 1e-4);
}

Call begin(int i) { return {audioMasterBeginEdit, i, 0.0f}; }
Call end(int i) { return {audioMasterEndEdit, i, 0.0f}; }
Call automate(int i, float v) { return {audioMasterAutomate, i, v}; }

void controlClick(const HostWindow& h, int x, int y) {
  h.pointerTo(x, y);
  h.key(XK_Control_L, true);
  h.click(x, y);
  h.key(XK_Control_L, false);
}

void shiftDrag(const HostWindow& h, int x, int y, int dy) {
  h.pointerTo(x, y);
  h.key(XK_Shift_L, true);
  h.button(1, true);
  h.pointerTo(x, y - dy);
  h.button(1, false);
  h.key(XK_Shift_L, false);
}

INSTANTIATE_TEST_SUITE_P(
    Gestures, WindowGestureTest,
    ::testing::Values(
        GestureCase{"ControlClickAtTheDefault",
                    {},
                    [](const HostWindow& h) { controlClick(h, 101, 111); },
                    {begin(0), end(0)},
                    {0, 0.5f}},
        GestureCase{"ControlClickOnLoBoost",
                    {{7, 0.8f}},
                    [](const HostWindow& h) { controlClick(h, 184, 51); },
                    {begin(7), begin(7), automate(7, 0.0f), end(7), end(7)},
                    {7, 0.0f}},
        GestureCase{"TubeAtPointSevenClicksToOne",
                    {{10, 0.7f}},
                    [](const HostWindow& h) { h.click(836, 52); },
                    {begin(10), automate(10, 1.0f), end(10)},
                    {10, 1.0f}},
        GestureCase{
            "TubeTwoClicksTurnItOff",
            {{10, 0.7f}},
            [](const HostWindow& h) {
              h.click(836, 52);
              h.click(836, 52);
            },
            {begin(10), automate(10, 1.0f), end(10), begin(10), automate(10, 0.0f), end(10)},
            {10, 0.0f}},
        GestureCase{"ModeLeverToMono",
                    {},
                    [](const HostWindow& h) { h.click(40, 111); },
                    {begin(12), automate(12, 0.0f), end(12)},
                    {12, 0.0f}},
        GestureCase{
            "TubeLampIgnored", {}, [](const HostWindow& h) { h.click(838, 24); }, {}, {10, 1.0f}},
        GestureCase{"ShiftDragIsFiner",
                    {},
                    [](const HostWindow& h) { shiftDrag(h, 101, 111, 30); },
                    {begin(0), automate(0, 0.6f), end(0)},
                    {0, 0.6f}},
        GestureCase{"RightButtonDoesNothing",
                    {},
                    [](const HostWindow& h) { h.click(101, 111, 3); },
                    {},
                    {0, 0.5f}}),
    [](const ::testing::TestParamInfo<GestureCase>& info) { return std::string(info.param.name); });

TEST_F(WindowTest, ParentWindowThatDoesNotExistLeavesTheHostRunning) {
  // Open still answers 1; there is simply no window.
  EXPECT_EQ(plugin->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(uintptr_t{0x7fff1234})), 1);
  idle();
  plugin->dispatch(effEditClose);
  ASSERT_TRUE(openEditor()); // and a real window works afterwards
  EXPECT_EQ(host.childCount(), 1);
  plugin->dispatch(effEditClose);
}

} // namespace

namespace {

TEST_F(WindowTest, AutomationFromAnotherThreadWhileTheWindowIdles) {
  ASSERT_TRUE(openEditor());
  idle();
  std::atomic<bool> stop{false};
  std::thread automation([&] {
    for (int round = 0; !stop.load(); ++round)
      for (int i = 0; i < 13; ++i)
        plugin->setParameter(i, static_cast<float>((round + i * 17) % 101) / 100.0f);
  });
  for (int n = 0; n < 100; ++n) {
    idle();
    if (n == 50) { // and once closed and reopened under way
      plugin->dispatch(effEditClose);
      ASSERT_TRUE(openEditor());
    }
  }
  stop = true;
  automation.join();
  // The latest value is what the window shows after the next idle.
  plugin->setParameter(0, 0.5f);
  const auto atHalf = pixelsIn(settledCapture(), kInputKnob);
  plugin->setParameter(0, 1.0f);
  idle();
  plugin->setParameter(0, 0.5f);
  EXPECT_EQ(pixelsIn(settledCapture(), kInputKnob), atHalf);
  EXPECT_TRUE(edits().empty());
}

} // namespace

namespace {

TEST_F(WindowTest, UncoveredWindowIsRepaintedFromTheBackBuffer) {
  ASSERT_TRUE(openEditor());
  const HostWindow::Capture before = settledCapture();
  ASSERT_FALSE(before.pixels.empty());
  // Hide and show the host window: the server forgets the contents and asks for a repaint.
  XUnmapWindow(host.display(), host.window());
  XSync(host.display(), False);
  XMapWindow(host.display(), host.window());
  XSync(host.display(), False);
  ASSERT_TRUE(idleUntil([&] { return host.captureChild().pixels == before.pixels; }));
}

TEST_F(WindowTest, KeysTypedIntoTheWindowReachTheFocusedSwitch) {
  ASSERT_TRUE(openEditor());
  idle();
  plugin->clearCalls();
  XSetInputFocus(host.display(), host.firstChild(), RevertToParent, CurrentTime);
  XSync(host.display(), False);
  host.key(XK_Tab, true); // focus: Mode
  host.key(XK_Tab, false);
  host.key(XK_Return, true);
  host.key(XK_Return, false);
  ASSERT_TRUE(idleUntil([&] { return edits().size() >= 3; }));
  const auto calls = edits();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].opcode, audioMasterBeginEdit);
  EXPECT_EQ(calls[1].opcode, audioMasterAutomate);
  EXPECT_EQ(calls[1].index, 12);
  EXPECT_EQ(calls[1].opt, 0.0f);
  EXPECT_EQ(calls[2].opcode, audioMasterEndEdit);
}

} // namespace
