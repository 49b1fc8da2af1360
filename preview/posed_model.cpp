#include "preview/posed_model.h"

#include <unordered_map>
#include <utility>

#include "smd/skinning.h"

namespace kw::preview {
namespace {

std::vector<Matrix3> WorldsAt(const smd::File& file, const smd::Frame* frame) {
  return frame ? smd::WorldTransforms(file, *frame) : smd::WorldTransforms(file, smd::Frame());
}

const smd::Frame* FirstFrame(const smd::File& file) {
  return file.frames.empty() ? nullptr : &file.frames.front();
}

}  // namespace

PosedModel::PosedModel(const smd::File& reference) : reference_(reference) {
  const std::vector<Matrix3> worlds = WorldsAt(reference, FirstFrame(reference));
  std::unordered_map<int, int> place;
  for (std::size_t i = 0; i < reference.nodes.size(); ++i)
    place[reference.nodes[i].index] = static_cast<int>(i);
  for (const smd::Node& node : reference.nodes) {
    const bool known = node.index >= 0 && static_cast<std::size_t>(node.index) < worlds.size();
    joints_.push_back(known ? worlds[static_cast<std::size_t>(node.index)].GetTrans() : Point3());
    const auto parent = place.find(node.parent);
    parents_.push_back(parent == place.end() ? -1 : parent->second);
  }
}

PosedModel::PosedModel(const smd::File& reference, const smd::File& sequence,
                       const smd::Frame& frame)
    : PosedModel(reference) {
  const std::vector<Matrix3> referenceWorld = WorldsAt(reference, FirstFrame(reference));
  const std::vector<Matrix3> sequenceWorld = smd::WorldTransforms(sequence, frame);
  std::unordered_map<std::string, int> byName;
  for (const smd::Node& node : sequence.nodes) byName.emplace(node.name, node.index);

  std::vector<Matrix3> frameWorld = referenceWorld;
  for (std::size_t i = 0; i < reference.nodes.size(); ++i) {
    const smd::Node& node = reference.nodes[i];
    const auto match = byName.find(node.name);
    if (node.index < 0 || static_cast<std::size_t>(node.index) >= frameWorld.size() ||
        match == byName.end() || match->second < 0 ||
        static_cast<std::size_t>(match->second) >= sequenceWorld.size()) {
      continue;
    }
    frameWorld[static_cast<std::size_t>(node.index)] =
        sequenceWorld[static_cast<std::size_t>(match->second)];
    joints_[i] = frameWorld[static_cast<std::size_t>(node.index)].GetTrans();
  }

  const std::vector<Matrix3> skinning = smd::SkinningMatrices(referenceWorld, frameWorld);
  corners_.reserve(reference.triangles.size() * 3);
  for (const smd::Triangle& triangle : reference.triangles) {
    for (const smd::Vertex& vertex : triangle.corners) {
      corners_.push_back(smd::SkinnedPosition(reference, vertex, skinning));
    }
  }
}

PosedModel::PosedModel(const smd::File& reference, std::vector<Point3> corners)
    : PosedModel(reference) {
  if (corners.size() == reference.triangles.size() * 3) corners_ = std::move(corners);
}

Point3 PosedModel::Corner(std::size_t triangle, int corner) const {
  if (!corners_.empty()) return corners_[triangle * 3 + static_cast<std::size_t>(corner)];
  const float* p = reference_.triangles[triangle].corners[corner].position;
  return Point3(p[0], p[1], p[2]);
}

}  // namespace kw::preview
