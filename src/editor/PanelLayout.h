// The front panel's layout, once: where each control sits, which film strip it draws from, where
// a switch takes clicks and what is printed beside it. The editor builds the panel from it and
// the artwork program draws the background to it (a knob well under every knob, a seat under
// every switch, scale labels at the pointer angles of the knob's strip).
#pragma once

#include "core/ParameterIndices.h"

#include <cstdint>
#include <iterator>
#include <string_view>

namespace panel {

constexpr int kWidth = 890;
constexpr int kHeight = 162;

// The film strips, in the order the editor loads them: frames stacked from the top, each the
// strip's full width.
enum class Strip : std::uint8_t { plainSwitch, lampSwitch, knob, knob6, knob7 };

struct StripImage {
  const char* resource; // name the editor asks for
  int frames;
  int width;
  int frameHeight;
};

constexpr StripImage kStrips[] = {
    {"MetalSwitch.png", 2, 26, 29},   {"MetalSwitchWithLed.png", 2, 26, 58},
    {"BakeliteKnob.png", 99, 52, 52}, {"BakeliteKnob6.png", 6, 52, 52},
    {"BakeliteKnob7.png", 7, 52, 52},
};
constexpr int kNumStrips = static_cast<int>(std::size(kStrips));

constexpr const StripImage& stripImage(Strip s) { return kStrips[static_cast<int>(s)]; }
constexpr bool isKnob(Strip s) {
  return s == Strip::knob || s == Strip::knob6 || s == Strip::knob7;
}

constexpr const char* kBackgroundImage = "FrontPanel.bmp";

// Pixels, right and bottom exclusive.
struct Area {
  int left, top, right, bottom;
  constexpr bool empty() const { return right <= left || bottom <= top; }
};

enum class CaptionPlace : std::uint8_t { none, above, below };

struct ControlPlace {
  int left, top; // the control's top-left corner; its size comes from its strip
  Strip strip;
  Area mouseArea; // switches: where clicks count, relative to the corner; knobs: empty
  std::string_view caption;
  CaptionPlace captionPlace;
};

// Only the lever of a switch reacts to the mouse, not the lamp above it.
constexpr Area kModeMouseArea{4, 4, 22, 25};
constexpr Area kLampSwitchMouseArea{3, 35, 20, 54};

// By parameter index (= control tag). The switches' captions are printed around their seats by
// the artwork program itself.
constexpr ControlPlace kControls[kNumParams] = {
    {75, 85, Strip::knob, {}, "INPUT", CaptionPlace::below},
    {706, 25, Strip::knob, {}, "OUTPUT", CaptionPlace::above},
    {419, 25, Strip::knob, {}, "BOOST", CaptionPlace::above},
    {562, 25, Strip::knob, {}, "ATTEN", CaptionPlace::above},
    {478, 85, Strip::knob7, {}, "HIGH FREQUENCY", CaptionPlace::below},
    {621, 85, Strip::knob6, {}, "ATTEN SEL", CaptionPlace::below},
    {360, 85, Strip::knob, {}, "BANDWIDTH", CaptionPlace::below},
    {158, 25, Strip::knob, {}, "BOOST", CaptionPlace::above},
    {276, 25, Strip::knob, {}, "ATTEN", CaptionPlace::above},
    {217, 85, Strip::knob6, {}, "LOW FREQUENCY", CaptionPlace::below},
    {825, 8, Strip::lampSwitch, kLampSwitchMouseArea, "TUBE", CaptionPlace::none},
    {778, 8, Strip::lampSwitch, kLampSwitchMouseArea, "EQ", CaptionPlace::none},
    {27, 97, Strip::plainSwitch, kModeMouseArea, "", CaptionPlace::none},
};

// The order in which the editor builds the controls, and so their order in the frame.
constexpr int kBuildOrder[kNumParams] = {
    kMode,  kEqualizer,   kTubeBuffer, kLoBoost, kLoCut,      kLoFreq,     kHiBoost,
    kHiCut, kHiBoostFreq, kHiCutFreq,  kHiFreqQ, kInputLevel, kOutputLevel};

// An empty text label in the top right corner, above the Tube Buffer switch.
constexpr Area kCornerLabel{850, 4, 880, 19};

} // namespace panel
