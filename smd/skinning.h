// Posing and skinning as an SMD consumer does it: a bone's local transform is
// RotateX * RotateY * RotateZ of its angles, then its position, on row vectors;
// its world transform is local times its parent's world.
#pragma once

#include <vector>

#include "host/geometry.h"
#include "smd/smd_file.h"

namespace kw::smd {

// World transform of every node (by index) at one frame. A node the frame
// leaves out keeps the pose it had in the file's first frame.
std::vector<Matrix3> WorldTransforms(const File& file, const Frame& frame);

// Where a reference vertex goes: the sum over its links of
// weight * position * inverse(referenceWorld[bone]) * frameWorld[bone]
// (the vertex's own bone with weight 1 when it has no links).
Point3 SkinnedPosition(const File& reference, const Vertex& vertex,
                       const std::vector<Matrix3>& referenceWorld,
                       const std::vector<Matrix3>& frameWorld);

}  // namespace kw::smd
