#include "cli/collision_model.h"

#include <array>
#include <cstdio>
#include <memory>
#include <set>
#include <unordered_map>

#include "collision/collision.h"
#include "smd/text_output.h"

namespace kw {

namespace {

using collision::BoneHull;
using collision::ConvexHull;

Point3 PositionOf(const smd::Vertex& vertex) {
  return Point3(vertex.position[0], vertex.position[1], vertex.position[2]);
}

// The corner's links as the compiler reads them: none listed is its bone alone.
std::vector<collision::BoneWeight> LinksOf(const smd::File& file, const smd::Vertex& vertex) {
  std::vector<collision::BoneWeight> links;
  for (std::uint32_t k = 0; k < vertex.linkCount; ++k) {
    const smd::Link& link = file.links[vertex.firstLink + k];
    links.push_back({link.bone, link.weight});
  }
  if (links.empty()) links.push_back({vertex.bone, 1.0f});
  return links;
}

int HeaviestBone(const std::vector<collision::BoneWeight>& links) {
  const collision::BoneWeight* best = nullptr;
  for (const collision::BoneWeight& link : links) {
    if (!best || link.weight > best->weight) best = &link;
  }
  return best ? best->bone : -1;
}

// The nodes' names and depths in the tree, by index.
struct NodeTree {
  explicit NodeTree(const smd::File& file) {
    for (const smd::Node& node : file.nodes) byIndex[node.index] = &node;
  }

  std::string Name(int bone) const {
    const auto found = byIndex.find(bone);
    return found != byIndex.end() ? found->second->name : "node " + std::to_string(bone);
  }

  // Steps to the root, each node's worked out once; a loop of parents ends
  // the count where it closes.
  int Depth(int bone) const {
    std::vector<int> path;
    std::set<int> onPath;
    int depth = 0;
    for (int at = bone; at >= 0 && onPath.insert(at).second;) {
      const auto known = depths.find(at);
      if (known != depths.end()) {
        depth = known->second;
        break;
      }
      path.push_back(at);
      const auto found = byIndex.find(at);
      at = found != byIndex.end() ? found->second->parent : -1;
    }
    for (auto at = path.rbegin(); at != path.rend(); ++at) depths[*at] = ++depth;
    return depth;
  }

  std::unordered_map<int, const smd::Node*> byIndex;
  mutable std::unordered_map<int, int> depths;
};

std::vector<BoneHull> PropHulls(const smd::File& file, const std::string& mode, int bone,
                                CollisionModel* model) {
  std::vector<Point3> corners;
  corners.reserve(file.triangles.size() * 3);
  for (const smd::Triangle& triangle : file.triangles) {
    for (const smd::Vertex& corner : triangle.corners) corners.push_back(PositionOf(corner));
  }
  if (mode != "parts") {
    ConvexHull hull = collision::Hull(corners);
    if (hull.Empty()) {
      model->problem = hull.problem;
      return {};
    }
    return {BoneHull{bone, std::move(hull)}};
  }
  std::vector<std::array<int, 3>> triangles;
  triangles.reserve(file.triangles.size());
  for (std::size_t t = 0; t < file.triangles.size(); ++t) {
    const int first = static_cast<int>(3 * t);
    triangles.push_back({first, first + 1, first + 2});
  }
  const std::vector<collision::Part> parts = collision::ConnectedParts(corners, triangles);
  model->parts = static_cast<int>(parts.size());
  std::vector<ConvexHull> hulls;
  std::string problem;
  for (const collision::Part& part : parts) {
    ConvexHull hull = collision::Hull(collision::PointsOf(part, corners));
    if (hull.Empty()) {
      problem = hull.problem;
    } else {
      hulls.push_back(std::move(hull));
    }
  }
  std::vector<BoneHull> result;
  if (static_cast<int>(hulls.size()) > collision::kCompilerPieceLimit) {
    for (collision::MergedHull& merged :
         collision::MergeToLimit(hulls, collision::kCompilerPieceLimit)) {
      result.push_back(BoneHull{bone, std::move(merged.hull)});
    }
  } else {
    for (ConvexHull& hull : hulls) result.push_back(BoneHull{bone, std::move(hull)});
  }
  if (result.empty()) model->problem = problem;
  return result;
}

std::vector<BoneHull> RagdollHulls(const smd::File& file, CollisionModel* model) {
  // Each vertex once, as the triangles sharing it write it alike: the counts
  // of the bones left out are then the mesh's own.
  std::vector<collision::SkinnedVertex> vertices;
  std::set<std::vector<float>> seen;
  for (const smd::Triangle& triangle : file.triangles) {
    for (const smd::Vertex& corner : triangle.corners) {
      std::vector<collision::BoneWeight> links = LinksOf(file, corner);
      std::vector<float> key(corner.position, corner.position + 3);
      for (const collision::BoneWeight& link : links) {
        key.push_back(static_cast<float>(link.bone));
        key.push_back(link.weight);
      }
      if (seen.insert(std::move(key)).second)
        vertices.push_back({PositionOf(corner), std::move(links)});
    }
  }
  collision::BoneHulls bones = collision::PerBoneHulls(vertices);
  const NodeTree tree(file);
  for (const collision::LeftOutBone& out : bones.leftOut) {
    model->leftOut.push_back("\"" + tree.Name(out.bone) + "\": " + std::to_string(out.vertices) +
                             (out.vertices == 1 ? " vertex; " : " vertices; ") + out.reason);
  }
  if (bones.unweighted > 0) {
    model->leftOut.push_back(std::to_string(bones.unweighted) +
                             " vertices without a positive weight are in no hull");
  }
  if (bones.hulls.empty()) {
    model->problem = "no bone carries enough of the mesh for a hull";
    return {};
  }
  int root = bones.hulls.front().bone;
  int rootDepth = tree.Depth(root);
  for (const BoneHull& hull : bones.hulls) {
    const int depth = tree.Depth(hull.bone);
    if (depth < rootDepth) {
      root = hull.bone;
      rootDepth = depth;
    }
  }
  model->rootBone = tree.Name(root);
  for (const BoneHull& hull : bones.hulls) {
    if (hull.bone != root) model->jointBones.push_back(tree.Name(hull.bone));
  }
  return std::move(bones.hulls);
}

}  // namespace

CollisionModel MakeCollisionModel(const smd::File& reference, const std::string& mode,
                                  bool skinned) {
  CollisionModel model;
  if (mode == "none" || reference.triangles.empty() || reference.frames.empty()) return model;
  std::set<int> carriers;
  for (const smd::Triangle& triangle : reference.triangles) {
    for (const smd::Vertex& corner : triangle.corners)
      carriers.insert(HeaviestBone(LinksOf(reference, corner)));
  }
  const bool ragdoll = skinned && carriers.size() > 1;
  const int propBone = carriers.size() == 1 ? *carriers.begin() : reference.nodes.front().index;
  std::vector<BoneHull> hulls =
      ragdoll ? RagdollHulls(reference, &model) : PropHulls(reference, mode, propBone, &model);
  if (hulls.empty()) return model;

  const smd::Frame& first = reference.frames.front();
  const std::vector<smd::Pose> skeleton(
      reference.poses.begin() + first.firstPose,
      reference.poses.begin() + first.firstPose + first.poseCount);
  TextStream out(std::make_unique<StringSink>(&model.smd));
  std::string error;
  if (!collision::WriteCollisionSmd(out, reference.nodes, skeleton, hulls, &error) ||
      !out.Close()) {
    model.smd.clear();
    model.problem = error.empty() ? out.Error() : error;
    return model;
  }
  model.kind = ragdoll ? CollisionModel::Kind::kRagdoll : CollisionModel::Kind::kProp;
  model.hulls = static_cast<int>(hulls.size());
  return model;
}

}  // namespace kw
