// A character's collision joints: one hull per bone over the vertices that
// bone moves most.
#pragma once

#include <string>
#include <vector>

#include "collision/convex_hull.h"

namespace kw::collision {

// A bone's hull is left out when its volume is under this share of the sum
// of all bones' hull volumes (a finger beside a body, an eye).
constexpr double kMinBoneVolumeShare = 0.001;

struct BoneWeight {
  int bone = 0;
  float weight = 0;
};

struct SkinnedVertex {
  Point3 position;
  std::vector<BoneWeight> links;
};

struct BoneHull {
  int bone = 0;
  ConvexHull hull;
};

struct LeftOutBone {
  int bone = 0;
  int vertices = 0;    // how many vertices it carries most
  std::string reason;  // one line: why it has no hull
};

struct BoneHulls {
  std::vector<BoneHull> hulls;       // by bone index
  std::vector<LeftOutBone> leftOut;  // by bone index
  int unweighted = 0;                // vertices with no finite positive weight: in no hull
};

// Each vertex goes to the bone of its largest weight (the lower bone index on
// a tie). A bone gets no hull when its vertices span no volume (fewer than 4
// distinct points, or all on one plane: options.thickenFlat is not used) or
// when its hull's volume is under minVolumeShare of the sum. n log n in the
// vertices and their links.
BoneHulls PerBoneHulls(const std::vector<SkinnedVertex>& vertices, const HullOptions& options = {},
                       double minVolumeShare = kMinBoneVolumeShare);

}  // namespace kw::collision
