// Which scene nodes become SMD nodes, in which order, and which parent each
// is given. A record's index is the node's number in every section of the
// file and the bone number of the triangles' links.
#pragma once

#include <memory>
#include <unordered_map>
#include <vector>

#include "scene/scene_access.h"

namespace kw {

// One exported node. Names and scene nodes belong to the scene and stay
// valid until it is released.
struct NodeRecord {
  int objectType = 0;
  int nodeId = 0;
  int parentNodeId = -1;
  int index = 0;
  // -1 for a root: a node whose parent is not registered (excluded, or of a
  // type that is not exported).
  int parentIndex = -1;
  const char* name = nullptr;
  const char* parentName = nullptr;
  SceneNode* node = nullptr;
  // The node its pose is relative to: the record at parentIndex, or null
  // for a root, which is posed in the world.
  SceneNode* parentNode = nullptr;
  // The parent's object axes at tick 0 are left-handed, as after a mirror.
  bool mirroredParent = false;
};

class NodeRegistry {
 public:
  // Walks the scene, initialised for the chosen mode, depth-first and
  // registers its meshes, helpers, bones and IK chains after those already
  // there.
  void CollectNodes(IGameScene& scene, bool selectedOnly);
  // Registers node with the next index.
  void RegisterNode(SceneNode* node, int objectType);
  // The index of the node with that id, or -1; the first registration of a
  // repeated id wins.
  int LookupNodeIndex(int nodeId) const;
  // Forgets every node: the next one registered gets index 0 again.
  void ClearNodes();

  // In index order: the record at position k has index k.
  const std::vector<std::unique_ptr<NodeRecord>>& Nodes() const { return nodes_; }
  int NodeCount() const { return static_cast<int>(nodes_.size()); }

 private:
  void VisitNode(SceneNode* node);

  bool selectedOnly_ = false;
  std::vector<std::unique_ptr<NodeRecord>> nodes_;
  // Bone links look ids up once per corner, too often for a scan.
  std::unordered_map<int, int> indexByNodeId_;
  // The same look-up as a flat table by id, made after collecting when the
  // ids are small and dense; empty otherwise, or after a later registration.
  std::vector<int> indexByDenseId_;
};

}  // namespace kw
