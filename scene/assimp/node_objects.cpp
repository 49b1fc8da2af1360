#include <vector>

#include "scene/assimp/import_parts.h"

namespace model_import {
namespace {

// The modelling package's codes for the objects the exporter leaves out.
constexpr int kObjectLight = 1;
constexpr int kObjectCamera = 4;

bool CarriesTriangles(const aiScene& scene, const aiNode& node) {
  for (unsigned k = 0; k < node.mNumMeshes; ++k) {
    const unsigned index = node.mMeshes[k];
    if (index < scene.mNumMeshes && scene.mMeshes[index] && HasTriangles(*scene.mMeshes[index])) {
      return true;
    }
  }
  return false;
}

}  // namespace

bool HasTriangles(const aiMesh& mesh) {
  return (mesh.mPrimitiveTypes & aiPrimitiveType_TRIANGLE) != 0 && mesh.mNumFaces > 0 &&
         mesh.mNumVertices > 0;
}

void BuildObjects(const aiScene& scene, const std::string& modelPath, const NodeTable& table,
                  MemoryScene* out, std::vector<std::string>* warnings) {
  std::vector<int> types(table.nodes.size(), kObjectHelper);
  auto mark = [&](const aiString& name, int type) {
    const int id = table.FindByName(name);
    if (id >= 0) types[static_cast<std::size_t>(id)] = type;
  };
  for (unsigned i = 0; i < scene.mNumCameras; ++i) mark(scene.mCameras[i]->mName, kObjectCamera);
  for (unsigned i = 0; i < scene.mNumLights; ++i) mark(scene.mLights[i]->mName, kObjectLight);
  for (unsigned m = 0; m < scene.mNumMeshes; ++m) {
    const aiMesh* mesh = scene.mMeshes[m];
    for (unsigned b = 0; b < mesh->mNumBones; ++b) mark(mesh->mBones[b]->mName, kObjectBone);
  }

  MaterialTable materials(scene, modelPath, out);
  for (std::size_t id = 0; id < table.nodes.size(); ++id) {
    if (CarriesTriangles(scene, *table.source[id])) {
      BuildMesh(scene, static_cast<int>(id), table, &materials, out, warnings);
    } else {
      out->MakeObject(*table.nodes[id], types[id]);
    }
  }
}

}  // namespace model_import
