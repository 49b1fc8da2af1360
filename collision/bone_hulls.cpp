#include "collision/bone_hulls.h"

#include <cmath>
#include <map>
#include <utility>

#include "smd/c_locale.h"

namespace kw::collision {

BoneHulls PerBoneHulls(const std::vector<SkinnedVertex>& vertices, const HullOptions& options,
                       double minVolumeShare) {
  BoneHulls result;
  std::map<int, std::vector<Point3>> groups;
  for (const SkinnedVertex& vertex : vertices) {
    const BoneWeight* best = nullptr;
    for (const BoneWeight& link : vertex.links) {
      if (!(std::isfinite(link.weight) && link.weight > 0)) continue;
      if (!best || link.weight > best->weight ||
          (link.weight == best->weight && link.bone < best->bone)) {
        best = &link;
      }
    }
    if (!best) {
      ++result.unweighted;
      continue;
    }
    groups[best->bone].push_back(vertex.position);
  }
  HullOptions solid = options;
  solid.thickenFlat = false;
  std::map<int, LeftOutBone> leftOut;
  std::vector<std::pair<BoneHull, int>> made;  // with their vertex counts
  double total = 0;
  for (const auto& group : groups) {
    const int count = static_cast<int>(group.second.size());
    BoneHull bone{group.first, Hull(group.second, solid)};
    if (bone.hull.Empty()) {
      leftOut[group.first] = {group.first, count, bone.hull.problem};
      continue;
    }
    total += Volume(bone.hull);
    made.emplace_back(std::move(bone), count);
  }
  for (auto& entry : made) {
    const double share = Volume(entry.first.hull) / total;
    if (share < minVolumeShare) {
      char reason[160];
      CLocale::Shared().Format(
          reason, sizeof reason,
          "its hull holds %.3g%% of the volume of all bones' hulls, under %.3g%%", 100 * share,
          100 * minVolumeShare);
      leftOut[entry.first.bone] = {entry.first.bone, entry.second, reason};
    } else {
      result.hulls.push_back(std::move(entry.first));
    }
  }
  for (auto& entry : leftOut) result.leftOut.push_back(std::move(entry.second));
  return result;
}

}  // namespace kw::collision
