// Surface normals and the one light every drawn part of the panel shares.
#pragma once

#include <cmath>

namespace artwork {

// Screen coordinates: x to the right, y down, z towards the viewer.
struct Vec3 {
  double x, y, z;
};

inline Vec3 normalize(Vec3 v) {
  const double n = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  return {v.x / n, v.y / n, v.z / n};
}

inline double dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// The key light from the upper left, and its half vector for highlights.
inline const Vec3 kLight = normalize({-0.45, -0.75, 0.85});
inline const Vec3 kHalf = normalize({kLight.x, kLight.y, kLight.z + 1.0});

} // namespace artwork
