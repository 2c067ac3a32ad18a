// What the artwork needs to know of the panel: the editor's layout (where each control sits, its
// strip, its caption) and the selectors' steps as scale labels, both from their one source, plus
// the drawing's own measures. The background is drawn to these coordinates: a knob well under
// every knob, a seat under every switch, scale labels at the pointer angles of the knob's strip.
#pragma once

#include "core/Parameters.h"
#include "editor/PanelLayout.h"

#include <array>
#include <string>
#include <vector>

namespace artwork {

constexpr int kPanelWidth = panel::kWidth;
constexpr int kPanelHeight = panel::kHeight;
constexpr int kKnobSize = panel::stripImage(panel::Strip::knob).width; // every knob frame is square

enum class KnobStrip { continuous, six, seven };

constexpr panel::Strip stripOf(KnobStrip strip) {
  switch (strip) {
  case KnobStrip::continuous: return panel::Strip::knob;
  case KnobStrip::six: return panel::Strip::knob6;
  case KnobStrip::seven: return panel::Strip::knob7;
  }
  return panel::Strip::knob;
}

// Pointer angle of one frame in degrees from straight up, clockwise positive.
inline double knobAngle(KnobStrip strip, int frame) {
  switch (strip) {
  case KnobStrip::continuous: return -135.0 + frame * 270.0 / 98.0;
  case KnobStrip::six: return -75.0 + 30.0 * frame;
  case KnobStrip::seven: return -90.0 + 30.0 * frame;
  }
  return 0.0;
}

inline int frameCount(KnobStrip strip) { return panel::stripImage(stripOf(strip)).frames; }

using CaptionPlace = panel::CaptionPlace;

struct KnobPlace {
  int left, top; // rectangle corner; the size is kKnobSize square
  KnobStrip strip;
  std::string caption;
  CaptionPlace captionPlace;
  std::vector<std::string> scale; // one label per frame of a stepped strip, else empty
  double defaultValue;            // shown in the preview
  double centreX() const { return left + kKnobSize / 2.0; }
  double centreY() const { return top + kKnobSize / 2.0; }
};

// The knobs in parameter order. A selector's scale reads its steps as the host sees them, kHz
// steps with a "k" ("3k", "16k"), Hz steps as plain numbers ("20", "150").
inline const std::vector<KnobPlace>& knobPlaces() {
  static const std::vector<KnobPlace> places = [] {
    std::vector<KnobPlace> knobs;
    for (int tag = 0; tag < kNumParams; ++tag) {
      const panel::ControlPlace& c = panel::kControls[tag];
      if (!panel::isKnob(c.strip)) continue;
      const ParameterInfo& p = parameters::info(tag);
      KnobPlace knob{
          c.left, c.top,    KnobStrip::continuous, std::string(c.caption), c.captionPlace,
          {},     p.initial};
      if (c.strip == panel::Strip::knob6) knob.strip = KnobStrip::six;
      if (c.strip == panel::Strip::knob7) knob.strip = KnobStrip::seven;
      for (const ParameterStep& step : p.steps)
        knob.scale.push_back(std::string(step.text) + (p.unit == ParameterUnit::kHz ? "k" : ""));
      knobs.push_back(std::move(knob));
    }
    return knobs;
  }();
  return places;
}

// The bandwidth knob carries SHARP and BROAD beside its lower ends.
constexpr int kBandwidthKnob = kHiFreqQ;

enum class SwitchKind { plain, withLamp };

struct SwitchPlace {
  int left, top;
  SwitchKind kind;
  double value; // shown in the preview
};

constexpr int kSwitchWidth = panel::stripImage(panel::Strip::plainSwitch).width;
constexpr int kPlainSwitchHeight = panel::stripImage(panel::Strip::plainSwitch).frameHeight;
constexpr int kLampSwitchHeight = panel::stripImage(panel::Strip::lampSwitch).frameHeight;

// Centre of the toggle's nut inside a frame, and of the lamp.
constexpr double kNutX = 13.0;
constexpr double kPlainNutY = 14.5;
constexpr double kLampNutY = 44.0;
constexpr double kLampX = 13.0;
constexpr double kLampY = 16.0;

// Mode (STEREO above, MONO below), equalizer (EQ), tube buffer (TUBE).
inline const std::array<SwitchPlace, 3>& switchPlaces() {
  static const std::array<SwitchPlace, 3> places = [] {
    std::array<SwitchPlace, 3> switches{};
    const int tags[] = {kMode, kEqualizer, kTubeBuffer};
    for (std::size_t i = 0; i < switches.size(); ++i) {
      const panel::ControlPlace& c = panel::kControls[tags[i]];
      switches[i] = {c.left, c.top,
                     c.strip == panel::Strip::lampSwitch ? SwitchKind::withLamp : SwitchKind::plain,
                     parameters::info(tags[i]).initial};
    }
    return switches;
  }();
  return places;
}

} // namespace artwork
