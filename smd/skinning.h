// Posing and skinning as an SMD consumer does it: a bone's local transform is
// RotateX * RotateY * RotateZ of its angles, then its position, on row vectors;
// its world transform is local times its parent's world.
#pragma once

#include <vector>

#include "geometry/geometry.h"
#include "smd/smd_file.h"

namespace kw::smd {

// World transform of every node (by index) at one frame. A node the frame
// leaves out keeps the pose it had in the file's first frame.
std::vector<Matrix3> WorldTransforms(const File& file, const Frame& frame);

// Where a reference vertex goes: the sum over its links of
// weight * position * inverse(referenceWorld[bone]) * frameWorld[bone]
// (the vertex's own bone with weight 1 when it has no links). Weights count in
// proportion to their sum, as the compiler takes them; a bone outside the
// tables leaves its share of the position where it was.
Point3 SkinnedPosition(const File& reference, const Vertex& vertex,
                       const std::vector<Matrix3>& referenceWorld,
                       const std::vector<Matrix3>& frameWorld);

// The same for many vertices: inverse(referenceWorld[bone]) * frameWorld[bone]
// per bone, worked out once.
std::vector<Matrix3> SkinningMatrices(const std::vector<Matrix3>& referenceWorld,
                                      const std::vector<Matrix3>& frameWorld);
Point3 SkinnedPosition(const File& reference, const Vertex& vertex,
                       const std::vector<Matrix3>& skinning);
// A normal turned by the same blend (not renormalised).
Point3 SkinnedNormal(const File& reference, const Vertex& vertex,
                     const std::vector<Matrix3>& skinning);

}  // namespace kw::smd
