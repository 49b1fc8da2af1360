// The node look-up answers the same whether the ids are dense enough for a
// flat table or not.
#include <gtest/gtest.h>

#include <string>

#include "core/kestrelworks.h"
#include "memory_scene/memory_scene.h"

namespace {

void Collect(Kestrelworks& session, MemoryScene& scene) {
  scene.Initialise(false);
  session.scene = &scene;
  session.ClearNodes();
  session.CollectNodes();
}

// Bones with ids first, first + step, ...; a repeated first id at the end.
void AddBones(MemoryScene& scene, int first, int step, int count) {
  for (int i = 0; i < count; ++i) {
    scene.MakeObject(scene.AddNode(first + i * step, "b" + std::to_string(i)), kObjectBone);
  }
  scene.MakeObject(scene.AddNode(first, "again"), kObjectBone);
}

void ExpectLookups(const Kestrelworks& session, int first, int step, int count) {
  for (int i = 0; i < count; ++i) EXPECT_EQ(session.LookupNodeIndex(first + i * step), i) << i;
  EXPECT_EQ(session.LookupNodeIndex(first + count * step), -1);
  EXPECT_EQ(session.LookupNodeIndex(first + 1), -1);
  EXPECT_EQ(session.LookupNodeIndex(-1), -1);
  EXPECT_EQ(session.LookupNodeIndex(-2147483647 - 1), -1);
  EXPECT_EQ(session.LookupNodeIndex(2147483647), -1);
}

TEST(NodeLookupTable, DenseAndSparseIdsGiveTheSameAnswers) {
  // Dense: ids 0, 2, ..., 198 for 101 nodes. Sparse: ids a million apart.
  for (const int step : {2, 1000000}) {
    MemoryScene scene;
    AddBones(scene, 0, step, 100);
    Kestrelworks session;
    Collect(session, scene);
    ExpectLookups(session, 0, step, 100);
  }
}

TEST(NodeLookupTable, NodesRegisteredAfterCollectingAreFound) {
  MemoryScene scene;
  AddBones(scene, 10, 1, 5);
  MemoryNode& late = scene.AddNode(3, "late");
  Kestrelworks session;
  Collect(session, scene);
  ASSERT_EQ(session.LookupNodeIndex(3), -1);
  session.RegisterNode(&late, kObjectBone);
  EXPECT_EQ(session.LookupNodeIndex(3), 6);
  EXPECT_EQ(session.LookupNodeIndex(12), 2);
}

}  // namespace
