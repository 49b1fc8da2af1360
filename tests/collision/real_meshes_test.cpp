// Hulls of the real test models as assimp reads them: every part's hull, the
// whole model's and every merged hull is sound and holds its points
// (hull_properties.h).
#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "collision/collision.h"
#include "collision/hull_properties.h"

namespace {

using namespace kw::collision;
using kw::collision::test::ExpectSoundHull;

const std::string kModelDir = "/usr/share/assimp/models/";

struct Mesh {
  std::vector<Point3> vertices;
  std::vector<std::array<int, 3>> triangles;
};

// Every mesh in world space, in one list, vertices shared where assimp joins them.
Mesh Load(const std::string& file) {
  Assimp::Importer importer;
  const aiScene* scene = importer.ReadFile(
      kModelDir + file, aiProcess_Triangulate | aiProcess_JoinIdenticalVertices |
                            aiProcess_PreTransformVertices | aiProcess_SortByPType);
  Mesh mesh;
  EXPECT_NE(scene, nullptr) << file << ": " << importer.GetErrorString();
  if (!scene) return mesh;
  for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
    const aiMesh& in = *scene->mMeshes[m];
    const int first = static_cast<int>(mesh.vertices.size());
    for (unsigned v = 0; v < in.mNumVertices; ++v) {
      mesh.vertices.push_back({in.mVertices[v].x, in.mVertices[v].y, in.mVertices[v].z});
    }
    for (unsigned f = 0; f < in.mNumFaces; ++f) {
      if (in.mFaces[f].mNumIndices != 3) continue;
      const unsigned* i = in.mFaces[f].mIndices;
      mesh.triangles.push_back({first + int(i[0]), first + int(i[1]), first + int(i[2])});
    }
  }
  return mesh;
}

TEST(RealMeshes, EveryPartAndEveryMergeHoldsItsVertices) {
  // file, and its parts as counted from the file's own text and buffers
  const std::map<std::string, std::size_t> models = {
      {"Collada/duck.dae", 1},
      {"OBJ/spider.obj", 18},
      {"glTF/CesiumMilkTruck/CesiumMilkTruck.gltf", 13}};
  for (const auto& model : models) {
    SCOPED_TRACE(model.first);
    const Mesh mesh = Load(model.first);
    const std::vector<Part> parts = ConnectedParts(mesh.vertices, mesh.triangles);
    EXPECT_EQ(parts.size(), model.second);
    std::vector<ConvexHull> hulls;
    std::vector<std::vector<Point3>> points;
    for (const Part& part : parts) {
      points.push_back(PointsOf(part, mesh.vertices));
      hulls.push_back(Hull(points.back()));
      SCOPED_TRACE(testing::Message() << "part " << hulls.size() - 1);
      ExpectSoundHull(hulls.back(), points.back());
    }
    // The whole model as one hull, and its parts merged down to 3 pieces.
    ExpectSoundHull(Hull(mesh.vertices), mesh.vertices);
    for (const MergedHull& piece : MergeToLimit(hulls, 3)) {
      std::vector<Point3> covered;
      for (int source : piece.sources) {
        covered.insert(covered.end(), points[source].begin(), points[source].end());
      }
      ExpectSoundHull(piece.hull, covered);
    }
  }
}

}  // namespace
