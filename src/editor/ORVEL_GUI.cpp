#include "editor/ORVEL_GUI.h"

#include "core/Parameters.h"
#include "editor/PanelLayout.h"
#include "gui/platform/HookState.h"
#include "gui/platform/Platform.h"

#include <thread>

using namespace VSTGUI;

namespace {

CRect toRect(const panel::Area& a) { return CRect(a.left, a.top, a.right, a.bottom); }

CRect placed(const panel::ControlPlace& place, CCoord width, CCoord height) {
  return CRect(place.left, place.top, place.left + width, place.top + height);
}

CRect relative(const panel::ControlPlace& place, const panel::Area& area) {
  return CRect(place.left + area.left, place.top + area.top, place.left + area.right,
               place.top + area.bottom);
}

} // namespace

ORVEL_GUI::ORVEL_GUI(EditController* controller)
    : controller(controller), lLastTicks(detail::ticks()) {
  platform::initializeThread();
  backgroundLoaded = false;
}

ORVEL_GUI::~ORVEL_GUI() {
  // A host may destroy the plug-in with the window still open; the frame and
  // its window go with it.
  close();
  if (backgroundLoaded) background->forget();
  platform::uninitializeThread();
}

CControl* ORVEL_GUI::getControl(int tag) const {
  return frame && tag >= 0 && tag < kNumControls ? controlByTag[static_cast<std::size_t>(tag)]
                                                 : nullptr;
}

bool ORVEL_GUI::open(void* ptr) {
  // A host that opens twice gets one panel, not two frames on the same editor.
  close();

  // 1. The front panel once per editor; later opens reuse it.
  if (!backgroundLoaded) {
    background = new CBitmap(CResourceDescription(panel::kBackgroundImage));
    backgroundLoaded = true;
  }

  // 2. The control strips, anew at every open.
  std::array<CBitmap*, panel::kNumStrips> strips{};
  for (int i = 0; i < panel::kNumStrips; ++i)
    strips[i] = new CBitmap(CResourceDescription(panel::kStrips[i].resource));
  auto image = [&](panel::Strip s) { return strips[static_cast<std::size_t>(s)]; };

  // 3. The frame takes its size from the front panel.
  CRect frameSize(0, 0, background->getWidth(), background->getHeight());
  auto* newFrame = new CFrame(frameSize, ptr, this);
  newFrame->setBackground(background);

  // 4. An empty label in the top right corner.
  cornerLabel = new CTextLabel(toRect(panel::kCornerLabel), "");
  cornerLabel->setFont(kNormalFontSmaller);
  cornerLabel->setBackColor(CColor(255, 255, 255, 0));
  cornerLabel->setFrameColor(CColor(255, 255, 255, 0));
  newFrame->addView(cornerLabel);

  auto parameter = [this](int tag) { return controller ? controller->getParameter(tag) : 0.0f; };

  // 5. and 6. Switches, then knobs. A switch is its image's full width by half its height (two
  //    sub-images). A knob is its image's width by the height of one frame of the 99-frame strip
  //    (52 x 52 for all), drawing from its own strip; its default is the Init value.
  const CCoord knobHeight =
      image(panel::Strip::knob)->getHeight() / panel::stripImage(panel::Strip::knob).frames;
  for (int tag : panel::kBuildOrder) {
    const panel::ControlPlace& place = panel::kControls[tag];
    CBitmap* strip = image(place.strip);
    CControl* control = nullptr;
    if (panel::isKnob(place.strip)) {
      const int32_t frames = panel::stripImage(place.strip).frames;
      auto* knob = new CAnimKnob(placed(place, strip->getWidth(), knobHeight), this, tag, frames,
                                 strip->getHeight() / frames, strip, CPoint(0, 0));
      knob->setValue(parameter(tag));
      knob->setDefaultValue(parameters::info(tag).initial);
      control = knob;
    } else {
      auto* button = new COnOffButton(placed(place, strip->getWidth(), strip->getHeight() / 2),
                                      this, tag, strip);
      button->setValue(parameter(tag));
      button->setMouseableArea(relative(place, place.mouseArea));
      control = button;
    }
    newFrame->addView(control);
    controlByTag[static_cast<std::size_t>(tag)] = control;
  }
  auto knobFor = [this](int tag) { return static_cast<CAnimKnob*>(controlByTag[tag]); };
  auto switchFor = [this](int tag) { return static_cast<COnOffButton*>(controlByTag[tag]); };
  loBoostKnob = knobFor(kLoBoost);
  loCutKnob = knobFor(kLoCut);
  loFreqKnob = knobFor(kLoFreq);
  hiBoostKnob = knobFor(kHiBoost);
  hiCutKnob = knobFor(kHiCut);
  hiBoostFreqKnob = knobFor(kHiBoostFreq);
  hiCutFreqKnob = knobFor(kHiCutFreq);
  hiFreqQKnob = knobFor(kHiFreqQ);
  inputKnob = knobFor(kInputLevel);
  outputKnob = knobFor(kOutputLevel);
  modeSwitch = switchFor(kMode);
  equalizerSwitch = switchFor(kEqualizer);
  tubeBufferSwitch = switchFor(kTubeBuffer);

  // 7. Knobs follow vertical (and horizontal) drags.
  knobMode = kLinearMode;

  // 8. The controls hold their own references to the strips.
  for (CBitmap* strip : strips)
    strip->forget();

  // 10. Open from here on; setParameter on other threads may now reach the controls.
  frame = newFrame;
  controlsPublished.store(true, std::memory_order_seq_cst);

  // 11. Show the plug-in's current values, whatever changed while the panel was being built.
  for (int i = 0; i < kNumControls; ++i)
    setParameter(i, parameter(i));

  return true;
}

void ORVEL_GUI::close() {
  if (!frame) return;

  // Stop setParameter from reaching the controls, and wait for any call that
  // already passed the check (it is a single store, so this is brief).
  controlsPublished.store(false, std::memory_order_seq_cst);
  while (parameterWriters.load(std::memory_order_seq_cst) != 0)
    std::this_thread::yield();

  loBoostKnob = loCutKnob = loFreqKnob = nullptr;
  hiBoostKnob = hiCutKnob = hiBoostFreqKnob = hiCutFreqKnob = hiFreqQKnob = nullptr;
  inputKnob = outputKnob = nullptr;
  modeSwitch = equalizerSwitch = tubeBufferSwitch = nullptr;
  controlByTag.fill(nullptr);
  cornerLabel = nullptr;

  // The frame takes its views and their strips with it; the editor keeps the front panel.
  CFrame* oldFrame = frame;
  frame = nullptr;
  oldFrame->forget();
}

void ORVEL_GUI::idle() {
  if (inIdleStuff) return;
  if (frame) frame->idle();
}

bool ORVEL_GUI::onKeyDown(KeyEvent& key) { return frame ? frame->onKeyDown(key) == 1 : false; }

bool ORVEL_GUI::onKeyUp(KeyEvent& key) { return frame ? frame->onKeyUp(key) == 1 : false; }

bool ORVEL_GUI::onWheel(float distance) {
  if (!frame) return false;
  CPoint where;
  frame->getCurrentMouseLocation(where);
  return frame->onWheel(where, distance, frame->getCurrentMouseButtons());
}

void ORVEL_GUI::doIdleStuff() {
  uint32_t now = detail::ticks();
  // Tick counts wrap; compare by signed distance.
  auto before = [](uint32_t a, uint32_t b) { return static_cast<int32_t>(a - b) < 0; };
  if (before(now, lLastTicks)) {
    detail::sleepMilliseconds(kIdleWait);
    now += kIdleWait;
    if (before(now, lLastTicks - kIdleSlack)) return;
  }
  idle();
  if (frame)
    if (IPlatformFrame* platformFrame = frame->getPlatformFrame()) platformFrame->dispatchPaint();
  lLastTicks = now + kIdleRate;
  inIdleStuff = true;
  if (controller) controller->idleHost();
  inIdleStuff = false;
}

void ORVEL_GUI::beginEdit(int32_t index) {
  if (controller) controller->beginEdit(index);
}

void ORVEL_GUI::endEdit(int32_t index) {
  if (controller) controller->endEdit(index);
}

void ORVEL_GUI::setParameter(int index, float value) {
  // Announce the write before checking: close either sees it and waits, or
  // has already withdrawn the controls and this call sees that.
  parameterWriters.fetch_add(1, std::memory_order_seq_cst);
  if (controlsPublished.load(std::memory_order_seq_cst) && index >= 0 && index < kNumControls)
    controlByTag[static_cast<std::size_t>(index)]->setValue(value);
  parameterWriters.fetch_sub(1, std::memory_order_release);
}

void ORVEL_GUI::valueChanged(CControl* control) {
  if (controller) controller->performEdit(control->getTag(), control->getValue());
}
