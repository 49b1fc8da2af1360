#include <memory>
#include <vector>

#include "export/node_registry.h"

namespace kw {

namespace {

bool IsExportedType(int type) {
  return type == kObjectMesh || type == kObjectHelper || type == kObjectBone ||
         type == kObjectIkChain;
}

// True when the parent's object axes at tick 0 form a left-handed frame, as
// after a mirror. A zero or NaN dot product is no mirror.
bool IsMirrored(const SceneNode& parent) {
  const Matrix3 m = parent.GetObjectTransform(0).ExtractMatrix3();
  const Point3 a = m.GetRow(0).Normalize();
  const Point3 b = m.GetRow(1).Normalize();
  const Point3 c = m.GetRow(2).Normalize();
  const Point3 n = CrossProd(a, b).Normalize();
  return DotProd(n, c) < 0.0f;
}

}  // namespace

void NodeRegistry::CollectNodes(IGameScene& scene, bool selectedOnly) {
  selectedOnly_ = selectedOnly;
  for (int i = 0; i < scene.GetTopLevelNodeCount(); ++i) VisitNode(scene.GetTopLevelNode(i));

  // Bone links look ids up once per vertex; a table is cheaper than hashing
  // when it stays within a few entries per node.
  long long highest = -1;
  for (const auto& entry : indexByNodeId_) {
    if (entry.first < 0) return;
    if (entry.first > highest) highest = entry.first;
  }
  if (highest >= 4LL * static_cast<long long>(indexByNodeId_.size()) + 1024) return;
  indexByDenseId_.assign(static_cast<std::size_t>(highest + 1), -1);
  for (const auto& entry : indexByNodeId_) {
    indexByDenseId_[static_cast<std::size_t>(entry.first)] = entry.second;
  }
}

// Depth-first pre-order over an explicit stack rather than recursion: a
// scene file can nest nodes deeper than the call stack reaches.
void NodeRegistry::VisitNode(SceneNode* node) {
  struct Pending {
    SceneNode* node;
    int nextChild;
  };
  std::vector<Pending> stack;
  auto enter = [&](SceneNode* entered) {
    if (!entered || entered->IsPruned()) return;
    const bool excluded = entered->IsExcluded();
    if (selectedOnly_ || !excluded) {
      const IGameObject* object = entered->GetObject();
      const int type = object ? object->GetObjectType() : 0;
      if (IsExportedType(type)) RegisterNode(entered, type);
    }
    stack.push_back(Pending{entered, 0});
  };

  enter(node);
  while (!stack.empty()) {
    // The child count is asked again each step, as the scene may change its answer.
    Pending& top = stack.back();
    if (top.nextChild < top.node->GetChildCount()) {
      SceneNode* child = top.node->GetChild(top.nextChild++);
      enter(child);
    } else {
      stack.pop_back();
    }
  }
}

void NodeRegistry::RegisterNode(SceneNode* node, int objectType) {
  auto record = std::make_unique<NodeRecord>();
  record->objectType = objectType;
  record->nodeId = node->GetNodeId();
  record->name = node->GetName();

  // No limit on the count: a bone left out would silently move every weight
  // bound to it. The node's own id is known before its parent is looked up.
  const int index = NodeCount();
  indexByNodeId_.emplace(record->nodeId, index);
  indexByDenseId_.clear();
  record->index = index;

  record->node = node;
  SceneNode* parent = node->GetParent();
  if (parent) {
    // Only a registered parent is linked: the pose must be relative to the
    // node the file names as parent, and a child of a camera or a light,
    // written as a root, is posed in the world.
    const int parentIndex = LookupNodeIndex(parent->GetNodeId());
    if (parentIndex >= 0 && parentIndex < index) {
      const NodeRecord& linked = *nodes_[static_cast<std::size_t>(parentIndex)];
      record->parentNodeId = linked.nodeId;
      record->parentName = linked.name;
      record->parentIndex = parentIndex;
      record->parentNode = linked.node;
    }
    record->mirroredParent = IsMirrored(*parent);
  }
  nodes_.push_back(std::move(record));
}

int NodeRegistry::LookupNodeIndex(int nodeId) const {
  if (!indexByDenseId_.empty()) {
    const auto slot = static_cast<std::size_t>(nodeId);
    return nodeId >= 0 && slot < indexByDenseId_.size() ? indexByDenseId_[slot] : -1;
  }
  const auto found = indexByNodeId_.find(nodeId);
  return found == indexByNodeId_.end() ? -1 : found->second;
}

void NodeRegistry::ClearNodes() {
  nodes_.clear();
  indexByNodeId_.clear();
  indexByDenseId_.clear();
}

}  // namespace kw
