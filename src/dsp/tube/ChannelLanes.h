#pragma once

// The two channels of a stereo frame side by side, one per lane of a two-element value. Every
// operation works lane by lane with the scalar operation's rounding, so a lane always carries the
// exact bits its channel would get alone.
namespace channel_lanes {

// Portable form: two doubles and element-wise operators. Used where there is no vector unit the
// compiler can be trusted with, and by the tests as a second implementation of the lanes.
struct Scalar {
  double lane[2];

  Scalar() = default;
  Scalar(double a, double b) : lane{a, b} {}

  double& operator[](int i) { return lane[i]; }
  double operator[](int i) const { return lane[i]; }

  friend Scalar operator+(Scalar a, Scalar b) { return {a[0] + b[0], a[1] + b[1]}; }
  friend Scalar operator-(Scalar a, Scalar b) { return {a[0] - b[0], a[1] - b[1]}; }
  friend Scalar operator*(Scalar a, Scalar b) { return {a[0] * b[0], a[1] * b[1]}; }
  friend Scalar operator*(Scalar a, double s) { return {a[0] * s, a[1] * s}; }
  Scalar& operator+=(Scalar b) { return *this = *this + b; }
  Scalar& operator*=(Scalar b) { return *this = *this * b; }
};

#if defined(__SSE2__)
// One SSE2 register (baseline on x86-64, the Windows build included). Without FMA enabled the
// compiler has nothing to contract a multiply and an add into, so results stay those of the
// separate operations.
using Vector = double __attribute__((vector_size(16)));
using Pair = Vector;
#else
using Pair = Scalar;
#endif

} // namespace channel_lanes
