// Shared by the editor tests: a stand-in effect that records its host calls,
// the panel images, and pixel comparison of drawn controls.
#pragma once

#include "EmbeddedResources.h"
#include "formats/vst2/AudioEffectX.h"
#include "gui/offscreen/Snapshot.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace guitest {

constexpr int kNumParams = 13;

// Host notifications an editor causes.
struct HostCall {
  VstInt32 opcode;
  VstInt32 index;
  float opt;
  bool operator==(const HostCall&) const = default;
};

inline HostCall beginEdit(VstInt32 index) { return {audioMasterBeginEdit, index, 0.0f}; }
inline HostCall endEdit(VstInt32 index) { return {audioMasterEndEdit, index, 0.0f}; }
inline HostCall automate(VstInt32 index, float value) {
  return {audioMasterAutomate, index, value};
}

std::string describe(const std::vector<HostCall>& calls);

// Holds 13 values like the effect and forwards every change to its editor,
// as the effect does; host calls are recorded in order.
class RecordingEffect : public AudioEffectX {
public:
  RecordingEffect();
  explicit RecordingEffect(const std::array<float, kNumParams>& values);

  void processReplacing(float**, float**, VstInt32) override {}
  void setParameter(VstInt32 index, float value) override;
  float getParameter(VstInt32 index) override;

  std::vector<HostCall> calls() const;
  void clearCalls();
  int masterIdleCount() const;

private:
  static VstIntPtr hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                void* ptr, float opt);

  std::array<std::atomic<float>, kNumParams> values{};
  mutable std::mutex callsMutex;
  std::vector<HostCall> recorded;
};

// The "Init" program's values.
inline constexpr std::array<float, kNumParams> kInitValues = {
    0.5f, 0.5f, 0.0f, 0.0f, 0.5f, 1.0f, 0.5f, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f};

// A panel image decoded from the module's resources.
VSTGUI::PixelImage panelImage(const char* name);

// Where each control sits and what it draws from.
struct ControlLayout {
  int tag;
  const char* image;
  int frames;
  int left;
  int top;
  int width;
  int height;
};
const std::array<ControlLayout, kNumParams>& panelLayout(); // indexed by tag

// The sub-image the panel draws for a value.
int expectedSubImage(const ControlLayout& control, float value);

// The largest per-channel difference between the drawn pixels inside the
// control's rectangle and sub-image k of its strip blended over the background.
int blendError(const VSTGUI::PixelImage& drawn, const VSTGUI::PixelImage& background,
               const VSTGUI::PixelImage& strip, const ControlLayout& control, int k);

// The sub-image that best explains the drawn pixels, with its error.
struct Match {
  int subImage;
  int error;
};
Match bestSubImage(const VSTGUI::PixelImage& drawn, const VSTGUI::PixelImage& background,
                   const VSTGUI::PixelImage& strip, const ControlLayout& control);

} // namespace guitest
