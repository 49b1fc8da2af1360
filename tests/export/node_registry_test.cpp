#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "export/node_registry.h"
#include "scene/memory_scene.h"

using kw::MemoryNode;
using kw::MemoryScene;
using kw::NodeRecord;
using kw::NodeRegistry;

namespace {

constexpr int kLight = 1;
constexpr int kCamera = 4;

// Walks the scene the way DoExport does, without writing anything.
void Collect(NodeRegistry& registry, MemoryScene& scene, bool selectedOnly) {
  scene.Initialise(selectedOnly);
  registry.ClearNodes();
  registry.CollectNodes(scene, selectedOnly);
}

// One line per record with every field the writers read, so a whole walk is
// compared at once: "index name type parentIndex parentNodeId parentName parentNode mirrored".
std::vector<std::string> Describe(const NodeRegistry& registry) {
  std::vector<std::string> lines;
  for (const auto& r : registry.Nodes()) {
    std::string line =
        std::to_string(r->index) + " " + r->name + " t" + std::to_string(r->objectType) + " p" +
        std::to_string(r->parentIndex) + " id" + std::to_string(r->parentNodeId) + " " +
        (r->parentName ? r->parentName : "-") + " " +
        (r->parentNode ? r->parentNode->GetName() : "-") + (r->mirroredParent ? " mirrored" : "");
    lines.push_back(line);
  }
  return lines;
}

MemoryNode& Add(MemoryScene& scene, int id, const std::string& name, int type,
                MemoryNode* parent = nullptr) {
  MemoryNode& node = scene.AddNode(id, name, parent);
  scene.MakeObject(node, type);
  return node;
}

Matrix3 Scaled(float x, float y, float z) {
  return Matrix3(Point3(x, 0, 0), Point3(0, y, 0), Point3(0, 0, z), Point3(0, 0, 0));
}

TEST(NodeWalk, RegistersExportedTypesDepthFirstInSceneOrder) {
  MemoryScene scene;
  MemoryNode& a = Add(scene, 100, "A", kObjectHelper);
  MemoryNode& a1 = Add(scene, 101, "A1", kObjectBone, &a);
  Add(scene, 102, "A1a", kObjectIkChain, &a1);
  Add(scene, 103, "A2", kLight, &a);
  MemoryNode& b = Add(scene, 200, "B", kCamera);
  Add(scene, 201, "B1", kObjectMesh, &b);
  scene.AddNode(300, "NoObject");
  Add(scene, 400, "C", kObjectBone);

  NodeRegistry registry;
  Collect(registry, scene, false);
  EXPECT_EQ(Describe(registry), (std::vector<std::string>{
                                    "0 A t5 p-1 id-1 - -",
                                    "1 A1 t6 p0 id100 A A",
                                    "2 A1a t7 p1 id101 A1 A1",
                                    "3 B1 t2 p-1 id-1 - -",
                                    "4 C t6 p-1 id-1 - -",
                                }));
  for (std::size_t k = 0; k < registry.Nodes().size(); ++k) {
    const NodeRecord& r = *registry.Nodes()[k];
    EXPECT_EQ(r.index, static_cast<int>(k));
    EXPECT_EQ(r.node, scene.FindNode(r.nodeId));
    EXPECT_STREQ(r.name, r.node->GetName());
  }
  EXPECT_EQ(registry.NodeCount(), 5);
}

TEST(NodeWalk, HelperWithMeshChildGivesConsecutiveIndices) {
  MemoryScene scene;
  Add(scene, 1, "Before", kObjectBone);
  MemoryNode& helper = Add(scene, 7, "Helper", kObjectHelper);
  Add(scene, 8, "Mesh", kObjectMesh, &helper);

  NodeRegistry registry;
  Collect(registry, scene, false);
  EXPECT_EQ(Describe(registry), (std::vector<std::string>{
                                    "0 Before t6 p-1 id-1 - -",
                                    "1 Helper t5 p-1 id-1 - -",
                                    "2 Mesh t2 p1 id7 Helper Helper",
                                }));
}

TEST(NodeWalk, PrunedNodeHidesItsWholeSubtree) {
  MemoryScene scene;
  MemoryNode& root = Add(scene, 1, "Root", kObjectHelper);
  MemoryNode& pruned = Add(scene, 2, "Pruned", kObjectBone, &root);
  MemoryNode& under = Add(scene, 3, "Under", kObjectBone, &pruned);
  Add(scene, 4, "Deeper", kObjectMesh, &under);
  Add(scene, 5, "Kept", kObjectBone, &root);
  pruned.SetPruned(true);

  for (bool selectedOnly : {false, true}) {
    for (int id = 1; id <= 5; ++id) scene.FindNode(id)->SetSelected(true);
    NodeRegistry registry;
    Collect(registry, scene, selectedOnly);
    EXPECT_EQ(Describe(registry), (std::vector<std::string>{
                                      "0 Root t5 p-1 id-1 - -",
                                      "1 Kept t6 p0 id1 Root Root",
                                  }))
        << "selectedOnly " << selectedOnly;
  }
}

// Hips (excluded) > Spine > Head, all bones.
struct ExcludedParentScene {
  MemoryScene scene;
  ExcludedParentScene() {
    MemoryNode& hips = Add(scene, 10, "Hips", kObjectBone);
    MemoryNode& spine = Add(scene, 11, "Spine", kObjectBone, &hips);
    MemoryNode& head = Add(scene, 12, "Head", kObjectBone, &spine);
    hips.SetExcluded(true);
    hips.SetSelected(true);
    spine.SetSelected(true);
    head.SetSelected(true);
  }
};

TEST(NodeWalk, WholeSceneSkipsExcludedNodeButVisitsItsChildren) {
  ExcludedParentScene s;
  NodeRegistry registry;
  Collect(registry, s.scene, false);
  EXPECT_EQ(Describe(registry), (std::vector<std::string>{
                                    "0 Spine t6 p-1 id-1 - -",
                                    "1 Head t6 p0 id11 Spine Spine",
                                }));
}

TEST(NodeWalk, SelectedOnlyRegistersExcludedNodes) {
  ExcludedParentScene s;
  NodeRegistry registry;
  Collect(registry, s.scene, true);
  EXPECT_EQ(Describe(registry), (std::vector<std::string>{
                                    "0 Hips t6 p-1 id-1 - -",
                                    "1 Spine t6 p0 id10 Hips Hips",
                                    "2 Head t6 p1 id11 Spine Spine",
                                }));
}

// A camera is never registered, so its child is a root posed in the world,
// with or without the selection.
TEST(ParentLink, OnlyARegisteredParentIsLinked) {
  MemoryScene scene;
  MemoryNode& cam = Add(scene, 40, "Cam", kCamera);
  Add(scene, 41, "Gun", kObjectBone, &cam);
  cam.SetSelected(true);
  scene.FindNode(41)->SetSelected(true);

  for (bool selectedOnly : {false, true}) {
    NodeRegistry registry;
    Collect(registry, scene, selectedOnly);
    EXPECT_EQ(Describe(registry), (std::vector<std::string>{"0 Gun t6 p-1 id-1 - -"}))
        << "selectedOnly " << selectedOnly;
  }
}

TEST(ParentLink, SelectedOnlyLinksToNearestSelectedRegisteredAncestor) {
  MemoryScene scene;
  MemoryNode& top = Add(scene, 1, "Top", kObjectBone);
  MemoryNode& skipped = Add(scene, 2, "Skipped", kObjectBone, &top);
  Add(scene, 3, "Leaf", kObjectBone, &skipped);
  top.SetSelected(true);
  scene.FindNode(3)->SetSelected(true);

  NodeRegistry registry;
  Collect(registry, scene, true);
  EXPECT_EQ(Describe(registry), (std::vector<std::string>{
                                    "0 Top t6 p-1 id-1 - -",
                                    "1 Leaf t6 p0 id1 Top Top",
                                }));
}

TEST(MirrorTest, OddNumberOfNegatedParentAxesAtTickZeroIsAMirror) {
  MemoryScene scene;
  MemoryNode& one = Add(scene, 1, "OneAxis", kObjectBone);
  one.SetObjectOffset(Scaled(1, -1, 1));
  Add(scene, 2, "UnderOne", kObjectBone, &one);
  MemoryNode& two = Add(scene, 3, "TwoAxes", kObjectBone);
  two.SetObjectOffset(Scaled(-1, -1, 1));
  Add(scene, 4, "UnderTwo", kObjectBone, &two);
  MemoryNode& three = Add(scene, 5, "ThreeAxes", kObjectBone);
  three.SetObjectOffset(Scaled(-2, -0.5f, -3));
  Add(scene, 6, "UnderThree", kObjectBone, &three);
  // Mirrored only from tick 100 on: the test looks at tick 0 alone.
  MemoryNode& late = Add(scene, 7, "LateMirror", kObjectBone);
  late.SetScaleKeys({{0, Point3(1, 1, 1)}, {100, Point3(1, 1, -1)}, {200, Point3(1, 1, -1)}});
  Add(scene, 8, "UnderLate", kObjectBone, &late);
  // Flat parent: its axes are degenerate, the dot product is 0.
  MemoryNode& flat = Add(scene, 9, "Flat", kObjectBone);
  flat.SetObjectOffset(Scaled(1, 1, 0));
  Add(scene, 10, "UnderFlat", kObjectBone, &flat);

  NodeRegistry registry;
  Collect(registry, scene, false);
  EXPECT_EQ(Describe(registry), (std::vector<std::string>{
                                    "0 OneAxis t6 p-1 id-1 - -",
                                    "1 UnderOne t6 p0 id1 OneAxis OneAxis mirrored",
                                    "2 TwoAxes t6 p-1 id-1 - -",
                                    "3 UnderTwo t6 p2 id3 TwoAxes TwoAxes",
                                    "4 ThreeAxes t6 p-1 id-1 - -",
                                    "5 UnderThree t6 p4 id5 ThreeAxes ThreeAxes mirrored",
                                    "6 LateMirror t6 p-1 id-1 - -",
                                    "7 UnderLate t6 p6 id7 LateMirror LateMirror",
                                    "8 Flat t6 p-1 id-1 - -",
                                    "9 UnderFlat t6 p8 id9 Flat Flat",
                                }));
}

TEST(MirrorTest, IsTakenFromTheObjectTransformNotTheNodeTransform) {
  MemoryScene scene;
  // The node itself is mirrored, its object offset mirrors it back.
  MemoryNode& parent = Add(scene, 1, "Parent", kObjectBone);
  parent.SetLocalTransform(Scaled(-1, 1, 1));
  parent.SetObjectOffset(Scaled(-1, 1, 1));
  Add(scene, 2, "Child", kObjectBone, &parent);

  NodeRegistry registry;
  Collect(registry, scene, false);
  EXPECT_EQ(Describe(registry), (std::vector<std::string>{
                                    "0 Parent t6 p-1 id-1 - -",
                                    "1 Child t6 p0 id1 Parent Parent",
                                }));
}

TEST(MirrorTest, UnlinkedParentStillSetsTheFlag) {
  MemoryScene scene;
  MemoryNode& parent = Add(scene, 1, "Excluded", kObjectHelper);
  parent.SetExcluded(true);
  parent.SetObjectOffset(Scaled(1, 1, -1));
  Add(scene, 2, "Child", kObjectBone, &parent);

  NodeRegistry registry;
  Collect(registry, scene, false);
  EXPECT_EQ(Describe(registry), (std::vector<std::string>{"0 Child t6 p-1 id-1 - - mirrored"}));
}

TEST(NodeLookup, AnswersRegisteredIdsAndMinusOneForOthers) {
  MemoryScene scene;
  MemoryNode& root = Add(scene, 500, "Root", kObjectHelper);
  Add(scene, -7, "NegativeId", kObjectBone, &root);
  Add(scene, 0, "ZeroId", kObjectBone, &root);
  Add(scene, 77, "Light", kLight, &root);

  NodeRegistry registry;
  Collect(registry, scene, false);

  EXPECT_EQ(registry.LookupNodeIndex(500), 0);
  EXPECT_EQ(registry.LookupNodeIndex(-7), 1);
  EXPECT_EQ(registry.LookupNodeIndex(0), 2);
  EXPECT_EQ(registry.LookupNodeIndex(77), -1);
  EXPECT_EQ(registry.LookupNodeIndex(-1), -1);
  EXPECT_EQ(registry.LookupNodeIndex(501), -1);
}

TEST(NodeLookup, FirstRegisteredNodeWinsForARepeatedId) {
  MemoryScene scene;
  Add(scene, 5, "First", kObjectBone);
  Add(scene, 5, "Second", kObjectBone);

  NodeRegistry registry;
  Collect(registry, scene, false);
  ASSERT_EQ(registry.Nodes().size(), 2u);
  EXPECT_EQ(registry.LookupNodeIndex(5), 0);
  EXPECT_EQ(registry.Nodes()[1]->index, 1);
}

TEST(NodeLookup, ClearNodesForgetsEveryNodeAndNumbersFromZeroAgain) {
  MemoryScene scene;
  Add(scene, 9, "Only", kObjectBone);
  NodeRegistry registry;
  Collect(registry, scene, false);
  registry.ClearNodes();
  EXPECT_TRUE(registry.Nodes().empty());
  EXPECT_EQ(registry.NodeCount(), 0);
  EXPECT_EQ(registry.LookupNodeIndex(9), -1);
  Collect(registry, scene, false);
  EXPECT_EQ(Describe(registry), (std::vector<std::string>{"0 Only t6 p-1 id-1 - -"}));
  EXPECT_EQ(registry.LookupNodeIndex(9), 0);
}

TEST(NodeTable, GrowsPastItsFirstSizeWithoutLosingNodes) {
  constexpr int kCount = 5000;
  MemoryScene scene;
  MemoryNode& root = Add(scene, 1000000, "Root", kObjectHelper);
  for (int i = 1; i < kCount; ++i)
    Add(scene, 3 * i, "Bone" + std::to_string(i), kObjectBone, &root);

  NodeRegistry registry;
  Collect(registry, scene, false);
  ASSERT_EQ(registry.Nodes().size(), static_cast<std::size_t>(kCount));
  EXPECT_EQ(registry.NodeCount(), kCount);
  for (int i = 1; i < kCount; ++i) {
    const NodeRecord& r = *registry.Nodes()[static_cast<std::size_t>(i)];
    ASSERT_EQ(r.index, i);
    ASSERT_EQ(r.parentIndex, 0);
    ASSERT_EQ(registry.LookupNodeIndex(3 * i), i);
  }
  EXPECT_EQ(registry.LookupNodeIndex(3 * kCount), -1);
}

TEST(NodeWalk, NestingDeeperThanTheCallStackIsWalkedWhole) {
  // The chain's nodes carry no object, so registering the bones after it
  // costs no walk up the chain.
  constexpr int kDepth = 200000;
  MemoryScene scene;
  MemoryNode& top = scene.AddNode(900000, "Top");
  MemoryNode* parent = &top;
  for (int i = 0; i < kDepth; ++i) parent = &scene.AddNode(i, "Link", parent);
  Add(scene, kDepth, "After", kObjectBone, &top);
  Add(scene, kDepth + 1, "Next", kObjectBone);

  NodeRegistry registry;
  Collect(registry, scene, false);
  EXPECT_EQ(Describe(registry), (std::vector<std::string>{
                                    "0 After t6 p-1 id-1 - -",
                                    "1 Next t6 p-1 id-1 - -",
                                }));
}

}  // namespace
