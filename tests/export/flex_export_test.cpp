// The vertex animation file of morph targets: a whole file worked out by
// hand, time 0 against the reference's own lines on the bundled figure, and
// the names the shapes' controllers get.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "export/flex_export.h"
#include "export/flex_names.h"
#include "readers/scene_file/scene_file.h"
#include "support/export_harness.h"
#include "support/flex_harness.h"

using kw::MemoryMesh;
using kw::MemoryNode;
using kw::MemoryScene;
using kw::MorphTarget;

namespace {

const Point3 kUp(0.0f, 0.0f, 1.0f);

RenderVertex Up() {
  RenderVertex vertex;
  vertex.flags = 1;
  vertex.singleNormal.normal = kUp;
  vertex.singleNormal.smoothingGroup = 1;
  return vertex;
}

void AddFace(MemoryMesh& mesh, std::uint32_t a, std::uint32_t b, std::uint32_t c,
             std::uint32_t smoothingGroup) {
  MeshFace face;
  face.vertex[0] = face.texVertex[0] = a;
  face.vertex[1] = face.texVertex[1] = b;
  face.vertex[2] = face.texVertex[2] = c;
  face.smoothingGroup = smoothingGroup;
  mesh.faces.push_back(face);
  mesh.hostMesh.faceNormals.push_back(kUp);
}

MemoryMesh& FlatMesh(MemoryScene& scene, int id, const char* name, std::vector<Point3> vertices) {
  MemoryNode& node = scene.AddNode(id, name);
  kw::MemoryMaterial& material = scene.MakeMaterial(name, "Standard");
  material.SetTextureMap(&scene.MakeTextureMap(std::string(name) + ".tga"));
  node.SetMaterial(&material);
  MemoryMesh& mesh = scene.MakeMesh(node);
  mesh.texVertices.assign(vertices.size(), Point2());
  mesh.hostMesh.renderVertices.assign(vertices.size(), Up());
  mesh.vertices = std::move(vertices);
  return mesh;
}

MorphTarget Moved(const MemoryMesh& mesh, const char* name, std::uint32_t vertex, Point3 to) {
  MorphTarget target{name, mesh.vertices, {}};
  target.vertices[vertex] = to;
  return target;
}

// Shape "smile" on both meshes, "blink" on the first only, a second "smile"
// on the second kept apart; a target's normal counts in a face of a
// smoothing group and not in a flat one; the second mesh's bad first face
// takes no number.
TEST(FlexExport, TwoMeshesFourTargetsMatchTheHandWorkedFile) {
  MemoryScene scene;
  MemoryMesh& a = FlatMesh(scene, 1, "A", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}});
  AddFace(a, 0, 1, 2, 1);
  AddFace(a, 1, 3, 2, 0);
  a.morphTargets.push_back(Moved(a, "smile", 1, {1, 0, 1}));
  a.morphTargets.back().normals.assign(4, kUp);
  a.morphTargets.back().normals[1] = Point3(0, -0.6f, 0.8f);
  // Its normals are the mesh's: only the moved vertex is listed.
  a.morphTargets.push_back(Moved(a, "blink", 3, {1, 1, 0.25f}));
  a.morphTargets.back().normals.assign(4, kUp);
  MemoryMesh& b = FlatMesh(scene, 2, "B", {{5, 0, 0}, {6, 0, 0}, {5, 1, 0}});
  AddFace(b, 0, 1, 7, 1);
  AddFace(b, 0, 1, 2, 1);
  b.morphTargets.push_back(Moved(b, "smile", 0, {5, 0, 0.5f}));
  // A second of the same name is kept apart.
  b.morphTargets.push_back(Moved(b, "smile", 2, {5, 1, 0.5f}));

  const kw::test::FlexRun run = kw::test::RunFlexExport(scene);
  EXPECT_EQ(run.outcome, kw::ExportOutcome::kCompleted);
  EXPECT_EQ(run.vta, kw::test::ReadGolden("flex_two_meshes.vta"));
  // The bad face is the reference's warning, not said again.
  EXPECT_EQ(run.reference.warnings.size(), 1u);
  EXPECT_EQ(run.warnings, std::vector<std::string>{
                              "Mesh \"B\" has more than one morph target named \"smile\"; morph "
                              "target 1 is written as \"smile_2\"."});
  ASSERT_EQ(run.list.shapes.size(), 3u);
  EXPECT_EQ(run.list.baseVertices, 9u);
  EXPECT_EQ(run.list.shapes[0].name, "smile");
  EXPECT_EQ(run.list.shapes[0].frame, 1);
  EXPECT_EQ(run.list.shapes[0].vertices, 3u);
  EXPECT_EQ(run.list.shapes[1].name, "blink");
  EXPECT_EQ(run.list.shapes[1].vertices, 1u);
  EXPECT_EQ(run.list.shapes[2].name, "smile_2");

  kw::FlexList found;
  ASSERT_TRUE(kw::FindFlexes(scene, kw::ExportOptions(), &found));
  ASSERT_EQ(found.shapes.size(), 3u);
  EXPECT_EQ(found.shapes[0].controller, "smile");
  EXPECT_EQ(found.shapes[1].controller, "blink");
}

std::string Fields(const Point3& position, const std::string& normalFields) {
  char text[128];
  std::snprintf(text, sizeof text, " %f %f %f", position.x, position.y, position.z);
  return text + normalFields;
}

// A skinned, multi-material mesh with smoothing groups and a bad face: time
// 0 has the reference's own text for every corner it writes, the nodes and
// each frame's pose are the reference's, and a shape lists exactly the
// corners of the vertices it moves.
TEST(FlexExport, TimeZeroIsTheReferencesOwnTextCornerByCorner) {
  std::string error;
  std::unique_ptr<MemoryScene> scene =
      kw::LoadSceneFile(std::string(KW_SOURCE_DIR) + "/samples/figure.json", &error);
  ASSERT_TRUE(scene) << error;
  auto& body = dynamic_cast<MemoryMesh&>(*scene->FindNode(10)->GetObject());
  MeshFace bad = body.faces[20];
  bad.vertex[1] = 999;
  body.faces.insert(body.faces.begin() + 20, bad);
  body.hostMesh.faceNormals.insert(body.hostMesh.faceNormals.begin() + 20, kUp);
  const std::set<std::uint32_t> moved = {0, 17};
  MorphTarget lift{"lift", body.vertices, {}};
  for (std::uint32_t v : moved) lift.vertices[v] = lift.vertices[v] + Point3(0.5f, 0, 1);
  body.morphTargets.push_back(lift);

  const kw::test::FlexRun run = kw::test::RunFlexExport(*scene);
  ASSERT_EQ(run.outcome, kw::ExportOutcome::kCompleted);
  ASSERT_EQ(run.reference.warnings.size(), 1u);
  const std::vector<std::string> reference = kw::test::ReferenceCornerFields(run.reference.smd);
  const std::vector<std::vector<kw::test::VtaLine>> frames = kw::test::VtaFrames(run.vta);
  ASSERT_EQ(frames.size(), 2u);
  ASSERT_EQ(frames[0].size(), reference.size());
  ASSERT_EQ(reference.size(), 3 * (body.faces.size() - 1));
  for (std::size_t n = 0; n < reference.size(); ++n) {
    EXPECT_EQ(frames[0][n].number, n);
    EXPECT_EQ(frames[0][n].fields, reference[n]) << "corner " << n;
  }

  std::vector<kw::test::VtaLine> expected;
  std::uint64_t number = 0;
  for (const MeshFace& face : body.faces) {
    if (face.vertex[1] == 999) continue;
    for (std::uint32_t v : face.vertex) {
      if (moved.count(v) != 0) {
        kw::test::VtaLine line;
        line.number = number;
        line.fields = Fields(lift.vertices[v],
                             frames[0][number].fields.substr(Fields(body.vertices[v], "").size()));
        expected.push_back(line);
      }
      ++number;
    }
  }
  ASSERT_EQ(frames[1].size(), expected.size());
  for (std::size_t k = 0; k < expected.size(); ++k) {
    EXPECT_EQ(frames[1][k].number, expected[k].number);
    EXPECT_EQ(frames[1][k].fields, expected[k].fields);
  }

  const std::string smd = run.reference.smd;
  const std::string nodes = smd.substr(0, smd.find("skeleton\n"));
  const std::string pose =
      smd.substr(smd.find("time 0\n") + 7, smd.find("end\ntriangles") - smd.find("time 0\n") - 7);
  EXPECT_EQ(run.vta.substr(0, run.vta.find("vertexanimation\n")),
            nodes + "skeleton\ntime 0\n" + pose + "time 1\n" + pose + "end\n");
}

TEST(FlexNames, LettersDigitsAndUnderscoresOnlyUniqueIgnoringCase) {
  const std::string longName(70, 'x');
  const std::vector<kw::ControllerName> names =
      kw::MakeControllerNames({"brow raise", "say \"ah\"", "jaw", "JAW", "jaw_2", "", "9 lives",
                               "Jaw", longName, longName + "y"});
  std::vector<std::string> made;
  std::vector<bool> changed;
  for (const kw::ControllerName& name : names) {
    made.push_back(name.name);
    changed.push_back(name.changed);
  }
  EXPECT_EQ(made, (std::vector<std::string>{"brow_raise", "say__ah_", "jaw", "JAW_2", "jaw_2_2",
                                            "flex", "_9_lives", "Jaw_3", std::string(63, 'x'),
                                            std::string(61, 'x') + "_2"}));
  EXPECT_EQ(changed,
            (std::vector<bool>{true, true, false, true, true, true, true, true, true, true}));
}

}  // namespace
