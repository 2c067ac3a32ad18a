#include "GuiTestSupport.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace guitest {

std::string describe(const std::vector<HostCall>& calls) {
  std::ostringstream out;
  for (const HostCall& c : calls) {
    switch (c.opcode) {
    case audioMasterBeginEdit: out << "begin(" << c.index << ") "; break;
    case audioMasterEndEdit: out << "end(" << c.index << ") "; break;
    case audioMasterAutomate: out << "automate(" << c.index << "," << c.opt << ") "; break;
    default: out << "op" << c.opcode << "(" << c.index << ") "; break;
    }
  }
  return out.str();
}

RecordingEffect::RecordingEffect() : RecordingEffect(kInitValues) {}

RecordingEffect::RecordingEffect(const std::array<float, kNumParams>& initial)
    : AudioEffectX(hostCallback, 1, kNumParams) {
  for (int i = 0; i < kNumParams; ++i)
    values[static_cast<std::size_t>(i)].store(initial[static_cast<std::size_t>(i)]);
  getAeffect()->user = this;
}

void RecordingEffect::setParameter(VstInt32 index, float value) {
  if (index < 0 || index >= kNumParams) return;
  values[static_cast<std::size_t>(index)].store(value);
  if (editor) editor->setParameter(index, value);
}

float RecordingEffect::getParameter(VstInt32 index) {
  return index >= 0 && index < kNumParams ? values[static_cast<std::size_t>(index)].load() : 0.0f;
}

std::vector<HostCall> RecordingEffect::calls() const {
  std::lock_guard lock(callsMutex);
  std::vector<HostCall> edits;
  for (const HostCall& c : recorded)
    if (c.opcode != audioMasterIdle) edits.push_back(c);
  return edits;
}

void RecordingEffect::clearCalls() {
  std::lock_guard lock(callsMutex);
  recorded.clear();
}

int RecordingEffect::masterIdleCount() const {
  std::lock_guard lock(callsMutex);
  return static_cast<int>(std::count_if(recorded.begin(), recorded.end(), [](const HostCall& c) {
    return c.opcode == audioMasterIdle;
  }));
}

VstIntPtr RecordingEffect::hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr,
                                        void*, float opt) {
  if (!effect || !effect->user) return opcode == audioMasterVersion ? 2400 : 0;
  auto* self = static_cast<RecordingEffect*>(effect->user);
  std::lock_guard lock(self->callsMutex);
  self->recorded.push_back({opcode, index, opt});
  return 1;
}

VSTGUI::PixelImage panelImage(const char* name) {
  const ombrine::ResourceBlob blob = ombrine::findResource(name);
  return VSTGUI::snapshot::decode(blob.data, blob.size);
}

const std::array<ControlLayout, kNumParams>& panelLayout() {
  static const std::array<ControlLayout, kNumParams> layout = {{
      {0, "BakeliteKnob.png", 99, 75, 85, 52, 52},
      {1, "BakeliteKnob.png", 99, 706, 25, 52, 52},
      {2, "BakeliteKnob.png", 99, 419, 25, 52, 52},
      {3, "BakeliteKnob.png", 99, 562, 25, 52, 52},
      {4, "BakeliteKnob7.png", 7, 478, 85, 52, 52},
      {5, "BakeliteKnob6.png", 6, 621, 85, 52, 52},
      {6, "BakeliteKnob.png", 99, 360, 85, 52, 52},
      {7, "BakeliteKnob.png", 99, 158, 25, 52, 52},
      {8, "BakeliteKnob.png", 99, 276, 25, 52, 52},
      {9, "BakeliteKnob6.png", 6, 217, 85, 52, 52},
      {10, "MetalSwitchWithLed.png", 2, 825, 8, 26, 58},
      {11, "MetalSwitchWithLed.png", 2, 778, 8, 26, 58},
      {12, "MetalSwitch.png", 2, 27, 97, 26, 29},
  }};
  return layout;
}

int expectedSubImage(const ControlLayout& control, float value) {
  if (control.frames == 2) return value >= 0.5f ? 1 : 0;
  if (value >= 1.0f) return control.frames - 1;
  if (value <= 0.0f) return 0;
  return std::min(control.frames - 1, static_cast<int>(std::floor(control.frames * value)));
}

namespace {

int channel(uint32_t pixel, int shift) { return static_cast<int>((pixel >> shift) & 0xFF); }

} // namespace

int blendError(const VSTGUI::PixelImage& drawn, const VSTGUI::PixelImage& background,
               const VSTGUI::PixelImage& strip, const ControlLayout& control, int k) {
  const int frameHeight = strip.height / control.frames;
  int worst = 0;
  for (int y = 0; y < control.height; ++y) {
    for (int x = 0; x < control.width; ++x) {
      const uint32_t src = strip.at(x, k * frameHeight + y);
      const uint32_t dst = background.at(control.left + x, control.top + y);
      const uint32_t got = drawn.at(control.left + x, control.top + y);
      const int srcAlpha = channel(src, 24);
      // Premultiplied "over": result = source + destination * (1 - source alpha).
      for (int shift : {0, 8, 16}) {
        const double expected =
            channel(src, shift) + channel(dst, shift) * (255 - srcAlpha) / 255.0;
        worst = std::max(worst,
                         static_cast<int>(std::lround(std::abs(expected - channel(got, shift)))));
      }
    }
  }
  return worst;
}

Match bestSubImage(const VSTGUI::PixelImage& drawn, const VSTGUI::PixelImage& background,
                   const VSTGUI::PixelImage& strip, const ControlLayout& control) {
  Match best{-1, 1 << 30};
  for (int k = 0; k < control.frames; ++k) {
    const int error = blendError(drawn, background, strip, control, k);
    if (error < best.error) best = {k, error};
  }
  return best;
}

} // namespace guitest
