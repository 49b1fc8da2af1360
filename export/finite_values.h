// Numbers that are not finite (NaN, infinity) must not reach the file
// silently: the writers test what the scene hands them and warn, naming the
// node or mesh and the frame.
#pragma once

#include <cmath>

#include "geometry/geometry.h"

namespace kw {

inline bool IsFinite(const Point3& p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

inline bool IsFinite(const Matrix3& m) {
  for (int row = 0; row < 4; ++row) {
    if (!IsFinite(m.GetRow(row))) return false;
  }
  return true;
}

}  // namespace kw
