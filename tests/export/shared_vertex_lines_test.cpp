// Lines of vertices and materials that many faces share: each face must get
// the same text whichever face asked first, and a material id that fails
// still fails at its own face after others have succeeded.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "export/export_scene.h"
#include "support/export_harness.h"
#include "scene/memory_scene.h"

using kw::MemoryMaterial;
using kw::MemoryMesh;
using kw::MemoryNode;
using kw::MemoryScene;
using kw::MemorySkin;

namespace {

using kw::test::ExportResult;
using kw::test::RunExport;

RenderVertex Up() {
  RenderVertex vertex;
  vertex.flags = 1;
  vertex.singleNormal.normal = Point3(0, 0, 1);
  vertex.singleNormal.smoothingGroup = 1;
  return vertex;
}

MeshFace Face(std::uint32_t a, std::uint32_t b, std::uint32_t c, int materialId) {
  MeshFace face;
  face.vertex[0] = face.texVertex[0] = a;
  face.vertex[1] = face.texVertex[1] = b;
  face.vertex[2] = face.texVertex[2] = c;
  face.smoothingGroup = 1;
  face.materialId = materialId;
  return face;
}

TEST(SharedVertexLines, RepeatedFacesRepeatTheirTextAndAnUnknownIdStillAbandonsTheMesh) {
  MemoryScene scene;
  MemoryNode& plate = scene.AddNode(1, "plate");
  MemoryNode& bone = scene.AddNode(2, "bone");
  scene.MakeObject(bone, kObjectBone);

  MemoryMaterial& multi = scene.MakeMaterial("Multi", "Multi/Sub-Object");
  MemoryMaterial& a = scene.MakeMaterial("A", "Standard");
  a.SetTextureMap(&scene.MakeTextureMap("maps\\a.tga"));
  multi.AddSubMaterial(0, &a);
  multi.AddSubMaterial(1, &scene.MakeMaterial("B", "Standard"));
  plate.SetMaterial(&multi);

  MemoryMesh& mesh = scene.MakeMesh(plate);
  mesh.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
  mesh.texVertices = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
  mesh.hostMesh.renderVertices = {Up(), Up(), Up(), Up()};
  const MeshFace faces[] = {Face(0, 1, 2, 0), Face(1, 3, 2, 1), Face(0, 1, 2, 0),
                            Face(1, 3, 2, 1), Face(0, 1, 2, 5), Face(0, 1, 2, 0)};
  for (const MeshFace& face : faces) {
    mesh.faces.push_back(face);
    mesh.hostMesh.faceNormals.push_back(Point3(0, 0, 1));
  }

  MemorySkin& skin = scene.MakeSkin();
  skin.AddLink(1, 2, 0.25f);
  skin.AddLink(1, 1, 0.75f);
  // A bone outside the export binds the whole vertex to the mesh.
  skin.AddLink(2, 99, 0.5f);
  skin.AddLink(2, 2, 0.5f);
  // Longer than any text worth keeping: built again for every face.
  for (int k = 0; k < 40; ++k) skin.AddLink(3, 2, 0.5f);
  mesh.SetSkin(&skin);

  std::string many = " 40";
  for (int k = 0; k < 40; ++k) many += " 1 0.500000";
  const std::string v0 =
      "  0 0.000000 0.000000 0.000000 0.000000 0.000000 1.000000 0.000000 0.000000 1 0 1.000000\n";
  const std::string v1 =
      "  0 1.000000 0.000000 0.000000 0.000000 0.000000 1.000000 1.000000 0.000000"
      " 2 1 0.250000 0 0.750000\n";
  const std::string v2 =
      "  0 0.000000 1.000000 0.000000 0.000000 0.000000 1.000000 0.000000 1.000000 1 0 1.000000\n";
  const std::string v3 =
      "  0 1.000000 1.000000 0.000000 0.000000 0.000000 1.000000 1.000000 1.000000" + many + "\n";
  const std::string first = "a.tga\n" + v0 + v1 + v2;
  const std::string second = "null.bmp\n" + v1 + v3 + v2;

  const ExportResult result = RunExport(scene);
  const std::string smd = result.smd;
  EXPECT_EQ(smd.substr(kw::test::ThroughSkeleton(smd).size()),
            "triangles\n" + first + second + first + second + "end\n");
  EXPECT_EQ(result.warnings, (std::vector<std::string>{
                                 "Could not get Sub-Material of material \"Multi\" with ID \"6\".\n"
                                 "Check Sub-Material and mesh face IDs match.\nSkipping mesh."}));
}

}  // namespace
