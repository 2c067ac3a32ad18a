// The built-in demonstration: a signal the tool makes itself, rendered through
// the module with a characterful setting, and the two compared per octave.
#pragma once

#include "render/AudioFile.h"

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

namespace render {

constexpr int kDemoSampleRate = 48000;
constexpr double kDemoSeconds = 6.0;

// Stereo, 24-bit WAV: a bass line and a chord, a kick on every beat at
// 120 bpm, short noise ticks off the beat, two pink-noise bursts, and quiet
// steady tones at 1 and 3.5 kHz. Peaks at about -3 dBFS. The same every time.
AudioData makeDemoSignal(int sampleRate = kDemoSampleRate, double seconds = kDemoSeconds);

// The setting the demo renders with, as NAME=VALUE assignments.
const std::vector<std::string>& demoSetting();

// Writes the signal to "ombrine-demo-input.wav" beside `output`, renders it
// through the module into `output` and prints both files' octave-band levels
// side by side to `report`. Throws RenderError.
void runDemo(const std::string& modulePath, const std::string& output, std::FILE* report,
             bool showTraces = false, const std::atomic<bool>* cancel = nullptr);

} // namespace render
