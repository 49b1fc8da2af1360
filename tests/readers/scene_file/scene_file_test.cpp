#include "readers/scene_file/scene_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/scene_test_support.h"

using kw::LoadSceneFile;
using kw::MemoryNode;
using kw::MemoryScene;
using kw::ParseSceneText;

namespace {

using kw::test::ExpectPointNear;

const std::string kDataDir = std::string(KW_TEST_DATA_DIR) + "/readers/scene_file/data/";
const std::string kTime = R"("version": 1, "time": {"start": 0, "end": 10, "ticksPerFrame": 1})";

// The error for a refused text; fails the test if the text loads.
std::string Refusal(const std::string& text) {
  std::string error = "not set";
  const std::unique_ptr<MemoryScene> scene = ParseSceneText(text, "bad.json", &error);
  EXPECT_EQ(scene, nullptr) << text;
  return error;
}

std::string WithNodes(const std::string& nodes) {
  return "{" + kTime + R"(, "nodes": )" + nodes + "}";
}

std::string WithMesh(const std::string& mesh) {
  return WithNodes(R"([{"id": 1, "name": "m", "type": 2, "mesh": )" + mesh + "}]");
}

MemoryNode* Node(MemoryScene& scene, int id) {
  MemoryNode* node = scene.FindNode(id);
  EXPECT_NE(node, nullptr) << id;
  return node;
}

class EveryFeature : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    scene = LoadSceneFile(kDataDir + "every_feature.json", &error);
    ASSERT_NE(scene, nullptr) << error;
    EXPECT_EQ(error, "");
  }
  std::unique_ptr<MemoryScene> scene;
};

TEST_F(EveryFeature, TimingAndTreeFollowTheFile) {
  EXPECT_EQ(scene->GetStartTicks(), -160);
  EXPECT_EQ(scene->GetEndTicks(), 320);
  EXPECT_EQ(scene->GetTicksPerFrame(), 80);
  ASSERT_EQ(scene->GetTopLevelNodeCount(), 2);
  SceneNode* root = scene->GetTopLevelNode(0);
  EXPECT_STREQ(root->GetName(), "Root");
  EXPECT_STREQ(scene->GetTopLevelNode(1)->GetName(), "Camera");
  // Children in file order, even the one listed before its parent.
  ASSERT_EQ(root->GetChildCount(), 4);
  EXPECT_EQ(root->GetChild(0)->GetNodeId(), 30);
  EXPECT_EQ(root->GetChild(1)->GetNodeId(), 41);
  EXPECT_EQ(root->GetChild(2)->GetNodeId(), 42);
  EXPECT_EQ(root->GetChild(3)->GetNodeId(), 51);
  EXPECT_EQ(Node(*scene, 50)->GetParent(), Node(*scene, 30));
}

TEST_F(EveryFeature, FlagsAndObjectTypes) {
  EXPECT_TRUE(Node(*scene, 10)->IsExcluded());
  EXPECT_FALSE(Node(*scene, 10)->IsPruned());
  EXPECT_TRUE(Node(*scene, 40)->IsPruned());
  EXPECT_TRUE(Node(*scene, 30)->IsSelected());
  EXPECT_FALSE(Node(*scene, 41)->IsSelected());
  EXPECT_EQ(Node(*scene, 10)->GetObject()->GetObjectType(), 5);
  EXPECT_EQ(Node(*scene, 30)->GetObject()->GetObjectType(), 6);
  EXPECT_EQ(Node(*scene, 40)->GetObject()->GetObjectType(), 4);
  EXPECT_EQ(Node(*scene, 41)->GetObject()->GetObjectType(), 7);
  EXPECT_EQ(Node(*scene, 42)->GetObject()->GetObjectType(), 2);
  EXPECT_EQ(Node(*scene, 42)->GetObject()->AsMesh(), nullptr);
  EXPECT_EQ(Node(*scene, 42)->GetMaterial(), nullptr);
}

TEST_F(EveryFeature, SelectedOnlyShowsTheSelectedNode) {
  scene->Initialise(true);
  ASSERT_EQ(scene->GetTopLevelNodeCount(), 1);
  SceneNode* child = scene->GetTopLevelNode(0);
  EXPECT_EQ(child->GetNodeId(), 30);
  EXPECT_EQ(child->GetParent(), nullptr);
  EXPECT_EQ(child->GetChildCount(), 0);
}

TEST_F(EveryFeature, KeysAreSortedAndMixQuaternionsWithEulerDegrees) {
  MemoryNode* child = Node(*scene, 30);
  // Tick 0: 90 degrees about z, at (0, 2, 0) below the root at (10, 0, 0).
  const Matrix3 start = child->GetNodeTransform(0);
  ExpectPointNear(start.GetRow(0), Point3(0, 1, 0));
  ExpectPointNear(start.GetTrans(), Point3(10, 2, 0));
  // Tick 80: halfway to the (normalised) identity quaternion.
  const Matrix3 half = child->GetNodeTransform(80);
  ExpectPointNear(half.GetRow(0), Point3(0.70710678f, 0.70710678f, 0));
  ExpectPointNear(half.GetTrans(), Point3(10, 3, 0));
  ExpectPointNear(child->GetNodeTransform(9999).GetRow(0), Point3(1, 0, 0));
  ExpectPointNear(Node(*scene, 41)->GetNodeTransform(0).GetRow(2), Point3(0, 0, 2));
}

TEST_F(EveryFeature, ObjectOffsetMirrorsTheObjectOnly) {
  MemoryNode* root = Node(*scene, 10);
  const Matrix3 object = root->GetObjectTransform(0).ExtractMatrix3();
  ExpectPointNear(object.GetRow(0), Point3(-1, 0, 0));
  ExpectPointNear(object.GetTrans(), Point3(10, 0, 0));
  ExpectPointNear(root->GetNodeTransform(0).GetRow(0), Point3(1, 0, 0));
}

TEST_F(EveryFeature, MaterialsSlotsAndMaps) {
  SceneMaterial* multi = Node(*scene, 50)->GetMaterial();
  ASSERT_NE(multi, nullptr);
  EXPECT_STREQ(multi->GetName(), "Outfit");
  EXPECT_STREQ(multi->GetClassName(), "Multi/Sub-Object");
  EXPECT_TRUE(multi->IsMultiMaterial());
  ASSERT_EQ(multi->GetSubMaterialCount(), 3);
  EXPECT_EQ(multi->GetSubMaterialId(0), 5);
  EXPECT_EQ(multi->GetSubMaterialId(1), 2);
  EXPECT_EQ(multi->GetSubMaterial(1), nullptr);
  SceneMaterial* cloth = multi->GetSubMaterial(0);
  ASSERT_NE(cloth, nullptr);
  EXPECT_STREQ(cloth->GetName(), "cloth");
  EXPECT_STREQ(cloth->GetTextureMap(0)->GetBitmapFileName(), "D:\\maps\\cloth_d.tga");
  SceneMaterial* blank = multi->GetSubMaterial(2);
  ASSERT_NE(blank->GetTextureMap(0), nullptr);
  EXPECT_EQ(blank->GetTextureMap(0)->GetBitmapFileName(), nullptr);
  EXPECT_EQ(multi->GetTextureMap(0), nullptr);
  SceneMaterial* odd = Node(*scene, 40)->GetMaterial();
  EXPECT_STREQ(odd->GetClassName(), "Shell Material");
  EXPECT_TRUE(odd->IsMultiMaterial());
}

TEST_F(EveryFeature, BadMeshDataIsCarriedForTheExporterToReport) {
  SceneMesh* mesh = Node(*scene, 50)->GetObject()->AsMesh();
  ASSERT_NE(mesh, nullptr);
  EXPECT_FALSE(mesh->InitialiseData());
  EXPECT_EQ(mesh->GetVertexCount(), 3);
  EXPECT_EQ(mesh->GetTexVertexCount(), 0);
  ASSERT_EQ(mesh->GetFaceCount(), 2);
  EXPECT_EQ(mesh->GetFace(0).smoothingGroup, 4294967295u);
  EXPECT_EQ(mesh->GetFace(0).materialId, 3);
  EXPECT_EQ(mesh->GetFace(1).vertex[2], 3u);
  EXPECT_EQ(mesh->GetFace(1).texVertex[0], 4000000000u);
  EXPECT_EQ(mesh->GetFace(1).smoothingGroup, 0u);
  EXPECT_EQ(mesh->GetFace(1).materialId, -7);

  const HostMesh& host = mesh->GetHostMesh();
  ExpectPointNear(host.faceNormals[0], Point3(0, 0, 5));
  EXPECT_EQ(host.renderVertices[0].flags, 0u);
  EXPECT_EQ(host.renderVertices[1].flags, 1u);
  ExpectPointNear(host.renderVertices[1].singleNormal.normal, Point3(0, 0, 1.2f));
  ASSERT_EQ(host.renderVertices[2].flags, 3u);
  ASSERT_EQ(host.renderVertices[2].extraNormals.size(), 3u);
  EXPECT_EQ(host.renderVertices[2].extraNormals[1].smoothingGroup, 6u);

  IGameSkin* skin = Node(*scene, 50)->GetObject()->GetIGameSkin();
  ASSERT_NE(skin, nullptr);
  EXPECT_EQ(skin->GetBoneCount(0), 2);
  EXPECT_EQ(skin->GetBoneNodeId(0, 1), 999);
  EXPECT_EQ(skin->GetWeight(0, 0), 0.25f);
  EXPECT_EQ(skin->GetBoneCount(1), 0);
  EXPECT_EQ(skin->GetWeight(2, 0), -1.5f);
  EXPECT_EQ(Node(*scene, 51)->GetObject()->GetIGameSkin(), nullptr);
}

TEST_F(EveryFeature, LeftOutNormalsAreComputed) {
  SceneMesh* mesh = Node(*scene, 51)->GetObject()->AsMesh();
  ASSERT_NE(mesh, nullptr);
  EXPECT_TRUE(mesh->InitialiseData());
  const HostMesh& host = mesh->GetHostMesh();
  ExpectPointNear(host.faceNormals[0], Point3(0, 0, 1));
  ExpectPointNear(host.faceNormals[1], Point3(0, 1, 0));
  ASSERT_EQ(host.renderVertices[0].flags, 2u);
  EXPECT_EQ(host.renderVertices[0].extraNormals[0].smoothingGroup, 1u);
  ExpectPointNear(host.renderVertices[0].extraNormals[1].normal, Point3(0, 1, 0));
  EXPECT_EQ(host.renderVertices[3].flags, 1u);
  EXPECT_EQ(host.renderVertices[3].singleNormal.smoothingGroup, 2u);
}

TEST(RefusedSyntax, NamesFileLineAndColumn) {
  EXPECT_EQ(Refusal("{\n  \"version\": 1,\n  \"time\": {\"start\": 0 \"end\": 10}\n}"),
            "bad.json:3:27: malformed JSON: syntax error while parsing object - unexpected string "
            "literal; expected '}'");
  EXPECT_EQ(Refusal(""),
            "bad.json:1:1: malformed JSON: syntax error while parsing value - unexpected end of "
            "input; expected '[', '{', or a literal");
  const std::string overflow = Refusal("{" + kTime + R"(, "nodes": [1e400]})");
  EXPECT_EQ(overflow.rfind("bad.json:1:", 0), 0u) << overflow;
  EXPECT_NE(overflow.find("malformed JSON: number overflow parsing '1e400'"), std::string::npos)
      << overflow;
}

TEST(RefusedSyntax, AbsurdNestingStopsEarlyWithoutRecursion) {
  const std::string deep = std::string(100000, '[') + std::string(100000, ']');
  EXPECT_EQ(Refusal(deep), "bad.json:1:65: malformed scene: nested deeper than 64 levels");
  std::string objects;
  for (int i = 0; i < 100000; ++i) objects += "{\"a\":";
  EXPECT_EQ(Refusal(objects), "bad.json:1:321: malformed scene: nested deeper than 64 levels");
}

TEST(RefusedSyntax, MemberGivenTwice) {
  EXPECT_EQ(Refusal(R"({"version": 1, "version": 1})"),
            R"(bad.json: at /: expected each member once, found "version" a second time)");
  EXPECT_EQ(Refusal(WithNodes(R"([{"id": 1, "name": "a", "type": 5, "id": 2}])")),
            R"(bad.json: at /nodes/0: expected each member once, found "id" a second time)");
}

TEST(RefusedStructure, WrongTypesAndMissingMembers) {
  EXPECT_EQ(Refusal("[]"), "bad.json: at /: expected an object, found an array of 0 elements");
  EXPECT_EQ(Refusal(R"({"version": "1", "time": {}})"),
            R"(bad.json: at /version: expected 1, found the string "1")");
  EXPECT_EQ(Refusal(R"({"version": 2, "time": {}})"), "bad.json: at /version: expected 1, found 2");
  EXPECT_EQ(Refusal(R"({"version": 1})"),
            R"(bad.json: at /: expected a member "time", found none)");
  EXPECT_EQ(Refusal(R"({"version": 1, "time": {"start": 0, "end": 1}})"),
            R"(bad.json: at /time: expected a member "ticksPerFrame", found none)");
  EXPECT_EQ(
      Refusal(R"({"version": 1, "time": {"start": 0.5, "end": 1, "ticksPerFrame": 1}})"),
      "bad.json: at /time/start: expected an integer from -2147483648 to 2147483647, found 0.5");
  EXPECT_EQ(
      Refusal(R"({"version": 1, "time": {"start": 1.0, "end": 1, "ticksPerFrame": 1}})"),
      "bad.json: at /time/start: expected an integer from -2147483648 to 2147483647, found 1.0");
  EXPECT_EQ(Refusal(WithNodes(R"([{"id": 1, "type": 5}])")),
            R"(bad.json: at /nodes/0: expected a member "name", found none)");
  EXPECT_EQ(Refusal(WithNodes(R"({"id": 1})")),
            "bad.json: at /nodes: expected an array, found an object");
  // A name is handed over as a C string: a NUL would cut it without a word.
  EXPECT_EQ(
      Refusal(WithNodes(R"([{"id": 1, "name": "Gun\u0000Barrel", "type": 6}])")),
      R"(bad.json: at /nodes/0/name: expected a string without \u0000, found the string "Gun\u0000Barrel")");
}

TEST(RefusedStructure, TicksPerFrameBelowOne) {
  EXPECT_EQ(Refusal(R"({"version": 1, "time": {"start": 0, "end": 1, "ticksPerFrame": 0}})"),
            "bad.json: at /time/ticksPerFrame: expected an integer from 1 to 2147483647, found 0");
  EXPECT_EQ(
      Refusal(R"({"version": 1, "time": {"start": 0, "end": 1, "ticksPerFrame": -160}})"),
      "bad.json: at /time/ticksPerFrame: expected an integer from 1 to 2147483647, found -160");
}

TEST(RefusedStructure, UnknownMembersCatchTypos) {
  EXPECT_EQ(
      Refusal(WithMesh(
          R"({"faces": [{"vertex": [0, 1, 2], "texVertex": [0, 0, 0], "smoothinGroup": 1}]})")),
      "bad.json: at /nodes/0/mesh/faces/0/smoothinGroup: expected one of the members vertex, "
      "texVertex, smoothingGroup, materialId, found an unknown member \"smoothinGroup\"");
  const std::string top = Refusal("{" + kTime + R"(, "node": []})");
  EXPECT_EQ(top.rfind("bad.json: at /node: expected one of the members $schema, version", 0), 0u)
      << top;
}

TEST(RefusedStructure, NumbersOutOfRange) {
  EXPECT_EQ(Refusal(WithMesh(R"({"vertices": [[0, 1e39, 0]]})")),
            "bad.json: at /nodes/0/mesh/vertices/0/1: expected a finite number within single "
            "precision, found 1e+39");
  EXPECT_EQ(Refusal(WithMesh(R"({"faces": [{"vertex": [0, -1, 2], "texVertex": [0, 0, 0]}]})")),
            "bad.json: at /nodes/0/mesh/faces/0/vertex/1: expected an integer from 0 to "
            "4294967295, found -1");
  EXPECT_EQ(Refusal(WithMesh(R"({"faces": [{"vertex": [0, 1], "texVertex": [0, 0, 0]}]})")),
            "bad.json: at /nodes/0/mesh/faces/0/vertex: expected an array of 3 indices, found an "
            "array of 2 elements");
  EXPECT_EQ(Refusal(WithNodes(R"([{"id": 2147483648, "name": "a", "type": 5}])")),
            "bad.json: at /nodes/0/id: expected an integer from -2147483648 to 2147483647, found "
            "2147483648");
}

TEST(RefusedStructure, NodeIdsParentsAndCycles) {
  EXPECT_EQ(Refusal(WithNodes(
                R"([{"id": 1, "name": "a", "type": 5}, {"id": 1, "name": "b", "type": 5}])")),
            "bad.json: at /nodes/1/id: expected an id no other node has, found id 1, already used "
            "by /nodes/0");
  EXPECT_EQ(Refusal(WithNodes(R"([{"id": 1, "name": "a", "type": 5, "parent": 7}])")),
            "bad.json: at /nodes/0/parent: expected the id of a node in /nodes or null, found the "
            "unknown id 7");
  EXPECT_EQ(Refusal(WithNodes(R"([{"id": 1, "name": "r", "type": 5},
                                  {"id": 2, "name": "a", "type": 5, "parent": 3},
                                  {"id": 3, "name": "b", "type": 5, "parent": 2}])")),
            "bad.json: at /nodes/1/parent: expected a parent that is not among the node's own "
            "descendants, found id 3, which closes a cycle of parents");
  EXPECT_EQ(Refusal(WithNodes(R"([{"id": 1, "name": "self", "type": 5, "parent": 1}])")),
            "bad.json: at /nodes/0/parent: expected a parent that is not among the node's own "
            "descendants, found id 1, which closes a cycle of parents");
}

TEST(RefusedStructure, TreeDeeperThanTheExporterCanWalk) {
  std::string nodes = "[";
  for (int i = 0; i < 1001; ++i) {
    if (i > 0) nodes += ",";
    nodes += R"({"id": )" + std::to_string(i) + R"(, "name": "n", "type": 5)";
    if (i > 0) nodes += R"(, "parent": )" + std::to_string(i - 1);
    nodes += "}";
  }
  EXPECT_EQ(Refusal(WithNodes(nodes + "]")),
            "bad.json: at /nodes/1000/parent: expected a node tree at most 1000 levels deep, found "
            "a node at level 1001");
  // One level less loads.
  const std::string fits = nodes.substr(0, nodes.rfind(",{")) + "]";
  std::string error;
  EXPECT_NE(ParseSceneText(WithNodes(fits), "ok.json", &error), nullptr) << error;
}

TEST(RefusedStructure, UndefinedOrRepeatedMaterials) {
  EXPECT_EQ(Refusal(WithNodes(R"([{"id": 1, "name": "a", "type": 2, "material": "nope"}])")),
            "bad.json: at /nodes/0/material: expected the key of a material in /materials or null, "
            "found the undefined key \"nope\"");
  EXPECT_EQ(Refusal("{" + kTime +
                    R"(, "materials": [{"key": "m", "class": "Multi/Sub-Object",
                         "subMaterials": [{"id": 0, "material": "gone"}]}]})"),
            "bad.json: at /materials/0/subMaterials/0/material: expected the key of a material in "
            "/materials or null, found the undefined key \"gone\"");
  EXPECT_EQ(
      Refusal(
          "{" + kTime +
          R"(, "materials": [{"key": "m", "class": "Standard"}, {"key": "m", "class": "Standard"}]})"),
      "bad.json: at /materials/1/key: expected a key no other material has, found the "
      "repeated key \"m\"");
}

TEST(RefusedStructure, InconsistentTransformsAndMeshes) {
  EXPECT_EQ(
      Refusal(WithNodes(R"([{"id": 1, "name": "a", "type": 6, "transform":
      {"matrix": [[1, 0, 0], [0, 1, 0], [0, 0, 1], [0, 0, 0]], "position": []}}])")),
      "bad.json: at /nodes/0/transform: expected either \"matrix\" or animation keys, found both");
  EXPECT_EQ(Refusal(WithNodes(R"([{"id": 1, "name": "a", "type": 6, "transform":
      {"rotation": [{"tick": 0}]}}])")),
            "bad.json: at /nodes/0/transform/rotation/0: expected exactly one of the members "
            "\"quat\" and \"euler\", found neither");
  EXPECT_EQ(Refusal(WithNodes(R"([{"id": 1, "name": "a", "type": 6, "transform":
      {"rotation": [{"tick": 0, "quat": [0, 0, 0, 0]}]}}])")),
            "bad.json: at /nodes/0/transform/rotation/0/quat: expected a quaternion of non-zero "
            "length, found (0, 0, 0, 0)");
  EXPECT_EQ(Refusal(WithNodes(R"([{"id": 1, "name": "a", "type": 5, "mesh": {}}])")),
            "bad.json: at /nodes/0/type: expected type 2 for a node with a mesh, found 5");
  EXPECT_EQ(
      Refusal(WithMesh(R"({"vertices": [[0, 0, 0], [1, 0, 0]], "renderVertices": [[]]})")),
      "bad.json: at /nodes/0/mesh/renderVertices: expected 2 elements (one per vertex), found "
      "1 elements");
  EXPECT_EQ(Refusal(WithMesh(R"({"faceNormals": [[0, 0, 1]]})")),
            "bad.json: at /nodes/0/mesh/faceNormals: expected 0 elements (one per face), found 1 "
            "elements");
}

TEST(RefusedFile, UnreadablePathNamesTheReason) {
  std::string error;
  EXPECT_EQ(LoadSceneFile(kDataDir + "no_such_scene.json", &error), nullptr);
  EXPECT_EQ(error,
            kDataDir + "no_such_scene.json: cannot read the file: No such file or directory");
  EXPECT_EQ(LoadSceneFile(kDataDir, &error), nullptr);
  EXPECT_EQ(error.rfind(kDataDir + ": cannot read the file", 0), 0u) << error;
}

std::vector<std::filesystem::path> BundledScenes() {
  std::vector<std::filesystem::path> files;
  for (const char* dir : {"/samples", "/tests/readers/scene_file/data"}) {
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(KW_SOURCE_DIR) + dir)) {
      if (entry.path().extension() == ".json") files.push_back(entry.path());
    }
  }
  return files;
}

TEST(BundledScenes, EveryOneLoads) {
  const auto files = BundledScenes();
  EXPECT_GE(files.size(), 2u);
  for (const auto& file : files) {
    std::string error;
    EXPECT_NE(LoadSceneFile(file.string(), &error), nullptr) << error;
  }
}

TEST(BundledScenes, SampleFigureIsAnAnimatedSkinnedFigure) {
  std::string error;
  auto scene = LoadSceneFile(std::string(KW_SOURCE_DIR) + "/samples/figure.json", &error);
  ASSERT_NE(scene, nullptr) << error;
  EXPECT_EQ(scene->GetEndTicks() - scene->GetStartTicks(), 30 * scene->GetTicksPerFrame());
  MemoryNode* body = nullptr;
  int bones = 0;
  for (int id = 0; id < 100; ++id) {
    MemoryNode* node = scene->FindNode(id);
    if (!node) continue;
    if (node->GetObject()->GetObjectType() == kObjectBone) {
      ++bones;
      // Every bone is under the root helper and moves during the animation.
      SceneNode* top = node;
      while (top->GetParent()) top = top->GetParent();
      EXPECT_EQ(top->GetObject()->GetObjectType(), kObjectHelper);
      const Matrix3 a = node->GetNodeTransform(0);
      const Matrix3 b = node->GetNodeTransform(2400);
      EXPECT_GT(Length(a.GetRow(0) - b.GetRow(0)) + Length(a.GetTrans() - b.GetTrans()), 1e-3f)
          << node->GetName();
    }
    if (node->GetObject()->AsMesh()) body = node;
  }
  EXPECT_GE(bones, 3);
  ASSERT_NE(body, nullptr);
  SceneMesh* mesh = body->GetObject()->AsMesh();
  EXPECT_GE(mesh->GetFaceCount(), 24);
  EXPECT_TRUE(body->GetMaterial()->IsMultiMaterial());
  EXPECT_EQ(body->GetMaterial()->GetSubMaterialCount(), 2);
  bool seam = false;
  bool twoBones = false;
  for (const RenderVertex& vertex : mesh->GetHostMesh().renderVertices)
    seam = seam || vertex.NormalCount() > 1;
  for (int v = 0; v < mesh->GetVertexCount(); ++v)
    twoBones = twoBones || body->GetObject()->GetIGameSkin()->GetBoneCount(v) == 2;
  EXPECT_TRUE(seam);
  EXPECT_TRUE(twoBones);
}

TEST(BundledScenes, TheFormatDescriptionsExampleLoads) {
  std::ifstream file(std::string(KW_SOURCE_DIR) + "/docs/scene-format.md");
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const std::size_t start = text.find("```json\n");
  ASSERT_NE(start, std::string::npos);
  const std::size_t end = text.find("```", start + 8);
  std::string error;
  auto scene = ParseSceneText(text.substr(start + 8, end - start - 8), "scene-format.md", &error);
  ASSERT_NE(scene, nullptr) << error;
  EXPECT_EQ(scene->GetTopLevelNodeCount(), 1);
  EXPECT_EQ(scene->FindNode(3)->GetObject()->AsMesh()->GetFaceCount(), 1);
}

// The schema is checked with Debian's python3-jsonschema; without it the test
// says so and skips.
TEST(BundledScenes, ValidateAgainstTheSchema) {
  if (std::system("/usr/bin/python3 -c 'import jsonschema' >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "python3-jsonschema is not installed";
  }
  const std::string script =
      std::string(KW_SOURCE_DIR) + "/tests/readers/scene_file/validate_schema.py";
  std::string command =
      "/usr/bin/python3 " + script + " " + KW_SOURCE_DIR + "/docs/scene.schema.json";
  for (const auto& file : BundledScenes()) command += " " + file.string();
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

}  // namespace
