// Whole exports from the writers against the straightforward
// writer, which follows the same rules with one fprintf per line: the fast
// paths must not change a byte.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/printf_export.h"
#include "bench/workloads.h"
#include "export/export_scene.h"

using kw::ExportOptions;
using kw::ExportOutcome;
using kw::MemoryFiles;
using kw::MemoryMaterial;
using kw::MemoryMesh;
using kw::MemoryNode;
using kw::MemoryScene;
using kw::MemorySkin;
using kw::WarningPresenter;
using kw::bench::BuildReferenceScene;
using kw::bench::BuildSequenceScene;
using kw::bench::ExportWithPrintf;
using kw::bench::SequenceShape;

namespace {

class NoWarnings : public WarningPresenter {
 public:
  void Show(const kw::Warning& warning) override { ADD_FAILURE() << "warning: " << warning.text; }
};

class KeptWarnings : public WarningPresenter {
 public:
  std::vector<std::string> shown;
  void Show(const kw::Warning& warning) override { shown.push_back(warning.text); }
};

std::string SessionExport(MemoryScene& scene, const ExportOptions& options,
                          WarningPresenter* expected = nullptr) {
  MemoryFiles outputs;
  NoWarnings none;
  kw::ExportReports reports;
  reports.warnings = expected ? expected : &none;
  const kw::ExportResult result = kw::ExportScene(scene, options, "out.smd", outputs, reports);
  EXPECT_EQ(result.outcome, ExportOutcome::kCompleted) << result.failureMessage;
  const std::string* smd = outputs.Find("out.smd");
  return smd ? *smd : std::string();
}

std::string PrintfExport(MemoryScene& scene, const ExportOptions& options) {
  std::FILE* file = std::tmpfile();
  if (!file) {
    ADD_FAILURE() << "no temporary file";
    return std::string();
  }
  EXPECT_TRUE(ExportWithPrintf(scene, options, file));
  std::string text;
  std::rewind(file);
  char chunk[1 << 16];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, n);
  std::fclose(file);
  return text;
}

// Where two texts part, with the line there, for a readable failure.
::testing::AssertionResult SameText(const std::string& session, const std::string& plain) {
  if (session == plain) return ::testing::AssertionSuccess();
  std::size_t at = 0;
  while (at < session.size() && at < plain.size() && session[at] == plain[at]) ++at;
  const std::size_t line = session.rfind('\n', at == 0 ? 0 : at - 1);
  const std::size_t from = line == std::string::npos ? 0 : line + 1;
  return ::testing::AssertionFailure()
         << "first difference at byte " << at << " of " << session.size() << " / " << plain.size()
         << "\nsession: " << session.substr(from, session.find('\n', at) - from)
         << "\nprintf:  " << plain.substr(from, plain.find('\n', at) - from);
}

ExportOptions Sequence(int start, int end, bool reverse) {
  ExportOptions options;
  options.exportSequence = true;
  options.startFrame = start;
  options.endFrame = end;
  options.reverseSequence = reverse;
  return options;
}

TEST(WholeExportBytes, ReferenceMeshMatchesTheStraightforwardWriter) {
  auto scene = BuildReferenceScene({60, 30});
  const std::string session = SessionExport(*scene, ExportOptions());
  EXPECT_NE(session.find("\ntriangles\n"), std::string::npos);
  EXPECT_NE(session.find("skin3_d.tga\n"), std::string::npos);
  EXPECT_TRUE(SameText(session, PrintfExport(*scene, ExportOptions())));
}

// Bad faces on either side of where the mesh's lines are split up for the
// second thread, and a face late in the mesh that abandons the rest of it.
TEST(WholeExportBytes, FacesSkippedOrAbandonedInABigMeshLeaveTheOthersInOrder) {
  auto scene = BuildReferenceScene({100, 50});
  auto* mesh = dynamic_cast<MemoryMesh*>(scene->FindNode(1000)->GetObject()->AsMesh());
  ASSERT_NE(mesh, nullptr);
  ASSERT_EQ(mesh->faces.size(), 10000u);
  mesh->faces[10].vertex[1] = 50000;
  mesh->faces[4095].vertex[0] = 50000;
  mesh->faces[4096].texVertex[2] = 50000;
  mesh->faces[8191].vertex[2] = 50000;
  mesh->faces[9000].materialId = 7;

  KeptWarnings warnings;
  const std::string session = SessionExport(*scene, ExportOptions(), &warnings);
  EXPECT_TRUE(SameText(session, PrintfExport(*scene, ExportOptions())));
  const std::vector<std::string> expected = {
      "Bogus vertex index for face 10 in mesh \"Body\".\nSkipping face.",
      "Bogus vertex index for face 4095 in mesh \"Body\".\nSkipping face.",
      "Bogus UV vertex index for face 4096 in mesh \"Body\".\nSkipping face.",
      "Bogus vertex index for face 8191 in mesh \"Body\".\nSkipping face.",
      "Could not get Sub-Material of material \"BodyMaterial\" with ID \"8\".\n"
      "Check Sub-Material and mesh face IDs match.\nSkipping mesh."};
  EXPECT_EQ(warnings.shown, expected);
  // 8996 faces of four lines each, between "triangles" and "end".
  const std::size_t from = session.find("\ntriangles\n") + 11;
  const std::size_t lines = static_cast<std::size_t>(
      std::count(session.begin() + static_cast<std::ptrdiff_t>(from), session.end(), '\n'));
  EXPECT_EQ(lines, 4u * 8996u + 1u);
}

// 40 nodes x 120 frames fit one batch of poses; x 700 take four, made on
// both threads. A batch is made in parts of about 128 lines: 43 poses of 3
// nodes, or a single pose of 300, and a batch's last part may be short.
TEST(WholeExportBytes, SequencesMatchTheStraightforwardWriterBothWays) {
  for (const SequenceShape shape : {SequenceShape{40, 120}, SequenceShape{40, 700},
                                    SequenceShape{3, 3000}, SequenceShape{300, 70}}) {
    auto scene = BuildSequenceScene(shape);
    const int frames = shape.frames;
    for (bool reverse : {false, true}) {
      const ExportOptions options = Sequence(7, frames - 1, reverse);
      const std::string session = SessionExport(*scene, options);
      EXPECT_NE(session.find("time " + std::to_string(frames - 8) + "\n"), std::string::npos);
      EXPECT_TRUE(SameText(session, PrintfExport(*scene, options)))
          << shape.nodes << " nodes, " << frames << " frames, reverse " << reverse;
    }
  }
}

// Mirrors, scale, negative zeros, a skin bone outside the export, a material
// without a map and flat faces: the less travelled paths of every section.
TEST(WholeExportBytes, UnusualScenesMatchTheStraightforwardWriter) {
  MemoryScene scene;
  scene.SetTiming(-320, 3200, 160);
  MemoryNode& root = scene.AddNode(10, "Root Node");
  scene.MakeObject(root, kObjectHelper);
  root.SetObjectOffset(
      Matrix3(Point3(-1, 0, 0), Point3(0, 1, 0), Point3(0, 0, 1), Point3(0, 0, 0)));
  root.SetScaleKeys({{0, Point3(2, 2, 2)}, {3200, Point3(1, 3, 1)}});
  root.SetRotationKeys({{0, Quat(0, 0, 0, 1)}, {3200, Quat(0, 0, 1, 0)}});
  MemoryNode& child = scene.AddNode(11, "child", &root);
  scene.MakeObject(child, kObjectBone);
  child.SetPositionKeys({{-320, Point3(0, -0.0f, 3)}, {3200, Point3(-1e-7f, 2, 1e6f)}});
  MemoryNode& skipped = scene.AddNode(12, "camera", &child);
  scene.MakeObject(skipped, 99);
  MemoryNode& meshNode = scene.AddNode(13, "mesh", &child);
  meshNode.SetLocalTransform(ScaleMatrix(Point3(2, 2, 2)) * RotateXMatrix(1.0f));
  MemoryMesh& mesh = scene.MakeMesh(meshNode);
  mesh.vertices = {Point3(0, 0, 0), Point3(1, 0, 0), Point3(0, 1, 0), Point3(-0.0f, 0, 1)};
  mesh.texVertices = {Point2{0, 0}, Point2{1, 0}, Point2{0, 1}, Point2{-0.5f, 2}};
  MeshFace face;
  face.vertex[0] = 0;
  face.vertex[1] = 1;
  face.vertex[2] = 2;
  face.texVertex[0] = 0;
  face.texVertex[1] = 1;
  face.texVertex[2] = 3;
  face.smoothingGroup = 0;
  mesh.faces.push_back(face);
  face.vertex[2] = 3;
  face.smoothingGroup = 6;
  mesh.faces.push_back(face);
  face.vertex[0] = 2;
  face.smoothingGroup = 4;
  mesh.faces.push_back(face);
  mesh.ComputeNormals();
  MemorySkin& skin = scene.MakeSkin();
  skin.AddLink(0, 11, 0.5f);
  skin.AddLink(0, 10, 0.25f);
  skin.AddLink(1, 11, 1.0f);
  skin.AddLink(1, 12, 0.0f);  // not exported: the whole vertex falls back
  for (int k = 0; k < 6; ++k) skin.AddLink(2, 10 + k % 2, 0.1f * static_cast<float>(k));
  mesh.SetSkin(&skin);
  MemoryMaterial& plain = scene.MakeMaterial("plain", "Standard");
  meshNode.SetMaterial(&plain);

  for (const ExportOptions& options :
       {ExportOptions(), Sequence(-2, 20, false), Sequence(-2, 20, true)}) {
    const std::string session = SessionExport(scene, options);
    if (std::getenv("KW_PEEK")) std::fputs(session.c_str(), stdout);
    EXPECT_TRUE(SameText(session, PrintfExport(scene, options)));
  }
  EXPECT_NE(SessionExport(scene, ExportOptions()).find("null.bmp\n"), std::string::npos);
}

}  // namespace
