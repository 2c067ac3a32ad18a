// The DLL's editor on a window under wine (Xvfb), against the Linux editor:
// the same script of host automation, mouse and key events runs on both; the
// host notifications must be the same and the window's pixels must match the
// Linux in-memory snapshot of the same state.
#include "EditorScript.h"
#include "check/WineSession.h"
#include "formats/vst2/VST_ORVEL.h"
#include "formats/vst2/editor/AEffGUIEditor.h"
#include "formats/vst2/editor/VstKeys.h"
#include "gui/CFrame.h"
#include "gui/KeyEvent.h"
#include "gui/offscreen/Snapshot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <map>
#include <regex>

using namespace wintest;

namespace {

constexpr int kWidth = 890;
constexpr int kHeight = 162;

struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgb;
};

RgbImage readPpm(const std::string& path) {
  RgbImage image;
  const std::string data = readFile(path);
  int maxValue = 0, consumed = 0;
  if (std::sscanf(data.c_str(), "P6 %d %d %d%n", &image.width, &image.height, &maxValue,
                  &consumed) != 3 ||
      maxValue != 255)
    return {};
  const std::size_t size = static_cast<std::size_t>(image.width) * image.height * 3;
  const std::size_t start = static_cast<std::size_t>(consumed) + 1; // one whitespace byte
  if (data.size() < start + size) return {};
  image.rgb.assign(data.begin() + static_cast<std::ptrdiff_t>(start),
                   data.begin() + static_cast<std::ptrdiff_t>(start + size));
  return image;
}

RgbImage fromSnapshot(const VSTGUI::PixelImage& pixels) {
  RgbImage image{pixels.width, pixels.height, {}};
  for (uint32_t p : pixels.pixels) {
    // Premultiplied; the panel is opaque, so this is the colour itself.
    const unsigned alpha = p >> 24;
    for (int shift : {16, 8, 0}) {
      const unsigned c = (p >> shift) & 0xFF;
      image.rgb.push_back(static_cast<unsigned char>(alpha ? std::min(255u, c * 255 / alpha) : 0));
    }
  }
  return image;
}

struct PixelComparison {
  int maxDifference = 0;   // largest difference of one colour channel, 0..255
  int pixelsOverOne = 0;   // pixels with a channel differing by more than 1
  int pixelsDiffering = 0; // pixels not identical
};

PixelComparison compare(const RgbImage& a, const RgbImage& b) {
  PixelComparison result;
  for (std::size_t i = 0; i + 2 < a.rgb.size() && i + 2 < b.rgb.size(); i += 3) {
    int worst = 0;
    for (std::size_t c = 0; c < 3; ++c)
      worst = std::max(worst, std::abs(int(a.rgb[i + c]) - int(b.rgb[i + c])));
    result.maxDifference = std::max(result.maxDifference, worst);
    result.pixelsOverOne += worst > 1;
    result.pixelsDiffering += worst > 0;
  }
  return result;
}

// The Linux editor driven through the same script, in this process: the effect
// with its editor on an in-memory frame, events given to the frame as the X11
// and Win32 windows give them.
class LinuxReference {
public:
  LinuxReference() {
    calls().clear();
    effect = new VST_ORVEL(&LinuxReference::hostCallback);
    aeffect = effect->getAeffect();
  }
  ~LinuxReference() { aeffect->dispatcher(aeffect, effClose, 0, 0, nullptr, 0.0f); }

  LinuxReference(const LinuxReference&) = delete;
  LinuxReference& operator=(const LinuxReference&) = delete;

  void run() {
    aeffect->dispatcher(aeffect, effEditOpen, 0, 0, nullptr, 0.0f);
    idle();
    init = snapshot();
    for (int i = 0; i < 13; ++i)
      aeffect->setParameter(aeffect, i,
                            editorscript::kAutomatedValues[static_cast<std::size_t>(i)]);
    idle();
    automated = snapshot();
    for (const auto& gesture : editorscript::gestures()) {
      calls().clear();
      for (const auto& action : gesture.actions)
        perform(action);
      hostLines[gesture.name] = edits();
      idle();
    }
    afterGestures = snapshot();
    aeffect->dispatcher(aeffect, effEditClose, 0, 0, nullptr, 0.0f);
  }

  RgbImage init, automated, afterGestures;
  std::map<std::string, std::string> hostLines;

private:
  struct Call {
    VstInt32 opcode;
    VstInt32 index;
    float opt;
  };
  static std::vector<Call>& calls() {
    static std::vector<Call> recorded;
    return recorded;
  }
  static VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*,
                                float opt) {
    calls().push_back({opcode, index, opt});
    return opcode == audioMasterVersion ? kVstVersion : 1;
  }

  VSTGUI::CFrame* frame() const {
    return static_cast<AEffGUIEditor*>(effect->getEditor())->getFrame();
  }
  void idle() { aeffect->dispatcher(aeffect, effEditIdle, 0, 0, nullptr, 0.0f); }
  RgbImage snapshot() const { return fromSnapshot(VSTGUI::snapshot::capture(*frame())); }

  void perform(const editorscript::Action& action) {
    using editorscript::Step;
    VSTGUI::CPoint where(action.x, action.y);
    const int32_t modifiers =
        (action.modifiers & editorscript::kWithControl) ? VSTGUI::kControl : 0;
    const bool tab = action.key == editorscript::kTab;
    const unsigned char virt = tab ? VKEY_TAB : VKEY_RETURN; // as the host sends it
    VSTGUI::KeyEvent key{tab ? '\t' : '\r', tab ? VSTGUI::kKeyTab : VSTGUI::kKeyReturn, 0};
    switch (action.step) {
    case Step::Press: frame()->onMouseDown(where, VSTGUI::kLButton | modifiers); break;
    case Step::Move: frame()->onMouseMoved(where, VSTGUI::kLButton | modifiers); break;
    case Step::Release: frame()->onMouseUp(where, modifiers); break;
    case Step::Wheel: frame()->onWheel(where, action.wheel, 0); break;
    case Step::Key:
      frame()->onKeyDown(key);
      frame()->onKeyUp(key);
      break;
    case Step::HostKey:
      aeffect->dispatcher(aeffect, effEditKeyDown, 0, virt, nullptr, 0.0f);
      aeffect->dispatcher(aeffect, effEditKeyUp, 0, virt, nullptr, 0.0f);
      break;
    }
  }

  std::string edits() const {
    std::string out;
    char text[64];
    for (const auto& c : calls()) {
      if (c.opcode == audioMasterBeginEdit)
        std::snprintf(text, sizeof text, "begin %d", c.index);
      else if (c.opcode == audioMasterEndEdit)
        std::snprintf(text, sizeof text, "end %d", c.index);
      else if (c.opcode == audioMasterAutomate)
        std::snprintf(text, sizeof text, "automate %d %.6f", c.index, static_cast<double>(c.opt));
      else
        continue;
      out += out.empty() ? text : std::string(" | ") + text;
    }
    return out.empty() ? "none" : out;
  }

  VST_ORVEL* effect;
  AEffect* aeffect;
};

bool contains(const std::string& text, const std::string& line) {
  for (const auto& l : lines(text))
    if (l == line) return true;
  return false;
}

} // namespace

TEST(WindowsEditor, MatchesTheLinuxEditorOnAWindow) {
  const std::string outDir = scratchDir() + "/editor";
  ASSERT_EQ(system(("mkdir -p '" + outDir + "'").c_str()), 0);
  const RunResult run = runWindows(win64File("tests/windows/ombrine-editor-probe.exe"),
                                   {windowsPath(win64File("Ombrine.dll")), windowsPath(outDir)});
  ASSERT_EQ(run.status, 0) << run.output;
  const std::string& out = run.output;

  // The panel: a visible child window of the host's window, of the editor's size.
  EXPECT_TRUE(contains(out, "rect 0 0 162 890")) << out;
  EXPECT_TRUE(contains(out, "open 1")) << out;
  EXPECT_TRUE(contains(out, "children 1, panel 890x162, visible 1")) << out;
  // Host automation shows at the next idle, not before, and is not echoed to the host.
  EXPECT_TRUE(contains(out, "unchanged before idle 1")) << out;
  EXPECT_TRUE(contains(out, "automation sent to the host: none")) << out;

  LinuxReference reference;
  reference.run();

  // The same host notifications for every gesture.
  std::map<std::string, std::string> windowsLines;
  std::string gesture;
  for (const std::string& line : lines(out)) {
    std::smatch m;
    if (std::regex_match(line, m, std::regex("gesture (\\S+)"))) gesture = m[1];
    if (std::regex_match(line, m, std::regex("  host: (.*)"))) windowsLines[gesture] = m[1];
  }
  for (const auto& g : editorscript::gestures())
    EXPECT_EQ(windowsLines[g.name], reference.hostLines[g.name]) << g.name;
  // The lamp is not part of the switch; a drag starts with begin-edit and ends with end-edit.
  EXPECT_EQ(windowsLines["equalizer-lamp"], "none");
  EXPECT_EQ(reference.hostLines["input-knob-drag"].rfind("begin 0 | automate 0", 0), 0u);

  // The mouse belongs to the panel during a knob drag (it went above the window and
  // the value still followed), not after it; a click on the panel gives it the keys.
  EXPECT_NE(out.find("gesture input-knob-drag\n"
                     "  after press: mouse captured by the panel 1, keyboard focus on the panel 1\n"
                     "  after release: mouse captured by the panel 0\n"),
            std::string::npos)
      << out;

  // The window shows what the Linux editor draws for the same state.
  const std::pair<const char*, const RgbImage*> pictures[] = {
      {"init", &reference.init},
      {"automated", &reference.automated},
      {"gestures", &reference.afterGestures}};
  for (const auto& [name, linux] : pictures) {
    const RgbImage windows = readPpm(outDir + "/" + name + ".ppm");
    ASSERT_EQ(windows.width, kWidth) << name;
    ASSERT_EQ(windows.height, kHeight) << name;
    ASSERT_EQ(linux->width, kWidth) << name;
    ASSERT_EQ(linux->height, kHeight) << name;
    const PixelComparison c = compare(*linux, windows);
    std::printf("  %-9s largest channel difference %d, pixels differing %d, by more than 1: %d\n",
                name, c.maxDifference, c.pixelsDiffering, c.pixelsOverOne);
    // Both blend the same 8-bit images; the two libraries round differently.
    EXPECT_LE(c.maxDifference, 2) << name;
  }
  // The states differ from each other, so the comparisons above can tell them apart.
  EXPECT_GT(compare(reference.init, reference.automated).pixelsOverOne, 1000);
  EXPECT_GT(compare(reference.automated, reference.afterGestures).pixelsOverOne, 500);

  // Open/close cycles leave no window, no window class and no memory behind.
  EXPECT_TRUE(contains(out, "after close: children 0, frame class registered 0")) << out;
  EXPECT_TRUE(contains(out, "cycles 20 failed 0, children 0, frame class registered 0")) << out;
  std::smatch m;
  ASSERT_TRUE(std::regex_search(
      out, m, std::regex("memory ([0-9.]+) MB, growth over the cycles (-?[0-9.]+) MB")))
      << out;
  EXPECT_GT(std::stod(m[1]), 1.0); // the counter works
  // One cycle's images and back buffer take about 2.6 MB: a leak of any of them shows.
  EXPECT_LT(std::stod(m[2]), 4.0);
  EXPECT_TRUE(contains(out, "effect closed with the editor open: children 0")) << out;
  EXPECT_TRUE(contains(out, "done")) << out;
}
