#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "readers/model_import/import_parts.h"

namespace kw::model_import {
namespace {

// The modelling package's codes for the objects the exporter leaves out.
constexpr int kObjectLight = 1;
constexpr int kObjectCamera = 4;

bool CarriesTriangles(const aiScene& scene, const aiNode& node) {
  for (unsigned k = 0; k < node.mNumMeshes; ++k) {
    const unsigned index = node.mMeshes[k];
    if (index < scene.mNumMeshes && scene.mMeshes[index] &&
        HasTriangles(scene, *scene.mMeshes[index])) {
      return true;
    }
  }
  return false;
}

// A format that holds no geometry at all: whatever meshes it shows are made up.
bool IsMotionOnlyFormat(const aiScene& scene) {
  aiString format;
  return scene.mMetaData && scene.mMetaData->Get("SourceAsset_Format", format) &&
         std::strncmp(format.C_Str(), "BVH ", 4) == 0;
}

// For a file without meshes (an animation, a rig, cameras) some readers make
// up pyramids along the bones so that viewers show something; they are not
// the file's geometry. Most flag such a scene incomplete; the motion-capture
// reader does not.
bool IsMadeUpSkeleton(const aiScene& scene, const aiMesh& mesh) {
  if ((scene.mFlags & AI_SCENE_FLAGS_INCOMPLETE) == 0 && !IsMotionOnlyFormat(scene)) return false;
  if (mesh.mMaterialIndex >= scene.mNumMaterials) return false;
  aiString name;
  return scene.mMaterials[mesh.mMaterialIndex]->Get(AI_MATKEY_NAME, name) == AI_SUCCESS &&
         std::strcmp(name.C_Str(), "SkeletonMaterial") == 0;
}

std::string Percent(double share) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f%%", share * 100.0);
  return text;
}

// What concerns many meshes is said once for the file, with a count.
void SayOnce(const MeshReport& report, int maxLinks, std::vector<Warning>* warnings) {
  // "mesh "A" has ..., its faces" or "3 meshes ("A", ...) have ..., their faces".
  auto meshes = [](int count, const std::string& first, const char* one, const char* many) {
    return count == 1 ? "mesh \"" + first + "\" " + one
                      : std::to_string(count) + " meshes (\"" + first + "\", ...) " + many;
  };
  if (report.meshesWithoutUv > 0) {
    warnings->push_back(
        Warning{WarningKind::kNoTextureCoordinates,
                meshes(report.meshesWithoutUv, report.firstWithoutUv,
                       "has no texture coordinates; its faces are written with u, v = 0, 0",
                       "have no texture coordinates; their faces are written with u, v = 0, 0")});
  }
  if (report.meshesWithSecondUv > 0) {
    warnings->push_back(Warning{
        WarningKind::kExtraUvSet,
        meshes(report.meshesWithSecondUv, report.firstWithSecondUv,
               "has more than one set of texture coordinates; only the first is written",
               "have more than one set of texture coordinates; only the first is written")});
  }
  if (report.trimmedVertices > 0) {
    const std::string most = std::to_string(maxLinks);
    warnings->push_back(Warning{WarningKind::kLinksTrimmed,
                                "--max-links " + most + ": " +
                                    std::to_string(report.trimmedVertices) +
                                    (report.trimmedVertices == 1 ? " vertex" : " vertices") +
                                    " lost links (below 0.05 of the weight, or beyond the " + most +
                                    " largest); the trim loses up to " +
                                    Percent(report.largestLoss) + " of a vertex's weight"});
  }
}

}  // namespace

bool HasTriangles(const aiScene& scene, const aiMesh& mesh) {
  return (mesh.mPrimitiveTypes & aiPrimitiveType_TRIANGLE) != 0 && mesh.mNumFaces > 0 &&
         mesh.mNumVertices > 0 && !IsMadeUpSkeleton(scene, mesh);
}

void BuildObjects(const aiScene& scene, const std::string& modelPath, const NodeTable& table,
                  int maxLinks, bool geometry, MemoryScene* out, std::vector<Warning>* warnings) {
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
  MeshReport report;
  for (std::size_t id = 0; id < table.nodes.size(); ++id) {
    if (!CarriesTriangles(scene, *table.source[id])) {
      out->MakeObject(*table.nodes[id], types[id]);
    } else if (geometry) {
      BuildMesh(scene, static_cast<int>(id), table, maxLinks, &materials, out, &report, warnings);
    } else {
      out->MakeMesh(*table.nodes[id]);  // still a mesh node, which a sequence reads no further
    }
  }
  if (geometry) SayOnce(report, maxLinks, warnings);
}

}  // namespace kw::model_import
