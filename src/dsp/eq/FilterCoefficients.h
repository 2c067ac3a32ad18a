#pragma once

#include <cstdint>

// Analog prototype H(s) = N(s)/D(s) and its bilinear image H(z), both as ascending-power arrays.
// Orders 0..5 are supported; the equalizer uses 5.
class FilterCoefficients {
public:
  static constexpr int kMaxOrder = 5;

  explicit FilterCoefficients(int filterOrder = kMaxOrder);

  // s = K·(1 - z^-1)/(1 + z^-1) with K = 2·rate (no prewarping), then normalisation to a0 = 1.
  // Rate in hertz.
  void bilinearTransform(double rate);
  // Divides a0..a_order and b0..b_order by the a0 found on entry.
  void normalizeCoefficients();

  std::int32_t order;
  double analogDen[kMaxOrder + 1];  // s^0 first
  double analogNum[kMaxOrder + 1];  // s^0 first
  double digitalDen[kMaxOrder + 1]; // a0..a5, z^0 first
  double digitalNum[kMaxOrder + 1]; // b0..b5, z^0 first
};
