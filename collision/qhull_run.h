// One run of qhull, the only place it is called. Its C interface reports an
// error by a long jump back into its own entry point, so nothing of ours may
// sit between: every call into qhull happens inside qh_new_qhull.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace kw::collision {

struct QhullFacets {
  // Indices of the given points, counter-clockwise seen from outside.
  std::vector<std::array<int, 3>> triangles;
  // Per triangle: unit normal and offset; n . p + offset > 0 outside.
  std::vector<std::array<double, 4>> planes;
};

// xyz holds the points' coordinates in threes. With maxVertices >= 4, qhull
// stops once it has that many corners, each time adding the point farthest
// outside (options Q9 TA): the hull of a greedy subset, which may leave points
// outside. False with a one-line *error when qhull fails.
bool RunQhull(const std::vector<double>& xyz, int maxVertices, QhullFacets* facets,
              std::string* error);

}  // namespace kw::collision
