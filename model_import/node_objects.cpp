#include <cstring>
#include <vector>

#include "model_import/import_parts.h"

namespace model_import {
namespace {

// The modelling package's codes for the objects the exporter leaves out.
constexpr int kObjectLight = 1;
constexpr int kObjectCamera = 4;

bool CarriesTriangles(const aiScene& scene, const aiNode& node) {
  for (unsigned k = 0; k < node.mNumMeshes; ++k) {
    const unsigned index = node.mMeshes[k];
    if (index < scene.mNumMeshes && scene.mMeshes[index] && HasTriangles(scene, *scene.mMeshes[index])) {
      return true;
    }
  }
  return false;
}

// For a file without meshes (an animation, a rig, cameras) some readers make
// up pyramids along the bones so that viewers show something; they are not
// the file's geometry.
bool IsMadeUpSkeleton(const aiScene& scene, const aiMesh& mesh) {
  if ((scene.mFlags & AI_SCENE_FLAGS_INCOMPLETE) == 0) return false;
  if (mesh.mMaterialIndex >= scene.mNumMaterials) return false;
  aiString name;
  return scene.mMaterials[mesh.mMaterialIndex]->Get(AI_MATKEY_NAME, name) == AI_SUCCESS &&
         std::strcmp(name.C_Str(), "SkeletonMaterial") == 0;
}

}  // namespace

bool HasTriangles(const aiScene& scene, const aiMesh& mesh) {
  return (mesh.mPrimitiveTypes & aiPrimitiveType_TRIANGLE) != 0 && mesh.mNumFaces > 0 &&
         mesh.mNumVertices > 0 && !IsMadeUpSkeleton(scene, mesh);
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
    if (!HasTriangles(scene, *mesh)) continue;
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
