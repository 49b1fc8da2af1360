// The node look-up answers the same whether the ids are dense enough for a
// flat table or not.
#include <gtest/gtest.h>

#include <string>

#include "export/node_registry.h"
#include "scene/memory_scene.h"

using kw::MemoryNode;
using kw::MemoryScene;
using kw::NodeRegistry;

namespace {

void Collect(NodeRegistry& registry, MemoryScene& scene) {
  scene.Initialise(false);
  registry.ClearNodes();
  registry.CollectNodes(scene, false);
}

// Bones with ids first, first + step, ...; a repeated first id at the end.
void AddBones(MemoryScene& scene, int first, int step, int count) {
  for (int i = 0; i < count; ++i) {
    scene.MakeObject(scene.AddNode(first + i * step, "b" + std::to_string(i)), kObjectBone);
  }
  scene.MakeObject(scene.AddNode(first, "again"), kObjectBone);
}

void ExpectLookups(const NodeRegistry& registry, int first, int step, int count) {
  for (int i = 0; i < count; ++i) EXPECT_EQ(registry.LookupNodeIndex(first + i * step), i) << i;
  EXPECT_EQ(registry.LookupNodeIndex(first + count * step), -1);
  EXPECT_EQ(registry.LookupNodeIndex(first + 1), -1);
  EXPECT_EQ(registry.LookupNodeIndex(-1), -1);
  EXPECT_EQ(registry.LookupNodeIndex(-2147483647 - 1), -1);
  EXPECT_EQ(registry.LookupNodeIndex(2147483647), -1);
}

TEST(NodeLookupTable, DenseAndSparseIdsGiveTheSameAnswers) {
  // Dense: ids 0, 2, ..., 198 for 101 nodes. Sparse: ids a million apart.
  for (const int step : {2, 1000000}) {
    MemoryScene scene;
    AddBones(scene, 0, step, 100);
    NodeRegistry registry;
    Collect(registry, scene);
    ExpectLookups(registry, 0, step, 100);
  }
}

TEST(NodeLookupTable, NodesRegisteredAfterCollectingAreFound) {
  MemoryScene scene;
  AddBones(scene, 10, 1, 5);
  MemoryNode& late = scene.AddNode(3, "late");
  NodeRegistry registry;
  Collect(registry, scene);
  ASSERT_EQ(registry.LookupNodeIndex(3), -1);
  registry.RegisterNode(&late, kObjectBone);
  EXPECT_EQ(registry.LookupNodeIndex(3), 6);
  EXPECT_EQ(registry.LookupNodeIndex(12), 2);
}

}  // namespace
