#include "render/BandLevels.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace render {

const std::array<const char*, kOctaveBands> kOctaveBandNames = {
    "31.5 Hz", "63 Hz", "125 Hz", "250 Hz", "500 Hz", "1 kHz", "2 kHz", "4 kHz", "8 kHz", "16 kHz"};

namespace {

constexpr std::size_t kSegment = 16384;
constexpr std::size_t kHop = kSegment / 4;
constexpr double kSilence = -200.0;

// In-place radix-2 FFT; size is a power of two.
void fft(std::vector<std::complex<double>>& a) {
  const std::size_t n = a.size();
  for (std::size_t i = 1, j = 0; i < n; ++i) {
    std::size_t bit = n >> 1;
    for (; j & bit; bit >>= 1)
      j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  for (std::size_t len = 2; len <= n; len <<= 1) {
    const double angle = -2.0 * std::numbers::pi / static_cast<double>(len);
    const std::complex<double> step(std::cos(angle), std::sin(angle));
    for (std::size_t start = 0; start < n; start += len) {
      std::complex<double> w(1.0, 0.0);
      for (std::size_t k = 0; k < len / 2; ++k) {
        const auto u = a[start + k];
        const auto v = a[start + k + len / 2] * w;
        a[start + k] = u + v;
        a[start + k + len / 2] = u - v;
        w *= step;
      }
    }
  }
}

double toDb(double meanSquare) {
  return meanSquare > 0.0 ? std::max(kSilence, 10.0 * std::log10(meanSquare)) : kSilence;
}

} // namespace

std::array<double, kOctaveBands> octaveBandLevels(const std::vector<float>& interleaved,
                                                  int channels, double sampleRate) {
  std::array<double, kOctaveBands> power{};
  const std::size_t frames =
      channels > 0 ? interleaved.size() / static_cast<std::size_t>(channels) : 0;
  std::array<double, kOctaveBands> levels;
  levels.fill(kSilence);
  if (frames == 0) return levels;

  // Periodic Hann window; with a hop of a quarter window the squared windows
  // add up to the constant overlap = sum(w^2) / hop (1.5).
  std::vector<double> window(kSegment);
  double sumSquares = 0.0;
  for (std::size_t n = 0; n < kSegment; ++n) {
    window[n] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(n) / kSegment);
    sumSquares += window[n] * window[n];
  }
  const double overlap = sumSquares / static_cast<double>(kHop);

  // Bins of each band: [centre / sqrt 2, centre * sqrt 2).
  const double binWidth = sampleRate / static_cast<double>(kSegment);
  std::array<std::size_t, kOctaveBands> firstBin{}, endBin{};
  for (int b = 0; b < kOctaveBands; ++b) {
    const double centre = 1000.0 * std::pow(2.0, b - 5);
    firstBin[b] = static_cast<std::size_t>(std::ceil(centre / std::numbers::sqrt2 / binWidth));
    endBin[b] = std::min(
        kSegment / 2, static_cast<std::size_t>(std::ceil(centre * std::numbers::sqrt2 / binWidth)));
  }

  // Segments start one window before the signal and end one window after it.
  const auto padded = static_cast<long long>(frames);
  const auto segment = static_cast<long long>(kSegment);
  std::vector<std::complex<double>> buffer(kSegment);
  for (int c = 0; c < channels; ++c) {
    for (long long start = -segment + static_cast<long long>(kHop); start < padded;
         start += static_cast<long long>(kHop)) {
      for (long long n = 0; n < segment; ++n) {
        const long long i = start + n;
        const double x =
            (i >= 0 && i < padded)
                ? interleaved[static_cast<std::size_t>(i) * static_cast<std::size_t>(channels) +
                              static_cast<std::size_t>(c)]
                : 0.0;
        buffer[static_cast<std::size_t>(n)] = x * window[static_cast<std::size_t>(n)];
      }
      fft(buffer);
      for (int b = 0; b < kOctaveBands; ++b)
        for (std::size_t k = firstBin[b]; k < endBin[b]; ++k)
          power[b] += 2.0 * std::norm(buffer[k]);
    }
  }
  // Parseval: sum |X|^2 = N sum (w x)^2; the windows add up to `overlap`.
  const double scale =
      1.0 / (static_cast<double>(kSegment) * overlap * static_cast<double>(frames) * channels);
  for (int b = 0; b < kOctaveBands; ++b)
    levels[b] = toDb(power[b] * scale);
  return levels;
}

double rmsLevel(const std::vector<float>& interleaved) {
  double sum = 0.0;
  for (float x : interleaved)
    sum += static_cast<double>(x) * x;
  return interleaved.empty() ? kSilence : toDb(sum / static_cast<double>(interleaved.size()));
}

double peakLevel(const std::vector<float>& interleaved) {
  double peak = 0.0;
  for (float x : interleaved)
    peak = std::max(peak, std::fabs(static_cast<double>(x)));
  return peak > 0.0 ? std::max(kSilence, 20.0 * std::log10(peak)) : kSilence;
}

} // namespace render
