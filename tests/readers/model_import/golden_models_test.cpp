// Whole SMD files of two small models whose expected text was worked out by
// hand: a Y-up OBJ plate with two textured materials, and a glTF hinge with
// a two-bone skin and one animated joint.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "readers/model_import/base64.h"
#include "support/export_harness.h"
#include "readers/model_import/model_import.h"

using kw::ImportedModel;
using kw::ImportModel;
using kw::MemoryNode;
using kw::ModelImportOptions;
using kw::ModelPose;

namespace {

std::string DataPath(const std::string& name) {
  return std::string(KW_TEST_DATA_DIR) + "/readers/model_import/data/" + name;
}

std::string Golden(const std::string& name) {
  std::ifstream in(std::string(KW_TEST_DATA_DIR) + "/readers/model_import/golden/" + name,
                   std::ios::binary);
  EXPECT_TRUE(in) << name;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

ImportedModel Import(const std::string& path,
                     const ModelImportOptions& options = ModelImportOptions()) {
  ImportedModel model;
  std::string error;
  EXPECT_TRUE(ImportModel(path, options, &model, &error)) << error;
  return model;
}

// One triangle skinned to Base and Arm (Arm one unit along x from Base),
// its first corner half on each; "Swing" turns Arm a quarter turn about its
// z axis over one second. glTF is Y-up, the triangle lies in its xy plane.
// With a second skin, a copy "Hinge2" binds Arm two units along x instead.
std::string WriteHinge(bool secondSkin = false) {
  std::vector<std::uint8_t> buffer;
  auto floats = [&](std::initializer_list<float> values) {
    for (float v : values) {
      std::uint8_t bytes[4];
      std::memcpy(bytes, &v, 4);
      buffer.insert(buffer.end(), bytes, bytes + 4);
    }
  };
  auto shorts = [&](std::initializer_list<std::uint16_t> values) {
    for (std::uint16_t v : values) {
      buffer.push_back(static_cast<std::uint8_t>(v & 0xFF));
      buffer.push_back(static_cast<std::uint8_t>(v >> 8));
    }
  };
  floats({1, 0, 0, 2, 0, 0, 1, 1, 0});                        // positions, 0..36
  floats({0, 0, 1, 0, 0, 1, 0, 0, 1});                        // normals, 36..72
  shorts({0, 1, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0});               // joints, 72..96
  floats({0.5f, 0.5f, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0});         // weights, 96..144
  floats({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0,  0, 0, 1,    // inverse bind: Base
          1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -1, 0, 0, 1});  // and Arm, 144..272
  floats({0, 1});                                             // key times, 272..280
  floats({0, 0, 0, 1, 0, 0, 0.70710678f, 0.70710678f});       // rotations, 280..312
  if (secondSkin) {
    floats({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0,  0, 0, 1,    // inverse bind: Base
            1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -2, 0, 0, 1});  // and Arm, 312..440
  }

  const std::string json = R"({
  "asset": {"version": "2.0"},
  "scene": 0,
  "scenes": [{"nodes": [0]}],
  "nodes": [
    {"name": "Rig", "children": [1, 2]},
    {"name": "Hinge", "mesh": 0, "skin": 0},
    {"name": "Base", "children": [3]},
    {"name": "Arm", "translation": [1, 0, 0]}
  ],
  "meshes": [{"primitives": [{"attributes": {"POSITION": 0, "NORMAL": 1, "JOINTS_0": 2, "WEIGHTS_0": 3}}]}],
  "skins": [{"inverseBindMatrices": 4, "joints": [2, 3]}],
  "animations": [{"name": "Swing",
    "channels": [{"sampler": 0, "target": {"node": 3, "path": "rotation"}}],
    "samplers": [{"input": 5, "output": 6, "interpolation": "LINEAR"}]}],
  "accessors": [
    {"bufferView": 0, "componentType": 5126, "count": 3, "type": "VEC3", "min": [1, 0, 0], "max": [2, 1, 0]},
    {"bufferView": 1, "componentType": 5126, "count": 3, "type": "VEC3"},
    {"bufferView": 2, "componentType": 5123, "count": 3, "type": "VEC4"},
    {"bufferView": 3, "componentType": 5126, "count": 3, "type": "VEC4"},
    {"bufferView": 4, "componentType": 5126, "count": 2, "type": "MAT4"},
    {"bufferView": 5, "componentType": 5126, "count": 2, "type": "SCALAR", "min": [0], "max": [1]},
    {"bufferView": 6, "componentType": 5126, "count": 2, "type": "VEC4"}
  ],
  "bufferViews": [
    {"buffer": 0, "byteOffset": 0, "byteLength": 36},
    {"buffer": 0, "byteOffset": 36, "byteLength": 36},
    {"buffer": 0, "byteOffset": 72, "byteLength": 24},
    {"buffer": 0, "byteOffset": 96, "byteLength": 48},
    {"buffer": 0, "byteOffset": 144, "byteLength": 128},
    {"buffer": 0, "byteOffset": 272, "byteLength": 8},
    {"buffer": 0, "byteOffset": 280, "byteLength": 32}
  ],
  "buffers": [{"byteLength": 312, "uri": "data:application/octet-stream;base64,)" +
                           kw::test::Base64(buffer) + R"("}]
})";
  std::string text = json;
  if (secondSkin) {
    auto replace = [&text](const std::string& from, const std::string& to) {
      const std::size_t at = text.find(from);
      ASSERT_NE(at, std::string::npos) << from;
      text.replace(at, from.size(), to);
    };
    replace("[1, 2]}", "[1, 2, 4]}");
    replace("\"translation\": [1, 0, 0]}",
            "\"translation\": [1, 0, 0]},\n    {\"name\": \"Hinge2\", \"mesh\": 1, \"skin\": 1}");
    const std::string mesh =
        "{\"primitives\": [{\"attributes\": {\"POSITION\": 0, \"NORMAL\": 1, \"JOINTS_0\": 2, "
        "\"WEIGHTS_0\": 3}}]}";
    replace(mesh, mesh + ", " + mesh);
    replace("\"joints\": [2, 3]}",
            "\"joints\": [2, 3]}, {\"inverseBindMatrices\": 7, \"joints\": [2, 3]}");
    replace("\"count\": 2, \"type\": \"VEC4\"}",
            "\"count\": 2, \"type\": \"VEC4\"},\n    {\"bufferView\": 7, \"componentType\": 5126, "
            "\"count\": 2, \"type\": \"MAT4\"}");
    replace("\"byteOffset\": 280, \"byteLength\": 32}",
            "\"byteOffset\": 280, \"byteLength\": 32},\n    {\"buffer\": 0, \"byteOffset\": 312, "
            "\"byteLength\": 128}");
    replace("\"byteLength\": 312,", "\"byteLength\": 440,");
  }
  const std::string path = testing::TempDir() + (secondSkin ? "/hinge2.gltf" : "/hinge.gltf");
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

TEST(GoldenModels, ObjPlateStandsUprightWithATextureNamePerMaterial) {
  ImportedModel model = Import(DataPath("plate.obj"));
  const kw::test::ExportResult result = kw::test::RunExport(*model.scene);
  EXPECT_EQ(result.smd, Golden("plate.smd"));
  EXPECT_TRUE(result.warnings.empty());
  EXPECT_TRUE(model.warnings.empty());
}

TEST(GoldenModels, GltfHingeReferenceHasMeshAndSkeletonInTheSamePose) {
  ImportedModel model = Import(WriteHinge());
  ASSERT_EQ(model.animations.size(), 1u);
  EXPECT_EQ(model.animations[0].name, "Swing");
  const kw::test::ExportResult result = kw::test::RunExport(*model.scene);
  EXPECT_EQ(result.smd, Golden("hinge_reference.smd"));
  // No UVs: the importer's one warning instead of the exporter's one per face.
  EXPECT_TRUE(result.warnings.empty());
  ASSERT_EQ(model.warnings.size(), 1u);
}

TEST(GoldenModels, GltfHingeSequenceSamplesTheSwing) {
  ImportedModel model = Import(WriteHinge());
  EXPECT_EQ(model.scene->GetEndTicks(), 4800);
  EXPECT_EQ(kw::test::RunExport(*model.scene, kw::test::Sequence(15, 15)).smd,
            Golden("hinge_frame15.smd"));
  EXPECT_EQ(kw::test::RunExport(*model.scene, kw::test::Sequence(30, 30)).smd,
            Golden("hinge_frame30.smd"));
  // Past the last key the last key holds.
  EXPECT_EQ(kw::test::RunExport(*model.scene, kw::test::Sequence(45, 45)).smd,
            Golden("hinge_frame30.smd"));
  // At 60 frames a second the quarter turn comes at frame 60.
  ModelImportOptions options;
  options.fps = 60.0;
  model = Import(WriteHinge(), options);
  EXPECT_EQ(kw::test::RunExport(*model.scene, kw::test::Sequence(60, 60)).smd,
            Golden("hinge_frame30.smd"));
}

TEST(GoldenModels, RestPoseReferenceIgnoresTheAnimation) {
  ModelImportOptions options;
  options.pose = ModelPose::kRest;
  ImportedModel model = Import(WriteHinge(), options);
  EXPECT_EQ(model.sampledAnimation, -1);
  EXPECT_EQ(kw::test::RunExport(*model.scene, kw::test::Sequence(30, 30)).smd,
            kw::test::ThroughSkeleton(Golden("hinge_reference.smd")));
}

// Two meshes bind Arm one and two units from Base: the reference takes the
// first mesh's bind and says so, naming the bone.
TEST(GoldenModels, ABoneTwoMeshesBindDifferentlyTakesTheFirstBindWithAWarning) {
  ModelImportOptions options;
  options.pose = ModelPose::kBind;
  ImportedModel model = Import(WriteHinge(true), options);
  ASSERT_EQ(model.warnings.size(), 2u);  // and the one for texture coordinates
  EXPECT_EQ(model.warnings[0].kind, kw::WarningKind::kBindConflict);
  EXPECT_EQ(
      model.warnings[0].text,
      "bone \"Arm\" is bound differently by meshes \"Hinge\" and \"Hinge2\"; the reference takes "
      "the bind of \"Hinge\"");
  MemoryNode* arm = nullptr;
  for (int id = 0; MemoryNode* node = model.scene->FindNode(id); ++id) {
    if (std::string(node->GetName()) == "Arm") arm = node;
  }
  ASSERT_NE(arm, nullptr);
  EXPECT_FLOAT_EQ(arm->GetNodeTransform(0).GetRow(3).x, 1.0f);

  options.pose = ModelPose::kRest;  // nothing is bound there
  EXPECT_EQ(Import(WriteHinge(true), options).warnings.size(), 1u);
}

}  // namespace
