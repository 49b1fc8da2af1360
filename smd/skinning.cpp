#include "smd/skinning.h"

#include <algorithm>
#include <cstdint>

namespace kw::smd {
namespace {

Matrix3 LocalTransform(const Pose& pose) {
  Matrix3 local = RotateXMatrix(pose.rotation[0]) * RotateYMatrix(pose.rotation[1]) *
                  RotateZMatrix(pose.rotation[2]);
  local.SetTrans(Point3(pose.position[0], pose.position[1], pose.position[2]));
  return local;
}

void ApplyPoses(const File& file, const Frame& frame, std::vector<Matrix3>* local) {
  const std::size_t end = static_cast<std::size_t>(frame.firstPose) + frame.poseCount;
  for (std::size_t i = frame.firstPose; i < end && i < file.poses.size(); ++i) {
    const Pose& pose = file.poses[i];
    if (pose.node >= 0 && static_cast<std::size_t>(pose.node) < local->size()) {
      (*local)[pose.node] = LocalTransform(pose);
    }
  }
}

// The sum over the vertex's links of weight * moved(bone, p), weights taken in
// proportion to their sum.
template <typename Move>
Point3 Blend(const File& reference, const Vertex& vertex, const Point3& p, Move moved) {
  if (vertex.linkCount == 0) return moved(vertex.bone);
  Point3 sum;
  float total = 0;
  const std::size_t end = static_cast<std::size_t>(vertex.firstLink) + vertex.linkCount;
  for (std::size_t k = vertex.firstLink; k < end && k < reference.links.size(); ++k) {
    const Link& link = reference.links[k];
    sum = sum + moved(link.bone) * link.weight;
    total += link.weight;
  }
  // Weights that add up to nothing leave nothing to share out: the vertex stays.
  if (!(total > 0)) return p;
  return sum * (1.0f / total);
}

bool InTable(int bone, const std::vector<Matrix3>& table) {
  return bone >= 0 && static_cast<std::size_t>(bone) < table.size();
}

}  // namespace

std::vector<Matrix3> WorldTransforms(const File& file, const Frame& frame) {
  const std::size_t count = file.nodes.size();
  std::vector<Matrix3> local(count);
  if (!file.frames.empty()) ApplyPoses(file, file.frames.front(), &local);
  if (file.frames.empty() || &frame != &file.frames.front()) ApplyPoses(file, frame, &local);

  // Parents usually come first; a file that names a later parent, or a loop
  // of parents, still gets an answer (a loop is cut where it closes).
  enum : std::uint8_t { kTodo, kBusy, kDone };
  std::vector<std::uint8_t> state(count, kTodo);
  std::vector<Matrix3> world(count);
  std::vector<std::size_t> chain;
  for (std::size_t start = 0; start < count; ++start) {
    if (state[start] == kDone) continue;
    chain.clear();
    std::size_t node = start;
    for (;;) {
      state[node] = kBusy;
      chain.push_back(node);
      const int parent = file.nodes[node].parent;
      if (parent < 0 || static_cast<std::size_t>(parent) >= count || state[parent] != kTodo) {
        break;
      }
      node = static_cast<std::size_t>(parent);
    }
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
      const int parent = file.nodes[*it].parent;
      const bool hasParent =
          parent >= 0 && static_cast<std::size_t>(parent) < count && state[parent] == kDone;
      world[*it] = hasParent ? local[*it] * world[parent] : local[*it];
      state[*it] = kDone;
    }
  }
  return world;
}

std::vector<Matrix3> SkinningMatrices(const std::vector<Matrix3>& referenceWorld,
                                      const std::vector<Matrix3>& frameWorld) {
  const std::size_t count = std::min(referenceWorld.size(), frameWorld.size());
  std::vector<Matrix3> skinning(count);
  for (std::size_t i = 0; i < count; ++i) skinning[i] = Inverse(referenceWorld[i]) * frameWorld[i];
  return skinning;
}

Point3 SkinnedPosition(const File& reference, const Vertex& vertex,
                       const std::vector<Matrix3>& skinning) {
  const Point3 p(vertex.position[0], vertex.position[1], vertex.position[2]);
  return Blend(reference, vertex, p,
               [&](int bone) { return InTable(bone, skinning) ? p * skinning[bone] : p; });
}

Point3 SkinnedNormal(const File& reference, const Vertex& vertex,
                     const std::vector<Matrix3>& skinning) {
  const Point3 n(vertex.normal[0], vertex.normal[1], vertex.normal[2]);
  return Blend(reference, vertex, n, [&](int bone) {
    return InTable(bone, skinning) ? VectorTransform(skinning[bone], n) : n;
  });
}

Point3 SkinnedPosition(const File& reference, const Vertex& vertex,
                       const std::vector<Matrix3>& referenceWorld,
                       const std::vector<Matrix3>& frameWorld) {
  const Point3 p(vertex.position[0], vertex.position[1], vertex.position[2]);
  return Blend(reference, vertex, p, [&](int bone) {
    if (!InTable(bone, referenceWorld) || !InTable(bone, frameWorld)) return p;
    return p * Inverse(referenceWorld[bone]) * frameWorld[bone];
  });
}

}  // namespace kw::smd
