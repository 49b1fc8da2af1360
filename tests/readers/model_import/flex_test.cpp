// Morph targets of model files, exported as the vertex animation file: each
// shape applied to the reference against assimp's own targets fully applied,
// and the shapes of a glTF written here matched across meshes by name.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "readers/model_import/base64.h"
#include "readers/model_import/model_import.h"
#include "readers/model_import/source_reference.h"
#include "support/flex_harness.h"

using kw::ImportedModel;
using kw::ImportModel;
using kw::ModelImportOptions;
using kw::ModelPose;
using kw::test::FlexRun;
using kw::test::VtaLine;

namespace {

ImportedModel ImportBound(const std::string& path) {
  ModelImportOptions options;
  options.pose = ModelPose::kBind;  // the command line's reference
  ImportedModel model;
  std::string error;
  EXPECT_TRUE(ImportModel(path, options, &model, &error)) << error;
  return model;
}

// Every corner of the reference at time 0 and in each shape: time 0 with
// the shape's lines over it.
std::vector<std::vector<VtaLine>> ShapesApplied(const std::vector<std::vector<VtaLine>>& frames) {
  std::vector<std::vector<VtaLine>> shapes;
  for (std::size_t k = 1; k < frames.size(); ++k) {
    std::vector<VtaLine> shaped = frames[0];
    for (const VtaLine& line : frames[k]) {
      EXPECT_LT(line.number, shaped.size());
      if (line.number < shaped.size()) shaped[line.number] = line;
    }
    shapes.push_back(shaped);
  }
  return shapes;
}

// The time 0 lines are the reference's own text, corner by corner.
void ExpectTimeZeroIsTheReference(const FlexRun& run) {
  const std::vector<std::string> reference = kw::test::ReferenceCornerFields(run.reference.smd);
  const std::vector<std::vector<VtaLine>> frames = kw::test::VtaFrames(run.vta);
  ASSERT_FALSE(frames.empty());
  ASSERT_EQ(frames[0].size(), reference.size());
  for (std::size_t n = 0; n < reference.size(); ++n) {
    EXPECT_EQ(frames[0][n].number, n);
    EXPECT_EQ(frames[0][n].fields, reference[n]);
  }
}

TEST(ModelFlexes, AnimatedMorphCubesShapesAreAssimpsTargetsFullyApplied) {
  const std::string path = kw::test::kModelDir +
                           "glTF2/glTF-Sample-Models/AnimatedMorphCube-glTF/AnimatedMorphCube.gltf";
  Assimp::Importer importer;
  const aiScene* source = kw::test::ReadSource(importer, path);
  ASSERT_TRUE(source);
  const aiNode& node = *source->mRootNode->FindNode("AnimatedMorphCube");
  const aiMesh& mesh = *source->mMeshes[node.mMeshes[0]];
  ASSERT_EQ(mesh.mNumAnimMeshes, 2u);
  const std::vector<aiMatrix4x4> world = kw::test::BindPose(*source, kw::test::Upright('y'));
  const aiMatrix4x4& own =
      world[static_cast<std::size_t>(kw::test::IndexOf(kw::test::PreOrder(*source), &node))];
  const aiMatrix3x3 normalTurn = aiMatrix3x3(own).Inverse().Transpose();

  ImportedModel model = ImportBound(path);
  ASSERT_TRUE(model.scene);
  const FlexRun run = kw::test::RunFlexExport(*model.scene);
  ASSERT_EQ(run.outcome, kw::ExportOutcome::kCompleted);
  EXPECT_TRUE(run.warnings.empty());
  ASSERT_EQ(run.list.shapes.size(), 2u);
  EXPECT_EQ(run.list.shapes[0].name, "AnimatedMorphCube_0");
  EXPECT_EQ(run.list.shapes[1].name, "AnimatedMorphCube_1");
  ExpectTimeZeroIsTheReference(run);

  const std::vector<aiVector3D> base = kw::test::PosedCorners(*source, node, world);
  aiVector3D low = base[0], high = base[0];
  for (const aiVector3D& p : base) {
    low = aiVector3D(std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z));
    high = aiVector3D(std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z));
  }
  const float tolerance = 1e-5f * (high - low).Length();
  const std::vector<std::vector<VtaLine>> frames = kw::test::VtaFrames(run.vta);
  const std::vector<std::vector<VtaLine>> shapes = ShapesApplied(frames);
  ASSERT_EQ(shapes.size(), 2u);
  for (unsigned t = 0; t < 2; ++t) {
    SCOPED_TRACE("target " + std::to_string(t));
    const aiAnimMesh& target = *mesh.mAnimMeshes[t];
    const std::vector<aiVector3D> expected = kw::test::PosedCorners(*source, node, world, t);
    ASSERT_EQ(shapes[t].size(), expected.size());
    std::size_t changed = 0;
    for (std::size_t n = 0; n < expected.size(); ++n) {
      const unsigned v = mesh.mFaces[n / 3].mIndices[n % 3];
      changed += target.mVertices[v] != mesh.mVertices[v] || target.mNormals[v] != mesh.mNormals[v];
      const float* got = shapes[t][n].values;
      EXPECT_LE(kw::test::Distance(aiVector3D(got[0], got[1], got[2]), expected[n]), tolerance)
          << "corner " << n;
      aiVector3D normal = normalTurn * target.mNormals[v];
      normal.Normalize();
      EXPECT_LE(kw::test::Distance(aiVector3D(got[3], got[4], got[5]), normal), 1e-5f)
          << "corner " << n;
    }
    // Only the corners the target changes are listed.
    EXPECT_GT(changed, 0u);
    EXPECT_EQ(frames[t + 1].size(), changed);
    EXPECT_EQ(run.list.shapes[t].vertices, changed);
  }
}

// Face: one triangle with targets smile (with normals), blink and jaw; Brow:
// a quad of two triangles with targets jaw and smile, in that order, and no
// normals (assimp makes them).
std::string WriteThreeTargets() {
  std::vector<std::uint8_t> buffer;
  auto floats = [&](std::initializer_list<float> values) {
    for (float v : values) {
      std::uint8_t bytes[4];
      std::memcpy(bytes, &v, 4);
      buffer.insert(buffer.end(), bytes, bytes + 4);
    }
  };
  floats({0, 0, 0, 1, 0, 0, 0, 1, 0});                       // Face positions, 0..36
  floats({0, 0, 1, 0, 0, 1, 0, 0, 1});                       // normals, 36..72
  floats({0, 0, 0, 0, 0, 0.5f, 0, 0, 0});                    // smile, 72..108
  floats({0, 0, 0, 0, 0.6f, -1, 0, 0, 0});                   // smile's normals, 108..144
  floats({0.25f, 0, 0, 0, 0, 0, 0, 0, 0});                   // blink, 144..180
  floats({0, 0, 0, 0, 0, 0, 0, -0.5f, 0});                   // jaw, 180..216
  floats({2, 0, 0, 3, 0, 0, 3, 1, 0, 2, 1, 0});              // Brow positions, 216..264
  floats({0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0});              // jaw, 264..312
  floats({0, 0, 0.75f, 0, 0, 0, 0, 0, 0, 0, 0, 0});          // smile, 312..360
  for (std::uint16_t index : {0, 1, 2, 0, 1, 2, 0, 2, 3}) {  // 360..378
    buffer.push_back(static_cast<std::uint8_t>(index));
    buffer.push_back(0);
  }
  buffer.resize(380);

  std::string views;
  const int offsets[] = {0, 36, 72, 108, 144, 180, 216, 264, 312, 360, 366};
  const int lengths[] = {36, 36, 36, 36, 36, 36, 48, 48, 48, 6, 12};
  for (int i = 0; i < 11; ++i) {
    views += std::string(i ? ", " : "") +
             "{\"buffer\": 0, \"byteOffset\": " + std::to_string(offsets[i]) +
             ", \"byteLength\": " + std::to_string(lengths[i]) + "}";
  }
  const std::string json = R"({
  "asset": {"version": "2.0"},
  "scene": 0,
  "scenes": [{"nodes": [0, 1]}],
  "nodes": [{"name": "Face", "mesh": 0}, {"name": "Brow", "mesh": 1}],
  "meshes": [
    {"primitives": [{"attributes": {"POSITION": 0, "NORMAL": 1}, "indices": 9,
       "targets": [{"POSITION": 2, "NORMAL": 3}, {"POSITION": 4}, {"POSITION": 5}]}],
     "weights": [0, 0, 0], "extras": {"targetNames": ["smile", "blink", "jaw"]}},
    {"primitives": [{"attributes": {"POSITION": 6}, "indices": 10,
       "targets": [{"POSITION": 7}, {"POSITION": 8}]}],
     "weights": [0, 0], "extras": {"targetNames": ["jaw", "smile"]}}
  ],
  "accessors": [
    {"bufferView": 0, "componentType": 5126, "count": 3, "type": "VEC3", "min": [0, 0, 0], "max": [1, 1, 0]},
    {"bufferView": 1, "componentType": 5126, "count": 3, "type": "VEC3"},
    {"bufferView": 2, "componentType": 5126, "count": 3, "type": "VEC3", "min": [0, 0, 0], "max": [0, 0, 0.5]},
    {"bufferView": 3, "componentType": 5126, "count": 3, "type": "VEC3"},
    {"bufferView": 4, "componentType": 5126, "count": 3, "type": "VEC3", "min": [0, 0, 0], "max": [0.25, 0, 0]},
    {"bufferView": 5, "componentType": 5126, "count": 3, "type": "VEC3", "min": [0, -0.5, 0], "max": [0, 0, 0]},
    {"bufferView": 6, "componentType": 5126, "count": 4, "type": "VEC3", "min": [2, 0, 0], "max": [3, 1, 0]},
    {"bufferView": 7, "componentType": 5126, "count": 4, "type": "VEC3", "min": [0, 0, 0], "max": [0, 0, 1]},
    {"bufferView": 8, "componentType": 5126, "count": 4, "type": "VEC3", "min": [0, 0, 0], "max": [0, 0, 0.75]},
    {"bufferView": 9, "componentType": 5123, "count": 3, "type": "SCALAR"},
    {"bufferView": 10, "componentType": 5123, "count": 6, "type": "SCALAR"}
  ],
  "bufferViews": [)" + views +
                           R"(],
  "buffers": [{"byteLength": 380, "uri": "data:application/octet-stream;base64,)" +
                           kw::test::Base64(buffer) + R"("}]
})";
  const std::string path = testing::TempDir() + "/three_targets.gltf";
  std::ofstream(path, std::ios::binary) << json;
  return path;
}

struct Expected {
  std::uint64_t number;
  float x, y, z, nx, ny, nz;
};

// Three names on two meshes make three shapes, by name and not by place;
// Brow's corners are numbered after Face's three. glTF's (x, y, z) stands
// upright as (x, -z, y).
TEST(ModelFlexes, TargetsOfTwoMeshesAreMatchedByNameIntoThreeShapes) {
  ImportedModel model = ImportBound(WriteThreeTargets());
  ASSERT_TRUE(model.scene);
  const FlexRun run = kw::test::RunFlexExport(*model.scene);
  ASSERT_EQ(run.outcome, kw::ExportOutcome::kCompleted);
  EXPECT_TRUE(run.warnings.empty());
  ExpectTimeZeroIsTheReference(run);
  ASSERT_EQ(run.list.shapes.size(), 3u);
  EXPECT_EQ(run.list.shapes[0].name, "smile");
  EXPECT_EQ(run.list.shapes[1].name, "blink");
  EXPECT_EQ(run.list.shapes[2].name, "jaw");
  EXPECT_EQ(run.list.baseVertices, 9u);

  const std::vector<std::vector<Expected>> expected = {
      {{1, 1, -0.5f, 0, 0, 0, 1}, {3, 2, -0.75f, 0, 0, -1, 0}, {6, 2, -0.75f, 0, 0, -1, 0}},
      {{0, 0.25f, 0, 0, 0, -1, 0}},
      {{2, 0, 0, 0.5f, 0, -1, 0}, {5, 3, -1, 1, 0, -1, 0}, {7, 3, -1, 1, 0, -1, 0}},
  };
  const std::vector<std::vector<VtaLine>> frames = kw::test::VtaFrames(run.vta);
  ASSERT_EQ(frames.size(), 4u);
  for (std::size_t k = 0; k < expected.size(); ++k) {
    SCOPED_TRACE("shape " + run.list.shapes[k].name);
    ASSERT_EQ(frames[k + 1].size(), expected[k].size());
    for (std::size_t i = 0; i < expected[k].size(); ++i) {
      const Expected& e = expected[k][i];
      const VtaLine& line = frames[k + 1][i];
      EXPECT_EQ(line.number, e.number);
      const float want[6] = {e.x, e.y, e.z, e.nx, e.ny, e.nz};
      for (int c = 0; c < 6; ++c) EXPECT_NEAR(line.values[c], want[c], 1e-6f) << "value " << c;
    }
  }
}

}  // namespace
