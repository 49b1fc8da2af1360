// Fewer convex pieces than parts: the compiler takes 20 by default
// ($maxconvexpieces raises it).
#pragma once

#include <vector>

#include "collision/convex_hull.h"

namespace kw::collision {

constexpr int kCompilerPieceLimit = 20;

struct MergedHull {
  ConvexHull hull;
  std::vector<int> sources;  // indices of the hulls it covers, ascending
};

// With more non-empty hulls than limit (at least 1), the limit largest (by
// the diagonal of their bounding boxes; ties to the lower index) stay, and
// every other joins the staying hull nearest to it (the smallest gap between
// bounding boxes, then the nearest centre, then the larger): each staying
// hull becomes the hull of its corners and its joiners' corners, simplified
// by options. The smallest pieces vanish into their neighbours and large
// pieces stay apart. Empty hulls are left out. Results in the order of their
// first source. n log n in the hulls, plus hulls times limit.
std::vector<MergedHull> MergeToLimit(const std::vector<ConvexHull>& hulls, int limit,
                                     const HullOptions& options = {});

}  // namespace kw::collision
