#include "render/Demo.h"

#include "render/BandLevels.h"
#include "render/Renderer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace render {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Small fixed generator, so the signal is the same on every machine.
class Noise {
public:
  explicit Noise(std::uint64_t seed) : state(seed) {}
  double white() { // uniform in [-1, 1)
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<double>(state >> 11) * 0x1.0p-52 - 1.0;
  }
  // Pink by a sum of one-pole lowpasses of white noise (about -3 dB per octave
  // from 20 Hz to 20 kHz at 48 kHz).
  double pink() {
    const double w = white();
    b0 = 0.99886 * b0 + w * 0.0555179;
    b1 = 0.99332 * b1 + w * 0.0750759;
    b2 = 0.96900 * b2 + w * 0.1538520;
    b3 = 0.86650 * b3 + w * 0.3104856;
    b4 = 0.55000 * b4 + w * 0.5329522;
    b5 = -0.7616 * b5 - w * 0.0168980;
    const double out = b0 + b1 + b2 + b3 + b4 + b5 + b6 + w * 0.5362;
    b6 = w * 0.115926;
    return out * 0.11;
  }

private:
  std::uint64_t state;
  double b0 = 0, b1 = 0, b2 = 0, b3 = 0, b4 = 0, b5 = 0, b6 = 0;
};

double dbToGain(double db) { return std::pow(10.0, db / 20.0); }

} // namespace

AudioData makeDemoSignal(int sampleRate, double seconds) {
  const double rate = sampleRate;
  const auto frames = static_cast<std::size_t>(seconds * rate);
  AudioData data;
  data.channels = 2;
  data.sampleRate = sampleRate;
  data.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
  data.samples.assign(frames * 2, 0.0f);

  Noise noise(0x0b1a5eedull);
  const double beat = 0.5;                                // seconds, 120 bpm
  const double bassNotes[4] = {55.0, 55.0, 73.42, 65.41}; // A1 A1 D2 C2, one per beat
  const double chord[3] = {220.0, 277.18, 329.63};        // A major, held, panned apart
  double kickPhase = 0.0, bassPhase = 0.0;
  for (std::size_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / rate;
    const double inBeat = std::fmod(t, beat);
    const int beatIndex = static_cast<int>(t / beat);

    // Kick: a sine falling from 150 to 48 Hz, decaying over about 0.15 s.
    const double kickFrequency = 48.0 + 102.0 * std::exp(-inBeat / 0.03);
    kickPhase += kTwoPi * kickFrequency / rate;
    const double kick = 0.5 * std::exp(-inBeat / 0.15) * std::sin(kickPhase);

    // Bass line: sine plus a little second harmonic, plucked each beat.
    bassPhase += kTwoPi * bassNotes[beatIndex % 4] / rate;
    const double bass = dbToGain(-14.0) * (0.3 + 0.7 * std::exp(-inBeat / 0.4)) *
                        (std::sin(bassPhase) + 0.25 * std::sin(2.0 * bassPhase));

    // Chord: soft triangle-like tones (odd harmonics at 1/n^2), swelling slowly.
    const double swell = 0.6 + 0.4 * std::sin(kTwoPi * 0.25 * t);
    double left = 0.0, right = 0.0;
    for (int v = 0; v < 3; ++v) {
      double tone = 0.0;
      for (int h = 1; h <= 7; h += 2)
        tone += std::sin(kTwoPi * chord[v] * h * t) / (h * h);
      const double pan = 0.2 + 0.3 * v; // 0.2, 0.5, 0.8 from left to right
      left += tone * (1.0 - pan);
      right += tone * pan;
    }
    left *= dbToGain(-22.0) * swell;
    right *= dbToGain(-22.0) * swell;

    // Ticks off the beat: a first difference of white noise (bright), 25 ms decay.
    const double offBeat = std::fmod(t + beat / 2.0, beat);
    const double tick = 0.35 * std::exp(-offBeat / 0.025) * (noise.white() - noise.white()) * 0.5;

    // Two pink-noise bursts with 50 ms fades, the second one wider in stereo.
    auto burst = [&](double from, double to) {
      if (t < from || t > to) return 0.0;
      return std::min({1.0, (t - from) / 0.05, (to - t) / 0.05});
    };
    const double pinkLeft = noise.pink(), pinkRight = noise.pink();
    const double b1 = burst(1.75, 2.5) * dbToGain(-14.0);
    const double b2 = burst(4.25, 5.25) * dbToGain(-14.0);
    const double noiseLeft = b1 * pinkLeft + b2 * pinkLeft;
    const double noiseRight = b1 * pinkLeft + b2 * pinkRight;

    // Quiet steady tones to show the high shelf and the cut.
    const double high =
        dbToGain(-36.0) * (std::sin(kTwoPi * 1000.0 * t) + std::sin(kTwoPi * 3500.0 * t));

    // 10 ms fades at both ends.
    const double fade = std::min({1.0, t / 0.01, (seconds - t) / 0.01});
    data.samples[2 * i] = static_cast<float>(fade * (kick + bass + left + tick + noiseLeft + high));
    data.samples[2 * i + 1] =
        static_cast<float>(fade * (kick + bass + right + tick + noiseRight + high));
  }

  // Peaks at -3 dBFS whatever the mix added up to.
  float peak = 0.0f;
  for (float x : data.samples)
    peak = std::max(peak, std::fabs(x));
  const auto scale = static_cast<float>(dbToGain(-3.0) / std::max(peak, 1e-9f));
  for (float& x : data.samples)
    x *= scale;
  return data;
}

const std::vector<std::string>& demoSetting() {
  static const std::vector<std::string> setting = {
      "Input level=+4",    "Output level=-8", "Lo Freq=60",      "Lo Boost=0.7",    "Lo Cut=0.45",
      "Hi Boost Freq.=10", "Hi Boost=0.6",    "Hi Freq. Q=0.35", "Hi Cut Freq.=15", "Hi Cut=0.2",
      "Tube Buffer=On",    "Equalizer=On",    "Mode=Stereo"};
  return setting;
}

void runDemo(const std::string& modulePath, const std::string& output, std::FILE* report,
             bool showTraces, const std::atomic<bool>* cancel) {
  const auto slash = output.find_last_of('/');
  const std::string inputPath =
      (slash == std::string::npos ? std::string() : output.substr(0, slash + 1)) +
      "ombrine-demo-input.wav";
  if (inputPath == output)
    throw RenderError("the demo writes its input to " + inputPath + "; choose another output name");

  HostSession session(modulePath, showTraces);
  const ParameterTable table = ParameterTable::probe(session.plugin());
  RenderSettings settings;
  for (const auto& text : demoSetting())
    settings.assignments.push_back(parseAssignment(table, text));

  const AudioData signal = makeDemoSignal();
  writeAudio(inputPath, signal);
  renderFile(session, inputPath, output, settings, {}, cancel);

  const AudioData in = readAudio(inputPath);
  const AudioData out = readAudio(output);
  const auto inBands = octaveBandLevels(in.samples, in.channels, in.sampleRate);
  const auto outBands = octaveBandLevels(out.samples, out.channels, out.sampleRate);

  std::fprintf(report, "Demo: %.1f s at %d Hz, stereo, %s\n", kDemoSeconds, kDemoSampleRate,
               describeFormat(signal.format).c_str());
  std::fprintf(report, "  input   %s\n  output  %s\n  setting", inputPath.c_str(), output.c_str());
  for (const auto& text : demoSetting())
    std::fprintf(report, "  %s", text.c_str());
  std::fprintf(report, "\n\nRMS level per octave band (dBFS; an RMS of 1.0 is 0 dB)\n");
  std::fprintf(report, "  %-8s %8s %8s %8s\n", "band", "input", "output", "change");
  for (int b = 0; b < kOctaveBands; ++b)
    std::fprintf(report, "  %-8s %8.1f %8.1f %+8.1f\n", kOctaveBandNames[b], inBands[b],
                 outBands[b], outBands[b] - inBands[b]);
  const double inAll = rmsLevel(in.samples), outAll = rmsLevel(out.samples);
  std::fprintf(report, "  %-8s %8.1f %8.1f %+8.1f\n", "all", inAll, outAll, outAll - inAll);
  const double inPeak = peakLevel(in.samples), outPeak = peakLevel(out.samples);
  std::fprintf(report, "  %-8s %8.1f %8.1f %+8.1f\n", "peak", inPeak, outPeak, outPeak - inPeak);
}

} // namespace render
