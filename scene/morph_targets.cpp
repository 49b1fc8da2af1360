#include "scene/morph_targets.h"

#include <cmath>

namespace kw {

MorphTargetSummary SummarizeMorphTarget(const SceneMesh& mesh, int target) {
  MorphTargetSummary summary;
  const int count = mesh.GetVertexCount();
  for (int i = 0; i < count; ++i) {
    const Point3 base = mesh.GetVertex(i, false);
    const Point3 shaped = mesh.GetMorphTargetVertex(target, i);
    if (shaped == base) continue;
    ++summary.movedVertices;
    const double dx = double(shaped.x) - base.x;
    const double dy = double(shaped.y) - base.y;
    const double dz = double(shaped.z) - base.z;
    const double distance = std::sqrt(dx * dx + dy * dy + dz * dz);
    // A NaN is kept as the largest: a reader should see it.
    if (!(distance <= summary.largestDisplacement)) summary.largestDisplacement = distance;
  }
  return summary;
}

}  // namespace kw
