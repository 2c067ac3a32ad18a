// Levels per octave band, for comparing a file before and after the effect.
#pragma once

#include <array>
#include <vector>

namespace render {

// Octave bands centred on 1000 * 2^k Hz, k = -5..4, named by their nominal
// centres 31.5 Hz .. 16 kHz; each spans centre / sqrt(2) to centre * sqrt(2).
constexpr int kOctaveBands = 10;
extern const std::array<const char*, kOctaveBands> kOctaveBandNames;

// RMS level of each band in dB relative to full scale (an RMS of 1.0 is
// 0 dB, so a full-scale sine reads -3.01 dB), averaged in power over the
// channels. From Welch's method: Hann windows of 16384 samples with 75 %
// overlap, whose squared windows add up to a constant, over the signal padded
// with silence at both ends, so every sample counts equally and the band powers
// add up to the signal's mean square. Silence reads -200 dB.
std::array<double, kOctaveBands> octaveBandLevels(const std::vector<float>& interleaved,
                                                  int channels, double sampleRate);

// RMS of the whole signal in dB re full scale, all channels.
double rmsLevel(const std::vector<float>& interleaved);

// Largest magnitude of any sample in dB re full scale.
double peakLevel(const std::vector<float>& interleaved);

} // namespace render
