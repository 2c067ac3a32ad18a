// Where the editor puts its controls on the 890 × 162 panel, and what each film strip holds. The
// background is drawn to these coordinates: a knob well under every knob, a seat under every
// switch, scale labels at the pointer angles of the strip the knob draws from.
#pragma once

#include <array>
#include <string_view>
#include <vector>

namespace artwork {

constexpr int kPanelWidth = 890;
constexpr int kPanelHeight = 162;
constexpr int kKnobSize = 52; // every knob frame is 52 × 52

enum class KnobStrip { continuous, six, seven };

// Pointer angle of one frame in degrees from straight up, clockwise positive.
inline double knobAngle(KnobStrip strip, int frame) {
  switch (strip) {
  case KnobStrip::continuous: return -135.0 + frame * 270.0 / 98.0;
  case KnobStrip::six: return -75.0 + 30.0 * frame;
  case KnobStrip::seven: return -90.0 + 30.0 * frame;
  }
  return 0.0;
}

inline int frameCount(KnobStrip strip) {
  switch (strip) {
  case KnobStrip::continuous: return 99;
  case KnobStrip::six: return 6;
  case KnobStrip::seven: return 7;
  }
  return 1;
}

enum class CaptionPlace { above, below };

struct KnobPlace {
  int left, top; // rectangle corner; the size is kKnobSize square
  KnobStrip strip;
  std::string_view caption;
  CaptionPlace captionPlace;
  std::vector<std::string_view> scale; // one label per frame of a stepped strip, else empty
  double defaultValue;                 // shown in the preview
  double centreX() const { return left + kKnobSize / 2.0; }
  double centreY() const { return top + kKnobSize / 2.0; }
};

inline const std::vector<KnobPlace>& knobPlaces() {
  using Labels = std::vector<std::string_view>;
  static const Labels lowFrequency = {"20", "30", "45", "60", "100", "150"};
  static const Labels highFrequency = {"3k", "4k", "5k", "6k", "10k", "12k", "16k"};
  static const Labels attenSelect = {"5k", "6k", "8k", "10k", "15k", "20k"};
  constexpr auto above = CaptionPlace::above;
  constexpr auto below = CaptionPlace::below;
  constexpr auto continuous = KnobStrip::continuous;
  static const std::vector<KnobPlace> places = {
      {75, 85, continuous, "INPUT", below, {}, 0.5},
      {706, 25, continuous, "OUTPUT", above, {}, 0.5},
      {419, 25, continuous, "BOOST", above, {}, 0.0},
      {562, 25, continuous, "ATTEN", above, {}, 0.0},
      {478, 85, KnobStrip::seven, "HIGH FREQUENCY", below, highFrequency, 0.5},
      {621, 85, KnobStrip::six, "ATTEN SEL", below, attenSelect, 1.0},
      {360, 85, continuous, "BANDWIDTH", below, {}, 0.5},
      {158, 25, continuous, "BOOST", above, {}, 0.0},
      {276, 25, continuous, "ATTEN", above, {}, 0.0},
      {217, 85, KnobStrip::six, "LOW FREQUENCY", below, lowFrequency, 0.0},
  };
  return places;
}

// The bandwidth knob (index 6 above) carries SHARP and BROAD beside its lower ends.
constexpr int kBandwidthKnob = 6;

enum class SwitchKind { plain, withLamp };

struct SwitchPlace {
  int left, top;
  SwitchKind kind;
  double value; // shown in the preview
};

constexpr int kSwitchWidth = 26;
constexpr int kPlainSwitchHeight = 29;
constexpr int kLampSwitchHeight = 58;

// Centre of the toggle's nut inside a frame, and of the lamp.
constexpr double kNutX = 13.0;
constexpr double kPlainNutY = 14.5;
constexpr double kLampNutY = 44.0;
constexpr double kLampX = 13.0;
constexpr double kLampY = 16.0;

inline const std::array<SwitchPlace, 3>& switchPlaces() {
  static const std::array<SwitchPlace, 3> places = {{
      {27, 97, SwitchKind::plain, 1.0},    // mode: STEREO above, MONO below
      {778, 8, SwitchKind::withLamp, 1.0}, // equalizer: EQ
      {825, 8, SwitchKind::withLamp, 0.0}, // tube buffer: TUBE
  }};
  return places;
}

} // namespace artwork
