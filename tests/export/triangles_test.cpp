// The "triangles" section of reference exports: whole files compared with
// expected SMDs worked out by hand (tests/export/golden/triangles_*.smd), and
// the warnings each scene must raise, in order.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "export/export_scene.h"
#include "export/triangles_writer.h"
#include "support/export_harness.h"
#include "scene/memory_scene.h"

using kw::IsStandardMaterial;
using kw::MemoryMaterial;
using kw::MemoryMesh;
using kw::MemoryNode;
using kw::MemoryScene;
using kw::MemorySkin;

namespace {

using kw::test::ExportResult;
using kw::test::ReadGolden;
using kw::test::RunExport;

const Point3 kUp(0.0f, 0.0f, 1.0f);

RenderVertex OneNormal(const Point3& normal, std::uint32_t groups = 1) {
  RenderVertex vertex;
  vertex.flags = 1;
  vertex.singleNormal.normal = normal;
  vertex.singleNormal.smoothingGroup = groups;
  return vertex;
}

RenderVertex Normals(std::uint32_t flags, std::vector<RenderNormal> normals) {
  RenderVertex vertex;
  vertex.flags = flags;
  vertex.extraNormals = std::move(normals);
  return vertex;
}

MeshFace Face(std::uint32_t v0, std::uint32_t v1, std::uint32_t v2, std::uint32_t t0,
              std::uint32_t t1, std::uint32_t t2, std::uint32_t smoothingGroup = 1,
              int materialId = 0) {
  MeshFace face;
  face.vertex[0] = v0;
  face.vertex[1] = v1;
  face.vertex[2] = v2;
  face.texVertex[0] = t0;
  face.texVertex[1] = t1;
  face.texVertex[2] = t2;
  face.smoothingGroup = smoothingGroup;
  face.materialId = materialId;
  return face;
}

// A face using corners 0, 1, 2 for both positions and texture coordinates.
MeshFace Corners012(std::uint32_t smoothingGroup = 1, int materialId = 0) {
  return Face(0, 1, 2, 0, 1, 2, smoothingGroup, materialId);
}

void AddFace(MemoryMesh& mesh, const MeshFace& face, const Point3& faceNormal = kUp) {
  mesh.faces.push_back(face);
  mesh.hostMesh.faceNormals.push_back(faceNormal);
}

// The unit triangle (0,0,0) (1,0,0) (0,1,0) with matching texture
// coordinates and one upward render normal per vertex; no faces yet.
MemoryMesh& UnitTriangle(MemoryScene& scene, MemoryNode& node, const Point3& offset = Point3()) {
  MemoryMesh& mesh = scene.MakeMesh(node);
  mesh.vertices = {offset + Point3(0, 0, 0), offset + Point3(1, 0, 0), offset + Point3(0, 1, 0)};
  mesh.texVertices = {{0, 0}, {1, 0}, {0, 1}};
  mesh.hostMesh.renderVertices = {OneNormal(kUp), OneNormal(kUp), OneNormal(kUp)};
  return mesh;
}

MemoryMaterial& Standard(MemoryScene& scene, const std::string& name,
                         const char* bitmap = nullptr) {
  MemoryMaterial& material = scene.MakeMaterial(name, "Standard");
  if (bitmap) material.SetTextureMap(&scene.MakeTextureMap(bitmap));
  return material;
}

// Everything after the skeleton section.
std::string TrianglesSection(const std::string& smd) {
  return smd.substr(kw::test::ThroughSkeleton(smd).size());
}

// Errors the scene-access library raises (an out-of-range getter of our
// stand-in scene) reach the debug output; none of these scenes may cause one.
class TrianglesTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const std::string& line : debugLines_) {
      EXPECT_EQ(line.find("ErrorCode"), std::string::npos) << line;
    }
  }

  ExportResult Run(MemoryScene& scene,
                   const kw::test::ExportRequest& request = kw::test::ExportRequest()) {
    ExportResult result = RunExport(scene, request);
    debugLines_.insert(debugLines_.end(), result.debugLines.begin(), result.debugLines.end());
    return result;
  }

  MemoryScene scene_;

 private:
  std::vector<std::string> debugLines_;
};

TEST_F(TrianglesTest, StandardMaterialWithoutMapNamesEveryFaceNullBmp) {
  MemoryNode& node = scene_.AddNode(1, "plate");
  node.SetMaterial(&Standard(scene_, "Plain"));
  MemoryMesh& mesh = scene_.MakeMesh(node);
  mesh.vertices = {{0, 0, 0}, {1.5f, 0, 0}, {0, -2.25f, 0.5f}, {1.5f, -2.25f, 0.5f}};
  mesh.texVertices = {{0, 0}, {1, 0}, {0.25f, 0.75f}, {1, 1}};
  mesh.hostMesh.renderVertices = {OneNormal(kUp), OneNormal({0, -0.5f, 0.75f}), OneNormal(kUp),
                                  OneNormal({0.5f, 0, 0.5f})};
  AddFace(mesh, Face(0, 1, 2, 0, 1, 2));
  AddFace(mesh, Face(1, 3, 2, 1, 3, 2));

  const ExportResult result = Run(scene_);
  EXPECT_EQ(result.smd, ReadGolden("triangles_standard_null_bmp.smd"));
  EXPECT_TRUE(result.warnings.empty());
}

TEST_F(TrianglesTest, MultiSubObjectMatchesIdsAndAbandonsTheMeshAtAnUnknownId) {
  MemoryNode& cube = scene_.AddNode(1, "cube");
  MemoryMaterial& multi = scene_.MakeMaterial("Multi", "Multi/Sub-Object");
  // Slots in another order than their ids: matching goes by id.
  multi.AddSubMaterial(1, &Standard(scene_, "Blank"));
  multi.AddSubMaterial(0, &Standard(scene_, "Red", "D:\\maps\\red_d.tga"));
  cube.SetMaterial(&multi);
  MemoryMesh& mesh = UnitTriangle(scene_, cube);
  AddFace(mesh, Corners012(1, 0));
  AddFace(mesh, Corners012(1, 1));
  // Faults found before the material is looked at leave only the face out.
  AddFace(mesh, Face(0, 1, 5, 0, 1, 2, 1, 7));
  AddFace(mesh, Corners012(0, 9), Point3(0, 0, 1.2f));
  AddFace(mesh, Corners012(1, 2));
  AddFace(mesh, Corners012(1, 0));

  MemoryNode& crate = scene_.AddNode(2, "crate");
  crate.SetMaterial(&Standard(scene_, "Wood", "textures/wood.png"));
  AddFace(UnitTriangle(scene_, crate, Point3(2, 0, 0)), Corners012());

  const ExportResult result = Run(scene_);
  EXPECT_EQ(result.smd, ReadGolden("triangles_multi_sub_object.smd"));
  EXPECT_EQ(result.warnings, (std::vector<std::string>{
                                 "Bogus vertex index for face 2 in mesh \"cube\".\nSkipping face.",
                                 "Bogus normal length for face 3 in mesh \"cube\".\nSkipping face.",
                                 "Could not get Sub-Material of material \"Multi\" with ID \"3\".\n"
                                 "Check Sub-Material and mesh face IDs match.\nSkipping mesh.",
                             }));
}

TEST_F(TrianglesTest, UnusableSubMaterialsAbandonTheMeshWithTheOuterMaterialNamed) {
  MemoryNode& shell = scene_.AddNode(1, "shell");
  MemoryMaterial& outer = scene_.MakeMaterial("Outer", "Multi/Sub-Object");
  MemoryMaterial& inner = scene_.MakeMaterial("Inner", "Multi/Sub-Object");
  inner.AddSubMaterial(1, &Standard(scene_, "Deep", "deep.tga"));
  outer.AddSubMaterial(0, &Standard(scene_, "Skin", "C:\\art/skins\\hero.bmp"));
  outer.AddSubMaterial(1, &inner);
  shell.SetMaterial(&outer);
  MemoryMesh& shellMesh = UnitTriangle(scene_, shell);
  AddFace(shellMesh, Corners012(1, 0));
  AddFace(shellMesh, Corners012(1, 1));
  AddFace(shellMesh, Corners012(1, 0));

  MemoryNode& holes = scene_.AddNode(2, "holes");
  MemoryMaterial& withEmptySlot = scene_.MakeMaterial("Holes", "Multi/Sub-Object");
  withEmptySlot.AddSubMaterial(0, nullptr);
  holes.SetMaterial(&withEmptySlot);
  AddFace(UnitTriangle(scene_, holes), Corners012(1, 0));

  // No sub-materials at all. The material is looked at before the texture
  // indices, so the bad one here is never reported.
  MemoryNode& bare = scene_.AddNode(3, "bare");
  bare.SetMaterial(&scene_.MakeMaterial("Bare", "Multi/Sub-Object"));
  AddFace(UnitTriangle(scene_, bare), Face(0, 1, 2, 0, 1, 9, 1, 4));

  const ExportResult result = Run(scene_);
  EXPECT_EQ(result.smd, ReadGolden("triangles_nested_multi.smd"));
  EXPECT_EQ(result.warnings, (std::vector<std::string>{
                                 "Sub-Material of \"Outer\" is not Standard type.\nSkipping mesh.",
                                 "Could not get Sub-Material of material \"Holes\" with ID \"1\".\n"
                                 "Check Sub-Material and mesh face IDs match.\nSkipping mesh.",
                                 "Could not get Sub-Material of material \"Bare\" with ID \"5\".\n"
                                 "Check Sub-Material and mesh face IDs match.\nSkipping mesh.",
                             }));
}

TEST_F(TrianglesTest, BadVertexAndUvIndicesLeaveOutTheFaceWithOneWarningEach) {
  MemoryNode& strip = scene_.AddNode(1, "strip");
  strip.SetMaterial(&Standard(scene_, "Plain"));
  MemoryMesh& stripMesh = UnitTriangle(scene_, strip);
  AddFace(stripMesh, Face(0, 1, 3, 0, 1, 2));            // vertex = count
  AddFace(stripMesh, Face(0, 1, 2, 0, 1, 3));            // uv = count
  AddFace(stripMesh, Face(0xFFFFFFFFu, 1, 2, 0, 9, 2));  // both: vertex only
  AddFace(stripMesh, Face(2, 1, 0, 2, 1, 0));

  MemoryNode& untextured = scene_.AddNode(2, "untextured");
  untextured.SetMaterial(&Standard(scene_, "Plain too"));
  MemoryMesh& untexturedMesh = UnitTriangle(scene_, untextured);
  untexturedMesh.texVertices.clear();
  AddFace(untexturedMesh, Face(0, 1, 2, 0, 0, 0));
  AddFace(untexturedMesh, Face(0, 1, 2, 0, 0, 0));

  const ExportResult result = Run(scene_);
  EXPECT_EQ(result.smd, ReadGolden("triangles_bad_indices.smd"));
  EXPECT_EQ(result.warnings,
            (std::vector<std::string>{
                "Bogus vertex index for face 0 in mesh \"strip\".\nSkipping face.",
                "Bogus UV vertex index for face 1 in mesh \"strip\".\nSkipping face.",
                "Bogus vertex index for face 2 in mesh \"strip\".\nSkipping face.",
                "Bogus UV vertex index for face 0 in mesh \"untextured\".\nSkipping face.",
                "Bogus UV vertex index for face 1 in mesh \"untextured\".\nSkipping face.",
            }));
}

TEST_F(TrianglesTest, NormalsLongerThanOnePointOneBeforeOrAfterTheTransformLeaveOutTheFace) {
  MemoryNode& flat = scene_.AddNode(1, "flat");
  flat.SetMaterial(&Standard(scene_, "Plain"));
  MemoryMesh& flatMesh = UnitTriangle(scene_, flat);
  flatMesh.hostMesh.renderVertices[2] = OneNormal({0, 0, 1.2f});
  AddFace(flatMesh, Corners012(0), kUp);
  AddFace(flatMesh, Corners012(0), Point3(0, 0, 1.2f));
  AddFace(flatMesh, Corners012(1));
  // The float nearest 1.1 lies above the double 1.1; the one below it passes.
  AddFace(flatMesh, Corners012(0), Point3(0, 0, 1.1f));
  AddFace(flatMesh, Corners012(0), Point3(0, 0, std::nextafter(1.1f, 0.0f)));

  // A shear keeps unit rows after NoScale but lengthens some directions.
  MemoryNode& sheared = scene_.AddNode(2, "sheared");
  sheared.SetLocalTransform(
      Matrix3(Point3(1, 0, 0), Point3(0.6f, 0.8f, 0), Point3(0, 0, 1), Point3(0, 0, 0)));
  sheared.SetMaterial(&Standard(scene_, "Plain"));
  MemoryMesh& shearedMesh = UnitTriangle(scene_, sheared);
  AddFace(shearedMesh, Corners012(0), kUp);
  AddFace(shearedMesh, Corners012(0), Point3(0.6f, 0.8f, 0));  // becomes (1.08, 0.64, 0)
  AddFace(shearedMesh, Corners012(0), Point3(0, 1, 0));

  const ExportResult result = Run(scene_);
  // The sheared node's skeleton pose is not this section's concern.
  EXPECT_EQ(TrianglesSection(result.smd), ReadGolden("triangles_normal_lengths.smd"));
  EXPECT_EQ(result.warnings,
            (std::vector<std::string>{
                "Bogus normal length for face 1 in mesh \"flat\".\nSkipping face.",
                "Bogus normal length for face 2 in mesh \"flat\".\nSkipping face.",
                "Bogus normal length for face 3 in mesh \"flat\".\nSkipping face.",
                "Bogus normal length after transform for face 1 in mesh \"sheared\".\n"
                "Skipping face.",
            }));
}

// A normal that is not a number passes both length tests; the test for
// numbers that are not finite leaves the face out and says so, once a mesh.
TEST_F(TrianglesTest, NormalThatIsNotANumberLeavesTheFaceOut) {
  MemoryNode& node = scene_.AddNode(1, "odd");
  node.SetMaterial(&Standard(scene_, "Plain"));
  MemoryMesh& mesh = UnitTriangle(scene_, node);
  AddFace(mesh, Corners012(0), Point3(std::numeric_limits<float>::quiet_NaN(), 0, 0));
  AddFace(mesh, Corners012(0), Point3(0, std::numeric_limits<float>::quiet_NaN(), 0));

  const ExportResult result = Run(scene_);
  EXPECT_EQ(result.warnings,
            std::vector<std::string>{
                "Face 0 of mesh \"odd\" at frame 0 has a position, normal or texture coordinate "
                "that is not a finite number (NaN or infinity).\n"
                "Skipping the faces of this mesh that have one."});
  EXPECT_EQ(TrianglesSection(result.smd), "triangles\nend\n");
}

TEST_F(TrianglesTest, NormalsUseTheTickZeroTransformWithoutScaleWhilePositionsStayAsGiven) {
  scene_.SetTiming(320, 640, 160);
  MemoryNode& giant = scene_.AddNode(1, "giant");
  giant.SetScaleKeys({{0, Point3(2, 2, 2)}});
  // Turned a quarter about z from the scene's start on; tick 0 is unturned.
  giant.SetRotationKeys({{0, Quat()}, {320, Quat(0, 0, 0.70710678f, 0.70710678f)}});
  giant.SetMaterial(&Standard(scene_, "Plain"));
  MemoryMesh& mesh = scene_.MakeMesh(giant);
  mesh.vertices = {{2, 4, 6}, {-2, 0, 1}, {0.5f, -8, 3}};
  mesh.texVertices = {{0.125f, 0.5f}, {1, 0.25f}, {0.75f, 1}};
  mesh.hostMesh.renderVertices = {OneNormal({0, 1, 0}), OneNormal({0, 0, -1}),
                                  OneNormal({0.5f, 0.5f, -0.5f})};
  AddFace(mesh, Corners012(0), Point3(1, 0, 0));
  AddFace(mesh, Corners012(1));

  const ExportResult result = Run(scene_);
  EXPECT_EQ(result.smd, ReadGolden("triangles_scaled_node.smd"));
  EXPECT_TRUE(result.warnings.empty());
}

TEST_F(TrianglesTest, SmoothingGroupsPickTheCornerNormals) {
  MemoryNode& node = scene_.AddNode(1, "facets");
  node.SetMaterial(&Standard(scene_, "Plain"));
  MemoryMesh& mesh = scene_.MakeMesh(node);
  mesh.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
  mesh.texVertices = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
  mesh.hostMesh.renderVertices = {
      // Three normals; the bits above the low 8 are not a count.
      Normals(0xABCD0003u, {{{1, 0, 0}, 1}, {{0, 1, 0}, 6}, {{0, 0, 1}, 4}}),
      // A single normal serves every face, whatever its groups.
      OneNormal({0, -1, 0}, 16),
      Normals(2, {{{-1, 0, 0}, 2}, {{0, 0, -1}, 8}}),
      // No normals: the corner takes the face normal. The entry the count
      // does not cover is never read (it would fail the length test).
      Normals(0, {{{9, 9, 9}, 2}}),
  };
  AddFace(mesh, Face(0, 1, 2, 0, 1, 2, 4));
  AddFace(mesh, Face(0, 1, 2, 0, 1, 2, 8));
  AddFace(mesh, Face(0, 1, 2, 0, 1, 2, 0), Point3(0.5f, -0.5f, 0.5f));
  AddFace(mesh, Face(1, 3, 2, 1, 3, 2, 2), Point3(0.25f, 0.5f, 0.75f));

  const ExportResult result = Run(scene_);
  EXPECT_EQ(result.smd, ReadGolden("triangles_smoothing_groups.smd"));
  EXPECT_TRUE(result.warnings.empty());
}

TEST_F(TrianglesTest, SkinnedVerticesLinkToExportedBonesOrWhollyToTheMesh) {
  MemoryNode& root = scene_.AddNode(100, "root");
  scene_.MakeObject(root, kObjectHelper);
  MemoryNode& b1 = scene_.AddNode(101, "b1", &root);
  scene_.MakeObject(b1, kObjectBone);
  scene_.MakeObject(scene_.AddNode(102, "b2", &b1), kObjectBone);
  MemoryNode& b3 = scene_.AddNode(103, "b3", &root);
  scene_.MakeObject(b3, kObjectBone);
  scene_.MakeObject(scene_.AddNode(104, "b4", &b3), kObjectBone);
  scene_.MakeObject(scene_.AddNode(105, "b5", &b3), kObjectBone);
  scene_.MakeObject(scene_.AddNode(300, "lamp"), 3);  // not an exported type

  MemoryNode& body = scene_.AddNode(200, "body");
  body.SetMaterial(&Standard(scene_, "Skin", "skin.tga"));
  MemoryMesh& mesh = scene_.MakeMesh(body);
  mesh.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
  mesh.texVertices = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
  mesh.hostMesh.renderVertices = {OneNormal(kUp), OneNormal(kUp), OneNormal(kUp), OneNormal(kUp)};
  MemorySkin& skin = scene_.MakeSkin();
  skin.AddLink(0, 103, 0.25f);
  skin.AddLink(0, 105, 0.75f);
  skin.AddLink(1, 103, 0.5f);
  skin.AddLink(1, 300, 0.5f);
  // Vertex 2 has no links.
  skin.AddLink(3, 101, 0.5f);
  skin.AddLink(3, 102, 0.25f);
  skin.AddLink(3, 104, 0.0f);
  mesh.SetSkin(&skin);
  AddFace(mesh, Face(0, 1, 2, 0, 1, 2));
  AddFace(mesh, Face(3, 0, 2, 3, 0, 2));

  const ExportResult result = Run(scene_);
  EXPECT_EQ(result.smd, ReadGolden("triangles_skin.smd"));
  EXPECT_TRUE(result.warnings.empty());
}

TEST_F(TrianglesTest, TextureNameIsTheBitmapFileNameAfterItsLastSeparator) {
  const std::string longDirectory = "D:\\" + std::string(300, 'x') + "\\long_name.tga";
  const std::string longFile = "D:\\maps\\" + std::string(300, 'y') + ".tga";
  MemoryNode& node = scene_.AddNode(1, "labels");
  MemoryMaterial& names = scene_.MakeMaterial("Names", "Multi/Sub-Object");
  const std::vector<const char*> bitmaps = {
      "D:\\maps\\skin_d.tga",
      "textures/wood.png",
      "C:\\art/skins\\hero.bmp",
      "plain.tga",
      nullptr,
      "",
      "D:\\maps\\",
      longDirectory.c_str(),
      longFile.c_str(),
      "bad\nname.tga",
      "My Textures\\stone wall.tga",
  };
  for (std::size_t id = 0; id < bitmaps.size(); ++id) {
    MemoryMaterial& sub = scene_.MakeMaterial("S" + std::to_string(id), "Standard");
    sub.SetTextureMap(bitmaps[id] ? &scene_.MakeTextureMap(bitmaps[id])
                                  : &scene_.MakeTextureMap("", false));
    names.AddSubMaterial(static_cast<int>(id), &sub);
  }
  node.SetMaterial(&names);
  MemoryMesh& mesh = UnitTriangle(scene_, node);
  for (std::size_t id = 0; id < bitmaps.size(); ++id) {
    AddFace(mesh, Corners012(1, static_cast<int>(id)));
  }

  const ExportResult result = Run(scene_);
  EXPECT_EQ(result.smd, ReadGolden("triangles_texture_names.smd"));
  // The line break is the one name that is not the file's.
  EXPECT_EQ(result.warnings,
            std::vector<std::string>{"The texture name of material \"S9\" holds a line break, "
                                     "which would break the file; its faces are written with "
                                     "\"null.bmp\"."});
}

TEST_F(TrianglesTest, MeshLevelFaultsSkipTheWholeMeshAndTheExportGoesOn) {
  MemoryNode& unreadable = scene_.AddNode(1, "unreadable");
  unreadable.SetMaterial(&Standard(scene_, "Plain"));
  MemoryMesh& unreadableMesh = UnitTriangle(scene_, unreadable);
  AddFace(unreadableMesh, Corners012());
  unreadableMesh.initialiseFails = true;

  // Type 2, but the host cannot read it as a mesh.
  MemoryNode& notAMesh = scene_.AddNode(2, "not a mesh");
  notAMesh.SetMaterial(&Standard(scene_, "Plain"));
  scene_.MakeObject(notAMesh, kObjectMesh);

  MemoryNode& fewFaceNormals = scene_.AddNode(3, "few face normals");
  fewFaceNormals.SetMaterial(&Standard(scene_, "Plain"));
  MemoryMesh& fewFaceNormalsMesh = UnitTriangle(scene_, fewFaceNormals);
  AddFace(fewFaceNormalsMesh, Corners012());
  fewFaceNormalsMesh.faces.push_back(Corners012());

  MemoryNode& fewRenderVertices = scene_.AddNode(4, "few render vertices");
  fewRenderVertices.SetMaterial(&Standard(scene_, "Plain"));
  MemoryMesh& fewRenderVerticesMesh = UnitTriangle(scene_, fewRenderVertices);
  fewRenderVerticesMesh.hostMesh.renderVertices.pop_back();
  AddFace(fewRenderVerticesMesh, Corners012());

  // No faces, still tested for a material.
  MemoryNode& bare = scene_.AddNode(5, "bare");
  scene_.MakeMesh(bare);

  MemoryNode& lowercase = scene_.AddNode(6, "lowercase");
  lowercase.SetMaterial(&scene_.MakeMaterial("Paint", "standard"));
  AddFace(UnitTriangle(scene_, lowercase), Corners012());

  MemoryNode& prefixed = scene_.AddNode(7, "prefixed");
  prefixed.SetMaterial(&scene_.MakeMaterial("Paint", "Standard (legacy)"));
  AddFace(UnitTriangle(scene_, prefixed), Corners012());

  scene_.MakeObject(scene_.AddNode(8, "helper"), kObjectHelper);

  MemoryNode& emptyMesh = scene_.AddNode(9, "empty");
  emptyMesh.SetMaterial(&Standard(scene_, "Plain"));
  scene_.MakeMesh(emptyMesh);

  MemoryNode& good = scene_.AddNode(10, "good");
  good.SetMaterial(&Standard(scene_, "Plain", "good.tga"));
  AddFace(UnitTriangle(scene_, good), Corners012());

  const ExportResult result = Run(scene_);
  EXPECT_EQ(result.smd, ReadGolden("triangles_mesh_faults.smd"));
  const std::string unreadableText =
      "Could not initialize bi-normal and tangents data\nfor mesh \"";
  EXPECT_EQ(result.warnings, (std::vector<std::string>{
                                 unreadableText + "unreadable\". Skipping mesh.",
                                 unreadableText + "not a mesh\". Skipping mesh.",
                                 unreadableText + "few face normals\". Skipping mesh.",
                                 unreadableText + "few render vertices\". Skipping mesh.",
                                 "Could not get a material for mesh \"bare\". Skipping mesh.\n"
                                 "Assign a Standard or Multi/Sub-Object type material to it.",
                                 "Material on mesh \"lowercase\" was neither type\n"
                                 "Standard or Multi/Sub-Object. Skipping mesh.",
                                 "Material on mesh \"prefixed\" was neither type\n"
                                 "Standard or Multi/Sub-Object. Skipping mesh.",
                             }));
}

TEST_F(TrianglesTest, SectionIsEmptyWithoutMeshesAndAbsentFromSequences) {
  scene_.MakeObject(scene_.AddNode(1, "helper"), kObjectHelper);
  MemoryNode& node = scene_.AddNode(2, "mesh");
  node.SetMaterial(&Standard(scene_, "Plain"));
  AddFace(UnitTriangle(scene_, node), Corners012());

  const ExportResult sequence = Run(scene_, kw::test::Sequence(0, 0));
  EXPECT_EQ(sequence.smd.find("triangles"), std::string::npos) << sequence.smd;
  EXPECT_EQ(sequence.smd, kw::test::ThroughSkeleton(sequence.smd));

  MemoryScene helpersOnly;
  helpersOnly.MakeObject(helpersOnly.AddNode(1, "helper"), kObjectHelper);
  const ExportResult reference = RunExport(helpersOnly);
  EXPECT_EQ(TrianglesSection(reference.smd), "triangles\nend\n");
}

TEST(IsStandardMaterialTest, OnlyTheWholeCaseSensitiveClassNameStandardCounts) {
  MemoryScene scene;
  EXPECT_TRUE(IsStandardMaterial(&scene.MakeMaterial("a", "Standard")));
  EXPECT_FALSE(IsStandardMaterial(&scene.MakeMaterial("b", "standard")));
  EXPECT_FALSE(IsStandardMaterial(&scene.MakeMaterial("c", "Standard2")));
  EXPECT_FALSE(IsStandardMaterial(&scene.MakeMaterial("d", "Standar")));
  EXPECT_FALSE(IsStandardMaterial(&scene.MakeMaterial("e", "Multi/Sub-Object")));
  EXPECT_FALSE(IsStandardMaterial(nullptr));
}

}  // namespace
