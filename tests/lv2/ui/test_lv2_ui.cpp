// The LV2 UI binary loaded as a host loads it, on a parent window of the tests' own Xvfb: it
// draws what the VST editor draws, reports gestures as port writes in port units bracketed by
// touch, follows port events, ignores bad ones, and leaves nothing behind when closed.
#include "FuzzSettings.h"
#include "XvfbServer.h"
#include "core/Parameters.h"
#include "formats/lv2/Lv2Ports.h"
#include "vsthost/vsthost.h"

#include <X11/Xlib.h>
#include <chrono>
#include <cmath>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <lv2/ui/ui.h>
#include <memory>
#include <random>
#include <thread>

namespace {

using guitest::HostWindow;

constexpr int kWidth = 890;
constexpr int kHeight = 162;

const LV2UI_Descriptor* uiDescriptor() {
  static const LV2UI_Descriptor* d = []() -> const LV2UI_Descriptor* {
    void* library = dlopen(OMBRINE_LV2_BUNDLE "/ombrine_ui.so", RTLD_NOW | RTLD_LOCAL);
    if (!library) {
      ADD_FAILURE() << dlerror();
      return nullptr;
    }
    using Entry = const LV2UI_Descriptor* (*)(uint32_t);
    auto entry = reinterpret_cast<Entry>(dlsym(library, "lv2ui_descriptor"));
    return entry ? entry(0) : nullptr;
  }();
  return d;
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

struct Write {
  uint32_t port;
  float value;
};
struct Touch {
  uint32_t port;
  bool grabbed;
};

// The host side of one UI instance: its window, the features it offers, what the UI told it.
class UiHost {
public:
  explicit UiHost(bool offerTouch = true) {
    touchFeature = {this, [](LV2UI_Feature_Handle h, uint32_t port, bool grabbed) {
                      static_cast<UiHost*>(h)->touches.push_back({port, grabbed});
                    }};
    resizeFeature = {this, [](LV2UI_Feature_Handle h, int w, int hgt) {
                       static_cast<UiHost*>(h)->requestedSize = {w, hgt};
                       return 0;
                     }};
    features.push_back({LV2_UI__parent, window.parentPointer()});
    features.push_back({LV2_UI__resize, &resizeFeature});
    if (offerTouch) features.push_back({LV2_UI__touch, &touchFeature});
    for (auto& f : features)
      featurePointers.push_back(&f);
    featurePointers.push_back(nullptr);
  }
  ~UiHost() { close(); }

  bool open() {
    const LV2UI_Descriptor* d = uiDescriptor();
    if (!d) return false;
    LV2UI_Widget widget = nullptr;
    handle = d->instantiate(d, lv2ports::kPluginUri, OMBRINE_LV2_BUNDLE "/", write, this, &widget,
                            featurePointers.data());
    if (!handle) return false;
    idleInterface =
        static_cast<const LV2UI_Idle_Interface*>(d->extension_data(LV2_UI__idleInterface));
    widgetId = reinterpret_cast<uintptr_t>(widget);
    return idleInterface != nullptr;
  }
  void close() {
    if (handle) uiDescriptor()->cleanup(handle);
    handle = nullptr;
  }
  void portEvent(uint32_t port, float value) {
    uiDescriptor()->port_event(handle, port, sizeof value, 0, &value);
  }
  // Every control port in port units from normalised values, as a host sends them after opening.
  void sendAll(float normalised) {
    for (int i = 0; i < kNumParams; ++i)
      portEvent(static_cast<uint32_t>(i),
                static_cast<float>(parameters::toPortValue(i, normalised)));
  }
  void sendInit() {
    for (int i = 0; i < kNumParams; ++i)
      portEvent(static_cast<uint32_t>(i),
                static_cast<float>(parameters::toPortValue(i, parameters::info(i).initial)));
  }
  void idle(int times = 1) {
    for (int i = 0; i < times; ++i)
      idleInterface->idle(handle);
  }
  bool idleUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 200; ++i) {
      idle();
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }
  HostWindow::Capture settledCapture() {
    idle();
    XSync(window.display(), False);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return window.captureChild();
  }

  HostWindow window{kWidth, kHeight};
  LV2UI_Handle handle = nullptr;
  const LV2UI_Idle_Interface* idleInterface = nullptr;
  uintptr_t widgetId = 0;
  std::vector<Write> writes;
  std::vector<Touch> touches;
  std::pair<int, int> requestedSize{0, 0};

private:
  static void write(LV2UI_Controller c, uint32_t port, uint32_t size, uint32_t format,
                    const void* buffer) {
    ASSERT_EQ(size, sizeof(float));
    ASSERT_EQ(format, 0u);
    static_cast<UiHost*>(const_cast<void*>(c))
        ->writes.push_back({port, *static_cast<const float*>(buffer)});
  }
  LV2UI_Touch touchFeature{};
  LV2UI_Resize resizeFeature{};
  std::vector<LV2_Feature> features;
  std::vector<const LV2_Feature*> featurePointers;
};

// The VST editor on a window of its own, showing the given normalised values.
HostWindow::Capture vstEditorShowing(const std::function<float(int)>& value) {
  std::string error;
  static auto module = vsthost::Module::load(OMBRINE_MODULE_PATH, &error);
  vsthost::Plugin plugin(*module);
  HostWindow window(kWidth, kHeight);
  for (int i = 0; i < kNumParams; ++i)
    plugin.setParameter(i, value(i));
  plugin.dispatch(effEditOpen, 0, 0, window.parentPointer());
  plugin.dispatch(effEditIdle);
  XSync(window.display(), False);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  plugin.dispatch(effEditIdle);
  XSync(window.display(), False);
  auto capture = window.captureChild();
  plugin.dispatch(effEditClose);
  return capture;
}

TEST(Lv2Ui, DrawsWhatTheVstEditorDraws) {
  UiHost host;
  ASSERT_TRUE(host.open());
  EXPECT_EQ(host.window.childCount(), 1);
  EXPECT_EQ(host.widgetId, host.window.firstChild());
  EXPECT_EQ(host.requestedSize, std::make_pair(kWidth, kHeight));
  struct Case {
    const char* name;
    std::function<float(int)> value;
  };
  const Case cases[] = {{"Init", [](int i) { return parameters::info(i).initial; }},
                        {"minimum", [](int) { return 0.0f; }},
                        {"maximum", [](int) { return 1.0f; }}};
  std::vector<std::vector<uint32_t>> shown;
  for (const Case& c : cases) {
    for (int i = 0; i < kNumParams; ++i)
      host.portEvent(static_cast<uint32_t>(i),
                     static_cast<float>(parameters::toPortValue(i, c.value(i))));
    const auto lv2 = host.settledCapture();
    const auto vst = vstEditorShowing(c.value);
    ASSERT_EQ(lv2.width, kWidth);
    ASSERT_EQ(lv2.height, kHeight);
    EXPECT_EQ(lv2.pixels, vst.pixels) << c.name;
    shown.push_back(lv2.pixels);
  }
  EXPECT_NE(shown[0], shown[1]); // the three settings look different
  EXPECT_NE(shown[1], shown[2]);
  EXPECT_TRUE(host.writes.empty()); // port events are not written back
}

TEST(Lv2Ui, KnobDragWritesDecibelsBetweenTouchGrabAndRelease) {
  UiHost host;
  ASSERT_TRUE(host.open());
  host.sendInit();
  host.idle();
  host.window.pointerTo(101, 111); // Input level
  host.window.button(1, true);
  ASSERT_TRUE(host.idleUntil([&] { return !host.touches.empty(); }));
  host.window.pointerTo(101, 91); // 20 px up and 20 px right: 0.5 + 40 / 200
  host.window.pointerTo(121, 91);
  ASSERT_TRUE(host.idleUntil(
      [&] { return !host.writes.empty() && std::fabs(host.writes.back().value - 7.2f) < 1e-3f; }));
  host.window.button(1, false);
  ASSERT_TRUE(host.idleUntil([&] { return host.touches.size() >= 2; }));
  ASSERT_EQ(host.touches.size(), 2u);
  EXPECT_EQ(host.touches[0].port, 0u);
  EXPECT_TRUE(host.touches[0].grabbed);
  EXPECT_EQ(host.touches[1].port, 0u);
  EXPECT_FALSE(host.touches[1].grabbed);
  for (const Write& w : host.writes)
    EXPECT_EQ(w.port, 0u);
  EXPECT_NEAR(host.writes.back().value, 7.2f, 1e-3f); // dB
}

TEST(Lv2Ui, SwitchClickWritesItsNewValueAndWorksWithoutTouch) {
  UiHost host(false);
  ASSERT_TRUE(host.open());
  host.sendInit();
  host.idle();
  host.window.click(789, 52); // the Equalizer lever, on at Init
  ASSERT_TRUE(host.idleUntil([&] { return !host.writes.empty(); }));
  ASSERT_EQ(host.writes.size(), 1u);
  EXPECT_EQ(host.writes[0].port, static_cast<uint32_t>(kEqualizer));
  EXPECT_EQ(host.writes[0].value, 0.0f);
}

TEST(Lv2Ui, PortEventsMoveTheKnobAndBadOnesAreIgnored) {
  UiHost host;
  ASSERT_TRUE(host.open());
  host.sendInit();
  const auto before = host.settledCapture();
  // Nothing a confused host sends may change the panel or crash it.
  const float value = 18.0f;
  const LV2UI_Descriptor* d = uiDescriptor();
  d->port_event(host.handle, 0, 3, 0, &value);            // wrong size
  d->port_event(host.handle, 0, sizeof value, 7, &value); // an event format
  d->port_event(host.handle, 0, sizeof value, 0, nullptr);
  for (uint32_t port : {13u, 16u, 17u, 99u, 0xffffffffu})
    d->port_event(host.handle, port, sizeof value, 0, &value);
  host.portEvent(kHiBoostFreq, std::nanf(""));
  host.portEvent(kHiBoostFreq, 6.0f); // back to Init: the NaN showed the lowest step meanwhile
  EXPECT_EQ(host.settledCapture().pixels, before.pixels);
  host.portEvent(kInputLevel, 18.0f);
  EXPECT_NE(host.settledCapture().pixels, before.pixels);
  EXPECT_TRUE(host.writes.empty());
}

TEST(Lv2Ui, OpenCloseCyclesLeaveNoWindowsOrConnections) {
  UiHost host;
  ASSERT_TRUE(host.open());
  host.idle(2);
  host.close();
  const int descriptors = openDescriptors();
  for (int cycle = 0; cycle < 20; ++cycle) {
    ASSERT_TRUE(host.open());
    host.sendInit();
    host.idle(2);
    ASSERT_EQ(host.window.childCount(), 1);
    host.close();
    ASSERT_EQ(host.window.childCount(), 0);
  }
  EXPECT_EQ(openDescriptors(), descriptors);
}

TEST(Lv2Ui, RefusesAnotherPluginOrNoParentWindow) {
  const LV2UI_Descriptor* d = uiDescriptor();
  ASSERT_NE(d, nullptr);
  LV2UI_Widget widget = nullptr;
  const LV2_Feature* none[] = {nullptr};
  auto write = [](LV2UI_Controller, uint32_t, uint32_t, uint32_t, const void*) {};
  EXPECT_EQ(d->instantiate(d, lv2ports::kPluginUri, "", write, nullptr, &widget, none), nullptr);
  UiHost host;
  EXPECT_EQ(d->instantiate(d, "urn:another:plugin", "", write, nullptr, &widget, none), nullptr);
}

// A confused host's port events: any port, size, format and value, null buffers, idles in
// between. OMBRINE_FUZZ_CALLS and OMBRINE_FUZZ_SEED set the length and the seed.
TEST(Lv2UiFuzz, RandomPortEventsNeverCrashOrWriteBack) {
  UiHost host;
  ASSERT_TRUE(host.open());
  std::mt19937_64 rng(fuzz::seed(1));
  const std::uint64_t calls = fuzz::calls(20000);
  const float specials[] = {std::numeric_limits<float>::quiet_NaN(),
                            std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity(),
                            1e30f,
                            -1e30f,
                            0.0f,
                            1.0f,
                            6.0f,
                            20.0f};
  alignas(8) unsigned char buffer[16];
  const LV2UI_Descriptor* d = uiDescriptor();
  for (std::uint64_t i = 0; i < calls; ++i) {
    const uint32_t port =
        rng() % 2 ? static_cast<uint32_t>(rng() % 20) : static_cast<uint32_t>(rng());
    const uint32_t size = rng() % 4 ? sizeof(float) : static_cast<uint32_t>(rng() % 17);
    const uint32_t format = rng() % 4 ? 0u : static_cast<uint32_t>(rng());
    const float value = rng() % 2 ? specials[rng() % std::size(specials)]
                                  : std::uniform_real_distribution<float>(-50, 50)(rng);
    std::memcpy(buffer, &value, sizeof value);
    d->port_event(host.handle, port, size, format, rng() % 16 ? buffer : nullptr);
    if (i % 64 == 0) host.idle();
  }
  host.idle();
  EXPECT_TRUE(host.writes.empty());
  EXPECT_EQ(host.window.childCount(), 1);
}

} // namespace
