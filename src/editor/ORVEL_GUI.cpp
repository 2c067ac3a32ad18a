#include "editor/ORVEL_GUI.h"

#include "core/ParameterIndices.h"
#include "formats/vst2/AudioEffect.h"

#include <thread>

using namespace VSTGUI;

namespace {

// Film strips and their sub-image counts.
constexpr const char* kBackgroundImage = "FrontPanel.bmp";
constexpr const char* kSwitchImage = "MetalSwitch.png";
constexpr const char* kSwitchWithLedImage = "MetalSwitchWithLed.png";
constexpr const char* kKnobImage = "BakeliteKnob.png";
constexpr const char* kKnob6Image = "BakeliteKnob6.png";
constexpr const char* kKnob7Image = "BakeliteKnob7.png";
constexpr int32_t kKnobFrames = 99;
constexpr int32_t kKnob6Frames = 6;
constexpr int32_t kKnob7Frames = 7;

// Top-left corners on the panel, pixels.
struct Corner {
  CCoord x;
  CCoord y;
};

// Switches take clicks on the lever only: the area relative to the switch's corner.
constexpr CRect kModeMouseArea(4, 4, 22, 25);
constexpr CRect kLedSwitchMouseArea(3, 35, 20, 54);

constexpr CRect kCornerLabelRect(850, 4, 880, 19);

CRect placed(const Corner& corner, CCoord width, CCoord height) {
  return CRect(corner.x, corner.y, corner.x + width, corner.y + height);
}

CRect relative(const Corner& corner, const CRect& area) {
  return CRect(corner.x + area.left, corner.y + area.top, corner.x + area.right,
               corner.y + area.bottom);
}

} // namespace

ORVEL_GUI::ORVEL_GUI(AudioEffect* effect) : AEffGUIEditor(effect) {
  backgroundLoaded = false;
  rect.top = 0;
  rect.left = 0;
  rect.bottom = kHeight;
  rect.right = kWidth;
}

ORVEL_GUI::~ORVEL_GUI() {
  // A host may destroy the effect with the window still open; the frame and
  // its window go with it.
  close();
  if (backgroundLoaded) background->forget();
}

CControl* ORVEL_GUI::getControl(int tag) const {
  return frame && tag >= 0 && tag < kNumControls ? controlByTag[static_cast<std::size_t>(tag)]
                                                 : nullptr;
}

bool ORVEL_GUI::open(void* ptr) {
  // A host that opens twice gets one panel, not two frames on the same editor.
  close();
  AEffGUIEditor::open(ptr);

  // 1. The front panel once per editor; later opens reuse it.
  if (!backgroundLoaded) {
    background = new CBitmap(CResourceDescription(kBackgroundImage));
    backgroundLoaded = true;
  }

  // 2. The control strips, anew at every open.
  auto* switchImage = new CBitmap(CResourceDescription(kSwitchImage));
  auto* switchWithLedImage = new CBitmap(CResourceDescription(kSwitchWithLedImage));
  auto* knobImage = new CBitmap(CResourceDescription(kKnobImage));
  auto* knob6Image = new CBitmap(CResourceDescription(kKnob6Image));
  auto* knob7Image = new CBitmap(CResourceDescription(kKnob7Image));

  // 3. The frame takes its size from the front panel.
  CRect frameSize(0, 0, background->getWidth(), background->getHeight());
  auto* newFrame = new CFrame(frameSize, ptr, this);
  newFrame->setBackground(background);

  // 4. An empty label in the top right corner.
  cornerLabel = new CTextLabel(kCornerLabelRect, "");
  cornerLabel->setFont(kNormalFontSmaller);
  cornerLabel->setBackColor(CColor(255, 255, 255, 0));
  cornerLabel->setFrameColor(CColor(255, 255, 255, 0));
  newFrame->addView(cornerLabel);

  auto parameter = [this](int tag) { return effect ? effect->getParameter(tag) : 0.0f; };

  // 5. Switches: full image width by half its height (two sub-images).
  auto makeSwitch = [&](Corner corner, int tag, CBitmap* image, const CRect& mouseArea) {
    auto* control = new COnOffButton(placed(corner, image->getWidth(), image->getHeight() / 2),
                                     this, tag, image);
    control->setValue(parameter(tag));
    control->setMouseableArea(relative(corner, mouseArea));
    newFrame->addView(control);
    return control;
  };
  modeSwitch = makeSwitch({27, 97}, kMode, switchImage, kModeMouseArea);
  equalizerSwitch = makeSwitch({778, 8}, kEqualizer, switchWithLedImage, kLedSwitchMouseArea);
  tubeBufferSwitch = makeSwitch({825, 8}, kTubeBuffer, switchWithLedImage, kLedSwitchMouseArea);

  // 6. Knobs: image width by the height of one frame of the 99-frame strip
  //    (52 x 52 for all), each drawing from its own strip.
  const CCoord knobHeight = knobImage->getHeight() / kKnobFrames;
  auto makeKnob = [&](Corner corner, int tag, CBitmap* image, int32_t frames, float defaultValue) {
    auto* control = new CAnimKnob(placed(corner, image->getWidth(), knobHeight), this, tag, frames,
                                  image->getHeight() / frames, image, CPoint(0, 0));
    control->setValue(parameter(tag));
    control->setDefaultValue(defaultValue);
    newFrame->addView(control);
    return control;
  };
  loBoostKnob = makeKnob({158, 25}, kLoBoost, knobImage, kKnobFrames, 0.0f);
  loCutKnob = makeKnob({276, 25}, kLoCut, knobImage, kKnobFrames, 0.0f);
  loFreqKnob = makeKnob({217, 85}, kLoFreq, knob6Image, kKnob6Frames, 0.0f);
  hiBoostKnob = makeKnob({419, 25}, kHiBoost, knobImage, kKnobFrames, 0.0f);
  hiCutKnob = makeKnob({562, 25}, kHiCut, knobImage, kKnobFrames, 0.0f);
  hiBoostFreqKnob = makeKnob({478, 85}, kHiBoostFreq, knob7Image, kKnob7Frames, 0.5f);
  hiCutFreqKnob = makeKnob({621, 85}, kHiCutFreq, knob6Image, kKnob6Frames, 1.0f);
  hiFreqQKnob = makeKnob({360, 85}, kHiFreqQ, knobImage, kKnobFrames, 0.5f);
  inputKnob = makeKnob({75, 85}, kInputLevel, knobImage, kKnobFrames, 0.5f);
  outputKnob = makeKnob({706, 25}, kOutputLevel, knobImage, kKnobFrames, 0.5f);

  // 7. Knobs follow vertical (and horizontal) drags.
  setKnobMode(kLinearMode);

  // 8. The controls hold their own references to the strips.
  switchImage->forget();
  switchWithLedImage->forget();
  knobImage->forget();
  knob6Image->forget();
  knob7Image->forget();

  // 9. Controls by parameter index.
  controlByTag[kInputLevel] = inputKnob;
  controlByTag[kOutputLevel] = outputKnob;
  controlByTag[kHiBoost] = hiBoostKnob;
  controlByTag[kHiCut] = hiCutKnob;
  controlByTag[kHiBoostFreq] = hiBoostFreqKnob;
  controlByTag[kHiCutFreq] = hiCutFreqKnob;
  controlByTag[kHiFreqQ] = hiFreqQKnob;
  controlByTag[kLoBoost] = loBoostKnob;
  controlByTag[kLoCut] = loCutKnob;
  controlByTag[kLoFreq] = loFreqKnob;
  controlByTag[kTubeBuffer] = tubeBufferSwitch;
  controlByTag[kEqualizer] = equalizerSwitch;
  controlByTag[kMode] = modeSwitch;

  // 10. Open from here on; setParameter on other threads may now reach the controls.
  frame = newFrame;
  controlsPublished.store(true, std::memory_order_seq_cst);

  // 11. Show the effect's current values, whatever changed while the panel was being built.
  for (VstInt32 i = 0; i < kNumControls; ++i)
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
  AEffGUIEditor::close();
}

void ORVEL_GUI::setParameter(VstInt32 index, float value) {
  // Announce the write before checking: close either sees it and waits, or
  // has already withdrawn the controls and this call sees that.
  parameterWriters.fetch_add(1, std::memory_order_seq_cst);
  if (controlsPublished.load(std::memory_order_seq_cst) && index >= 0 && index < kNumControls)
    controlByTag[static_cast<std::size_t>(index)]->setValue(value);
  parameterWriters.fetch_sub(1, std::memory_order_release);
}

void ORVEL_GUI::valueChanged(CControl* control) {
  if (effect) effect->setParameterAutomated(control->getTag(), control->getValue());
}
