#include "scene/memory_scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "scene/morph_targets.h"
#include "support/scene_test_support.h"

using kw::MemoryMaterial;
using kw::MemoryMesh;
using kw::MemoryNode;
using kw::MemoryScene;
using kw::MemorySkin;

namespace {

using kw::test::ExpectMatrixNear;
using kw::test::ExpectPointNear;
using kw::test::RecordedErrors;

constexpr float kHalfSqrt2 = 0.70710678f;

Quat AboutZ(float degrees) {
  const float half = degrees * 3.14159265f / 360.0f;
  return Quat(0.0f, 0.0f, std::sin(half), std::cos(half));
}

std::vector<std::string> TopLevelNames(MemoryScene& scene) {
  std::vector<std::string> names;
  for (int i = 0; i < scene.GetTopLevelNodeCount(); ++i) {
    names.push_back(scene.GetTopLevelNode(i)->GetName());
  }
  return names;
}

std::vector<std::string> ChildNames(SceneNode& node) {
  std::vector<std::string> names;
  for (int i = 0; i < node.GetChildCount(); ++i) names.push_back(node.GetChild(i)->GetName());
  return names;
}

std::string ParentName(SceneNode& node) {
  SceneNode* parent = node.GetParent();
  return parent ? parent->GetName() : "(none)";
}

// A (sel)                 G
//   B                       H (sel)
//     C (sel)
//     D (sel)
//       E (sel)
//   F (sel)
class SelectionView : public ::testing::Test {
 protected:
  void SetUp() override {
    a = &scene.AddNode(1, "A");
    b = &scene.AddNode(2, "B", a);
    c = &scene.AddNode(3, "C", b);
    d = &scene.AddNode(4, "D", b);
    e = &scene.AddNode(5, "E", d);
    f = &scene.AddNode(6, "F", a);
    g = &scene.AddNode(7, "G");
    h = &scene.AddNode(8, "H", g);
    for (MemoryNode* node : {a, c, d, e, f, h}) node->SetSelected(true);
  }

  MemoryScene scene;
  MemoryNode *a, *b, *c, *d, *e, *f, *g, *h;
};

TEST_F(SelectionView, BeforeInitialiseTheWholeTreeIsShown) {
  EXPECT_EQ(TopLevelNames(scene), (std::vector<std::string>{"A", "G"}));
  EXPECT_EQ(ChildNames(*a), (std::vector<std::string>{"B", "F"}));
  EXPECT_EQ(ChildNames(*b), (std::vector<std::string>{"C", "D"}));
  EXPECT_EQ(ParentName(*c), "B");
}

TEST_F(SelectionView, SelectedOnlyLinksEachNodeToItsNearestSelectedAncestor) {
  ASSERT_TRUE(scene.Initialise(true));
  EXPECT_EQ(TopLevelNames(scene), (std::vector<std::string>{"A", "H"}));
  EXPECT_EQ(ChildNames(*a), (std::vector<std::string>{"C", "D", "F"}));
  EXPECT_EQ(ChildNames(*d), (std::vector<std::string>{"E"}));
  EXPECT_EQ(ParentName(*c), "A");
  EXPECT_EQ(ParentName(*e), "D");
  EXPECT_EQ(ParentName(*h), "(none)");
  EXPECT_EQ(ParentName(*a), "(none)");
  // Unselected nodes are outside the view altogether.
  EXPECT_EQ(b->GetChildCount(), 0);
  EXPECT_EQ(b->GetParent(), nullptr);
  EXPECT_TRUE(scene.InitialisedSelectedOnly());
}

TEST_F(SelectionView, WholeSceneInitialiseRestoresTheFullTree) {
  scene.Initialise(true);
  scene.Initialise(false);
  EXPECT_EQ(TopLevelNames(scene), (std::vector<std::string>{"A", "G"}));
  EXPECT_EQ(ChildNames(*b), (std::vector<std::string>{"C", "D"}));
  EXPECT_EQ(ParentName(*h), "G");
  EXPECT_FALSE(scene.InitialisedSelectedOnly());
}

TEST_F(SelectionView, TransformsFollowTheFullTreeInTheSelectionView) {
  b->SetLocalTransform(TransMatrix(Point3(0.0f, 5.0f, 0.0f)));
  c->SetLocalTransform(TransMatrix(Point3(1.0f, 0.0f, 0.0f)));
  scene.Initialise(true);
  ExpectPointNear(c->GetNodeTransform(0).GetTrans(), Point3(1.0f, 5.0f, 0.0f));
}

TEST_F(SelectionView, NoSelectionGivesAnEmptyView) {
  for (MemoryNode* node : {a, c, d, e, f, h}) node->SetSelected(false);
  scene.Initialise(true);
  EXPECT_EQ(scene.GetTopLevelNodeCount(), 0);
}

TEST(NodeTransform, PositionIsLinearBetweenKeysAndHeldOutsideThem) {
  MemoryScene scene;
  MemoryNode& node = scene.AddNode(1, "n");
  node.SetPositionKeys({{100, Point3(10.0f, 0.0f, -4.0f)}, {0, Point3(0.0f, 2.0f, 0.0f)}});
  ExpectPointNear(node.GetNodeTransform(-50).GetTrans(), Point3(0.0f, 2.0f, 0.0f));
  ExpectPointNear(node.GetNodeTransform(0).GetTrans(), Point3(0.0f, 2.0f, 0.0f));
  ExpectPointNear(node.GetNodeTransform(25).GetTrans(), Point3(2.5f, 1.5f, -1.0f));
  ExpectPointNear(node.GetNodeTransform(100).GetTrans(), Point3(10.0f, 0.0f, -4.0f));
  ExpectPointNear(node.GetNodeTransform(1000).GetTrans(), Point3(10.0f, 0.0f, -4.0f));
}

TEST(NodeTransform, TwoKeysAtOneTickMakeAJumpToTheLaterOne) {
  MemoryScene scene;
  MemoryNode& node = scene.AddNode(1, "n");
  node.SetPositionKeys({{0, Point3(0.0f, 0.0f, 0.0f)},
                        {100, Point3(10.0f, 0.0f, 0.0f)},
                        {100, Point3(50.0f, 0.0f, 0.0f)},
                        {200, Point3(60.0f, 0.0f, 0.0f)}});
  ExpectPointNear(node.GetNodeTransform(99).GetTrans(), Point3(9.9f, 0.0f, 0.0f));
  ExpectPointNear(node.GetNodeTransform(100).GetTrans(), Point3(50.0f, 0.0f, 0.0f));
  ExpectPointNear(node.GetNodeTransform(150).GetTrans(), Point3(55.0f, 0.0f, 0.0f));
}

TEST(NodeTransform, RotationIsSlerpedAlongTheShorterArc) {
  MemoryScene scene;
  MemoryNode& node = scene.AddNode(1, "n");
  node.SetRotationKeys({{0, AboutZ(0.0f)}, {160, AboutZ(90.0f)}});
  // Halfway: 45 degrees about z; the x axis turns towards y.
  const Matrix3 half = node.GetNodeTransform(80);
  ExpectPointNear(half.GetRow(0), Point3(kHalfSqrt2, kHalfSqrt2, 0.0f));
  ExpectPointNear(half.GetRow(1), Point3(-kHalfSqrt2, kHalfSqrt2, 0.0f));
  ExpectPointNear(half.GetRow(2), Point3(0.0f, 0.0f, 1.0f));

  // The negated quaternion is the same turn: the path must not swing the long way.
  Quat far = AboutZ(90.0f);
  far = Quat(-far.x, -far.y, -far.z, -far.w);
  node.SetRotationKeys({{0, AboutZ(0.0f)}, {160, far}});
  ExpectPointNear(node.GetNodeTransform(80).GetRow(0), Point3(kHalfSqrt2, kHalfSqrt2, 0.0f));
}

TEST(NodeTransform, RotationKeysAreNormalised) {
  MemoryScene scene;
  MemoryNode& node = scene.AddNode(1, "n");
  Quat doubled = AboutZ(90.0f);
  doubled = Quat(doubled.x * 2.0f, doubled.y * 2.0f, doubled.z * 2.0f, doubled.w * 2.0f);
  node.SetRotationKeys({{0, doubled}});
  ExpectPointNear(node.GetNodeTransform(0).GetRow(0), Point3(0.0f, 1.0f, 0.0f));
}

TEST(NodeTransform, LocalIsScaleThenRotationThenTranslation) {
  MemoryScene scene;
  MemoryNode& node = scene.AddNode(1, "n");
  node.SetScaleKeys({{0, Point3(2.0f, 3.0f, 4.0f)}});
  node.SetRotationKeys({{0, AboutZ(90.0f)}});
  node.SetPositionKeys({{0, Point3(7.0f, 8.0f, 9.0f)}});
  const Matrix3 expected(Point3(0.0f, 2.0f, 0.0f), Point3(-3.0f, 0.0f, 0.0f),
                         Point3(0.0f, 0.0f, 4.0f), Point3(7.0f, 8.0f, 9.0f));
  ExpectMatrixNear(node.GetLocalTransform(0), expected);
}

TEST(NodeTransform, ChannelsWithoutKeysKeepTheirRestValue) {
  MemoryScene scene;
  MemoryNode& node = scene.AddNode(1, "n");
  ExpectMatrixNear(node.GetNodeTransform(77), Matrix3());
  node.SetScaleKeys({{0, Point3(2.0f, 2.0f, 2.0f)}});
  ExpectMatrixNear(node.GetNodeTransform(77), ScaleMatrix(Point3(2.0f, 2.0f, 2.0f)));
}

TEST(NodeTransform, FixedMatrixReplacesKeysAndKeysReplaceTheMatrix) {
  MemoryScene scene;
  MemoryNode& node = scene.AddNode(1, "n");
  node.SetPositionKeys({{0, Point3(1.0f, 1.0f, 1.0f)}});
  const Matrix3 fixed(Point3(0.0f, 0.0f, 1.0f), Point3(0.0f, 1.0f, 0.0f), Point3(-1.0f, 0.0f, 0.0f),
                      Point3(4.0f, 5.0f, 6.0f));
  node.SetLocalTransform(fixed);
  ExpectMatrixNear(node.GetNodeTransform(500), fixed);
  node.SetPositionKeys({{0, Point3(1.0f, 1.0f, 1.0f)}});
  ExpectMatrixNear(node.GetNodeTransform(500), TransMatrix(Point3(1.0f, 1.0f, 1.0f)));
}

TEST(NodeTransform, WorldIsLocalTimesParentWorld) {
  MemoryScene scene;
  MemoryNode& root = scene.AddNode(1, "root");
  MemoryNode& parent = scene.AddNode(2, "parent", &root);
  MemoryNode& child = scene.AddNode(3, "child", &parent);
  root.SetScaleKeys({{0, Point3(2.0f, 2.0f, 2.0f)}});
  parent.SetRotationKeys({{0, AboutZ(60.0f)}, {100, AboutZ(120.0f)}});
  parent.SetPositionKeys({{0, Point3(1.0f, 2.0f, 3.0f)}});
  child.SetPositionKeys({{0, Point3(1.0f, 0.0f, 0.0f)}});

  // At tick 50 the parent has turned 90 degrees: the child's offset along x
  // points along y, then everything is scaled by the root.
  const Matrix3 world = child.GetNodeTransform(50);
  ExpectPointNear(world.GetTrans(), Point3(2.0f, 6.0f, 6.0f));
  ExpectPointNear(world.GetRow(0), Point3(0.0f, 2.0f, 0.0f));
  ExpectPointNear(world.GetRow(1), Point3(-2.0f, 0.0f, 0.0f));
  ExpectMatrixNear(world, child.GetLocalTransform(50) * parent.GetNodeTransform(50));
}

TEST(NodeTransform, ObjectTransformAppliesTheOffsetBeforeTheNode) {
  MemoryScene scene;
  MemoryNode& node = scene.AddNode(1, "mirrored");
  node.SetPositionKeys({{0, Point3(0.0f, 0.0f, 5.0f)}});
  node.SetRotationKeys({{0, AboutZ(90.0f)}});
  node.SetObjectOffset(ScaleMatrix(Point3(-1.0f, 1.0f, 1.0f)));

  const Matrix3 object = node.GetObjectTransform(0).ExtractMatrix3();
  ExpectPointNear(object.GetRow(0), Point3(0.0f, -1.0f, 0.0f));
  ExpectPointNear(object.GetRow(1), Point3(-1.0f, 0.0f, 0.0f));
  ExpectPointNear(object.GetTrans(), Point3(0.0f, 0.0f, 5.0f));
  // The node itself is not mirrored.
  ExpectPointNear(node.GetNodeTransform(0).GetRow(0), Point3(0.0f, 1.0f, 0.0f));
  EXPECT_EQ(node.GetHostNode(), static_cast<HostNode*>(&node));
}

TEST(OutOfRangeGetters, RaiseAnErrorAndAnswerEmpty) {
  MemoryScene scene;
  RecordedErrors errors(scene);
  MemoryNode& node = scene.AddNode(1, "Box");
  MemoryMesh& mesh = scene.MakeMesh(node);
  mesh.vertices = {Point3(1.0f, 2.0f, 3.0f)};
  mesh.texVertices = {Point2{0.5f, 0.5f}};
  mesh.faces.resize(1);
  mesh.faces[0].vertex[0] = 7;
  MemoryMaterial& material = scene.MakeMaterial("Multi", "Multi/Sub-Object");
  material.AddSubMaterial(3, nullptr);
  MemorySkin& skin = scene.MakeSkin();
  skin.AddLink(0, 42, 0.5f);

  EXPECT_EQ(scene.GetTopLevelNode(1), nullptr);
  EXPECT_EQ(scene.GetTopLevelNode(-1), nullptr);
  EXPECT_EQ(node.GetChild(0), nullptr);
  ExpectPointNear(mesh.GetVertex(1, false), Point3());
  EXPECT_EQ(mesh.GetTexVertex(-3).x, 0.0f);
  const MeshFace& face = mesh.GetFace(1);
  EXPECT_EQ(face.vertex[0], 0u);
  EXPECT_EQ(face.smoothingGroup, 0u);
  EXPECT_EQ(material.GetSubMaterial(1), nullptr);
  EXPECT_EQ(material.GetSubMaterialId(-1), -1);
  EXPECT_EQ(material.GetTextureMap(1), nullptr);
  EXPECT_EQ(skin.GetBoneNodeId(0, 1), -1);
  EXPECT_EQ(skin.GetWeight(5, 0), 0.0f);
  EXPECT_EQ(skin.GetBoneCount(-1), 0);

  const std::vector<std::string> expected = {
      "GetTopLevelNode(1): scene has 1 top-level nodes",
      "GetTopLevelNode(-1): scene has 1 top-level nodes",
      "GetChild(0): node \"Box\" has 0 children",
      "GetVertex(1): mesh has 1 vertices",
      "GetTexVertex(-3): mesh has 1 texture vertices",
      "GetFace(1): mesh has 1 faces",
      "GetSubMaterial(1): material \"Multi\" has 1 sub-materials",
      "GetSubMaterialId(-1): material \"Multi\" has 1 sub-materials",
      "GetTextureMap(1): material \"Multi\" has texture map slot 0 only",
      "GetBoneNodeId(0, 1): vertex 0 has 1 bone links",
      "GetWeight(5, 0): vertex 5 has 0 bone links",
      "GetBoneCount(-1): negative vertex index",
  };
  EXPECT_EQ(errors.texts, expected);
  EXPECT_EQ(errors.codes, std::vector<int>(expected.size(), 1));
}

TEST(InRangeGetters, AnswerWithoutRaising) {
  MemoryScene scene;
  RecordedErrors errors(scene);
  MemoryNode& node = scene.AddNode(1, "Box");
  MemoryMesh& mesh = scene.MakeMesh(node);
  mesh.vertices = {Point3(1.0f, 2.0f, 3.0f)};
  MemoryMaterial& multi = scene.MakeMaterial("Multi", "Multi/Sub-Object");
  MemoryMaterial& standard = scene.MakeMaterial("Skin", "Standard");
  standard.SetTextureMap(&scene.MakeTextureMap("D:\\maps\\skin_d.tga"));
  multi.AddSubMaterial(4, &standard);
  multi.AddSubMaterial(9, nullptr);
  MemorySkin& skin = scene.MakeSkin();
  skin.AddLink(2, 42, 0.25f);
  mesh.SetSkin(&skin);

  EXPECT_EQ(node.GetObject()->AsMesh(), &mesh);
  EXPECT_EQ(node.GetObject()->GetIGameSkin(), &skin);
  ExpectPointNear(mesh.GetVertex(0, false), Point3(1.0f, 2.0f, 3.0f));
  EXPECT_TRUE(multi.IsMultiMaterial());
  EXPECT_FALSE(standard.IsMultiMaterial());
  EXPECT_EQ(multi.GetSubMaterialCount(), 2);
  EXPECT_EQ(multi.GetSubMaterialId(1), 9);
  EXPECT_EQ(multi.GetSubMaterial(0), &standard);
  EXPECT_EQ(multi.GetSubMaterial(1), nullptr);
  EXPECT_EQ(multi.GetTextureMap(0), nullptr);
  EXPECT_STREQ(standard.GetTextureMap(0)->GetBitmapFileName(), "D:\\maps\\skin_d.tga");
  EXPECT_EQ(scene.MakeTextureMap("", false).GetBitmapFileName(), nullptr);
  // Vertices before and after the linked one simply have no links.
  EXPECT_EQ(skin.GetBoneCount(0), 0);
  EXPECT_EQ(skin.GetBoneCount(3), 0);
  EXPECT_EQ(skin.GetBoneCount(2), 1);
  EXPECT_EQ(skin.GetBoneNodeId(2, 0), 42);
  EXPECT_EQ(skin.GetWeight(2, 0), 0.25f);
  EXPECT_TRUE(errors.texts.empty());
}

// Targets answer in the mesh's numbering; a short or missing one raises.
TEST(MorphTargets, NamesSummariesAndOutOfRangeGetters) {
  MemoryScene scene;
  RecordedErrors errors(scene);
  MemoryNode& node = scene.AddNode(1, "Face");
  MemoryMesh& mesh = scene.MakeMesh(node);
  mesh.vertices = {Point3(0, 0, 0), Point3(1, 0, 0), Point3(0, 1, 0)};
  mesh.morphTargets.push_back({"smile", {Point3(0, 0, 0), Point3(1, 3, 4), Point3(0, 1, 1)}, {}});
  mesh.morphTargets.push_back({"", {Point3(0, 0, 0)}, {Point3(0, 0, 1)}});
  const SceneMesh& view = mesh;

  EXPECT_EQ(view.GetMorphTargetCount(), 2);
  EXPECT_EQ(kw::MorphTargetName(view, "Face", 0), "smile");
  EXPECT_EQ(kw::MorphTargetName(view, "Face", 1), "Face_1");
  EXPECT_FALSE(view.MorphTargetHasNormals(0));
  EXPECT_TRUE(view.MorphTargetHasNormals(1));
  const kw::MorphTargetSummary summary = kw::SummarizeMorphTarget(view, 0);
  EXPECT_EQ(summary.movedVertices, 2);
  EXPECT_DOUBLE_EQ(summary.largestDisplacement, 5.0);
  EXPECT_TRUE(errors.texts.empty());

  ExpectPointNear(view.GetMorphTargetVertex(1, 2), Point3());
  ExpectPointNear(view.GetMorphTargetNormal(1, 1), Point3());
  EXPECT_EQ(view.GetMorphTargetName(2), nullptr);
  EXPECT_EQ(errors.texts, (std::vector<std::string>{
                              "GetMorphTargetVertex(1, 2): morph target has 1 vertices",
                              "GetMorphTargetNormal(1, 1): morph target has 1 normals",
                              "GetMorphTargetName(2): mesh has 2 morph targets",
                          }));
}

TEST(MaterialClass, MultiFlagCanOverrideTheClassName) {
  MemoryScene scene;
  MemoryMaterial& odd = scene.MakeMaterial("Odd", "Shell Material");
  EXPECT_FALSE(odd.IsMultiMaterial());
  odd.SetMultiMaterial(true);
  EXPECT_TRUE(odd.IsMultiMaterial());
  EXPECT_STREQ(odd.GetClassName(), "Shell Material");
}

TEST(SceneBuilder, FindNodeAndObjectsOfAnyType) {
  MemoryScene scene;
  MemoryNode& camera = scene.AddNode(-5, "Camera01");
  scene.MakeObject(camera, 4);
  EXPECT_EQ(scene.FindNode(-5), &camera);
  EXPECT_EQ(scene.FindNode(6), nullptr);
  EXPECT_EQ(camera.GetObject()->GetObjectType(), 4);
  EXPECT_EQ(camera.GetObject()->AsMesh(), nullptr);
  MemoryNode& unreadable = scene.AddNode(6, "Unreadable");
  scene.MakeObject(unreadable, kObjectMesh);
  EXPECT_EQ(unreadable.GetObject()->GetObjectType(), 2);
  EXPECT_EQ(unreadable.GetObject()->AsMesh(), nullptr);
}

}  // namespace
