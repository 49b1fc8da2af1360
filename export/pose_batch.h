// A run of the skeleton's poses as the world transforms the scene gave, and
// the making of their lines. As with faces, the export's thread asks the
// scene; the decomposition and the text can be done on another.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "geometry/geometry.h"

namespace kw {

// What a node's line needs besides this pose's transforms; fixed for an export.
struct PoseNode {
  std::string indexText;  // "%3d" of its index
  bool hasParent = false;
  // The parent is listed before the node, at parentAt: its transform is the
  // pose's. Otherwise the scene is asked for the parent's own.
  bool parentListed = false;
  std::size_t parentAt = 0;
  bool mirroredParent = false;
};

class PoseBatch {
 public:
  explicit PoseBatch(const std::vector<PoseNode>& nodes);

  // Poses that fill a batch of about kLines lines.
  std::size_t Capacity() const { return capacity_; }
  bool Full() const { return counters_.size() >= capacity_; }
  bool Empty() const { return counters_.empty(); }
  void Clear();

  // Starts the next pose, "time counter"; then one Add per node, in order.
  void StartPose(std::uint64_t counter);
  // world: the node's transform without scale. parentWorld: its parent's,
  // read only when the parent is not listed before it.
  void Add(const Matrix3& world, const Matrix3& parentWorld);
  bool NeedsParentWorld(std::size_t node) const {
    return nodes_[node].hasParent && !nodes_[node].parentListed;
  }

  // The poses come in parts of about kPartLines lines, each made on its own
  // (BatchPipeline): part i's lines go to out, which holds PartBound(i)
  // bytes; WritePart returns their length.
  std::size_t Parts() const { return (counters_.size() + posesPerPart_ - 1) / posesPerPart_; }
  std::size_t PartBound(std::size_t part) const;
  std::size_t WritePart(std::size_t part, char* out) const;

 private:
  static constexpr std::size_t kLines = 8192;
  static constexpr std::size_t kPartLines = 128;

  std::size_t PosesIn(std::size_t part) const;

  const std::vector<PoseNode>& nodes_;
  std::size_t capacity_;
  std::size_t posesPerPart_;
  std::size_t lineBound_ = 0;  // one pose's lines at most
  std::size_t parentWorldsPerPose_ = 0;
  std::vector<std::uint64_t> counters_;
  std::vector<Matrix3> worlds_;        // nodes_.size() per pose
  std::vector<Matrix3> parentWorlds_;  // for the nodes that need one, in order
};

}  // namespace kw
