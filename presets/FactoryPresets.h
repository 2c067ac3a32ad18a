// The factory presets, once: every preset file (VST 2.4 .fxp, LV2 presets in the bundle), the
// render and curve tools and the user guide take them from here. Values are in the parameters'
// own units, as the panel and the LV2 ports show them: levels in dB, the five continuous controls
// from 0 to 1, Hi Boost Freq. and Hi Cut Freq. in kHz, Lo Freq in Hz, switches 0 (Off, Mono) or
// 1 (On, Stereo). The module itself keeps its single program "Init 1".
#pragma once

#include "core/ParameterIndices.h"

#include <array>
#include <string_view>

struct FactoryPreset {
  std::string_view name;        // as hosts list it: at most 24 characters
  std::string_view description; // one or two sentences for the guide and the LV2 metadata
  // Input level, Output level, Hi Boost, Hi Cut, Hi Boost Freq., Hi Cut Freq., Hi Freq. Q,
  // Lo Boost, Lo Cut, Lo Freq, Tube Buffer, Equalizer, Mode.
  std::array<double, kNumParams> values;
};

namespace presets {

// clang-format off
inline constexpr FactoryPreset kFactory[] = {
    {"Low-End Lift",
     "Kick and bass: boost and a little attenuation together at 60 Hz, a deeper low end with "
     "the mids around 1 kHz slightly scooped.",
     {0, 0, 0, 0, 6, 20, 0.5, 0.6, 0.2, 60, 1, 1, 1}},
    {"Kick Thump and Click",
     "Kick drum: weight at 45 Hz with a narrow lift at 4 kHz for the beater.",
     {0, 0, 0.35, 0, 4, 20, 0.25, 0.5, 0.15, 45, 1, 1, 1}},
    {"Snare Body and Crack",
     "Snare: body from the 150 Hz boost, crack from a medium-wide lift at 6 kHz.",
     {0, 0, 0.45, 0, 6, 20, 0.5, 0.25, 0, 150, 1, 1, 1}},
    {"Bass Definition",
     "Bass guitar: fullness at 100 Hz, a narrow 3 kHz lift so the notes read on small speakers, "
     "the fizz above 8 kHz softened.",
     {0, 0, 0.3, 0.3, 3, 8, 0.2, 0.45, 0, 100, 1, 1, 1}},
    {"Vocal Presence",
     "Lead vocal: forward at 5 kHz, the low end and low-mids thinned a little.",
     {0, 0, 0.45, 0, 5, 20, 0.4, 0, 0.1, 150, 1, 1, 1}},
    {"Vocal Air",
     "Vocal or acoustic source: a broad, silky lift towards 12 kHz.",
     {0, 0, 0.4, 0, 12, 20, 0.85, 0, 0, 20, 1, 1, 1}},
    {"Acoustic Sparkle",
     "Acoustic guitar: string detail at 10 kHz, the body a little lighter.",
     {0, 0, 0.4, 0, 10, 20, 0.6, 0, 0.15, 100, 1, 1, 1}},
    {"Smooth Electric",
     "Distorted guitar: some bite at 3 kHz, the harsh top above 8 kHz rolled off.",
     {0, 0, 0.25, 0.5, 3, 8, 0.4, 0.2, 0, 100, 1, 1, 1}},
    {"Drum Bus Punch",
     "Drum bus: low-end weight at 60 Hz and openness at 10 kHz, driven a little harder into the "
     "tubes.",
     {3, -3, 0.3, 0, 10, 20, 0.7, 0.4, 0, 60, 1, 1, 1}},
    {"Mix Bus Polish",
     "Mix bus: a touch of weight at 30 Hz and a wide, shelf-like lift towards 16 kHz.",
     {0, 0, 0.3, 0, 16, 20, 1, 0.15, 0, 30, 1, 1, 1}},
    {"Mastering Air",
     "Master: a very gentle, very broad lift at the top of the band and a hint of weight at 20 Hz.",
     {0, 0, 0.2, 0, 16, 20, 1, 0.1, 0, 20, 1, 1, 1}},
    {"Dark Vintage",
     "Any source made older: the top above 10 kHz rolled off, some warmth at 60 Hz, the tubes "
     "driven.",
     {4, -4, 0, 0.6, 6, 10, 0.5, 0.3, 0, 60, 1, 1, 1}},
    {"Telephone",
     "Effect: a narrow band around 3 kHz, lows cut at 150 Hz and highs above 5 kHz.",
     {2, 0, 0.6, 1, 3, 5, 0.1, 0, 1, 150, 1, 1, 1}},
    {"Warm Tubes Only",
     "The equalizer switched out: only the tube buffer's warmth and harmonics, driven 6 dB.",
     {6, -6, 0, 0, 6, 20, 0.5, 0, 0, 20, 1, 0, 1}},
};
// clang-format on

} // namespace presets
