// Points that span no volume: on one plane, on one line or at one place.
// qhull refuses them, and a collision model needs a closed solid.
#pragma once

#include <vector>

namespace kw::collision {

enum class Spread { kSolid, kFlat, kLine, kPoint };

struct SpreadOf {
  Spread spread = Spread::kPoint;
  // kFlat: the plane's normal in axes[0]; kLine: two directions square to
  // the line and to each other.
  double axes[2][3] = {{0, 0, 0}, {0, 0, 0}};
};

// xyz in threes; size is the diagonal of their bounding box and largest their
// largest absolute coordinate. Flat means within a millionth of the size of
// one plane, or within four float steps of the largest coordinate, where
// float input cannot say better.
SpreadOf MeasureSpread(const std::vector<double>& xyz, double size, double largest);

// Each point moved by half the thickness both ways along the missing axes:
// flat points become a slab, straight ones a square rod, holding the points.
std::vector<double> Thicken(const std::vector<double>& xyz, const SpreadOf& spread,
                            double thickness);

}  // namespace kw::collision
