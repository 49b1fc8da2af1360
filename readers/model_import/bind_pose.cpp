#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "readers/model_import/import_parts.h"

namespace kw::model_import {
namespace {

// Two binds of one bone agree when no entry of their matrices differs by more
// than this share of the larger translation (at least 1 unit): what float
// offsets of one bind, written by one tool, differ by.
constexpr float kSameBind = 1e-4f;

bool SameBind(const Matrix3& a, const Matrix3& b) {
  const float reach = std::max({1.0f, Length(a.GetRow(3)), Length(b.GetRow(3))});
  for (int row = 0; row < 4; ++row) {
    const Point3 d = a.GetRow(row) - b.GetRow(row);
    const float allowed = row == 3 ? kSameBind * reach : kSameBind;
    if (!(std::fabs(d.x) <= allowed && std::fabs(d.y) <= allowed && std::fabs(d.z) <= allowed)) {
      return false;
    }
  }
  return true;
}

bool IsFinite(const Matrix3& m) {
  for (int row = 0; row < 4; ++row) {
    const Point3& r = m.GetRow(row);
    if (!std::isfinite(r.x) || !std::isfinite(r.y) || !std::isfinite(r.z)) return false;
  }
  return true;
}

struct Bind {
  Matrix3 world;
  std::string mesh;  // the mesh node whose skin gave it
};

// Where assimp's readers leave the space a skin's offset matrices start from.
enum class SkinSpace {
  // The mesh node's: its reader folds the node's transform into the offsets
  // (FBX), or the two agree (MD5, MDL, SMD).
  kMeshNode,
  // The scene's, whatever the mesh node's transform: X and glTF 2 skin there.
  kScene,
  // The file's times its bind shape matrix, which the Collada reader folds
  // into the offsets: only a skeleton whose rest pose binds the skin tells
  // the matrix apart; otherwise it is taken as the identity.
  kBindShape,
};

SkinSpace SkinSpaceOf(const std::string& format) {
  if (format == "Direct3D XFile Importer" || format == "glTF2 Importer") return SkinSpace::kScene;
  if (format == "Collada Importer") return SkinSpace::kBindShape;
  return SkinSpace::kMeshNode;
}

// Where a skin puts its mesh when bound: each bone at offset^-1 times this.
Matrix3 BoundSpace(SkinSpace space, const aiMesh& mesh, const NodeTable& table,
                   const std::vector<Matrix3>& rest, const SceneFrame& frame,
                   std::size_t meshNode) {
  if (space == SkinSpace::kMeshNode) return rest[meshNode];
  if (space == SkinSpace::kScene) return frame.AsMatrix();
  std::optional<Matrix3> common;
  for (unsigned b = 0; b < mesh.mNumBones; ++b) {
    const int boneId = table.FindByName(mesh.mBones[b]->mName);
    if (boneId < 0) continue;
    const Matrix3 candidate =
        ToMatrix3(mesh.mBones[b]->mOffsetMatrix) * rest[static_cast<std::size_t>(boneId)];
    if (!common) {
      common = candidate;
    } else if (!SameBind(*common, candidate)) {
      return rest[0];
    }
  }
  return common && IsFinite(*common) ? *common : rest[0];
}

}  // namespace

void PoseAsBound(const aiScene& scene, const NodeTable& table, const SceneFrame& frame,
                 const std::string& format, std::vector<Warning>* warnings) {
  const std::size_t count = table.nodes.size();
  std::vector<Matrix3> rest(count);
  for (std::size_t id = 0; id < count; ++id) rest[id] = table.nodes[id]->GetNodeTransform(0);
  const SkinSpace skinSpace = SkinSpaceOf(format);

  // A bone's bind world transform is the one that takes its skin's vertices
  // from the bone's space back to the mesh as bound: offset^-1 * that space.
  std::vector<std::optional<Bind>> bind(count);
  std::vector<std::string> conflicts;
  for (std::size_t id = 0; id < count; ++id) {
    const aiNode& source = *table.source[id];
    for (unsigned k = 0; k < source.mNumMeshes; ++k) {
      const unsigned index = source.mMeshes[k];
      if (index >= scene.mNumMeshes || !scene.mMeshes[index]) continue;
      const aiMesh& mesh = *scene.mMeshes[index];
      if (!HasTriangles(scene, mesh) || mesh.mNumBones == 0) continue;
      const Matrix3 bound = BoundSpace(skinSpace, mesh, table, rest, frame, id);
      for (unsigned b = 0; b < mesh.mNumBones; ++b) {
        const aiBone& bone = *mesh.mBones[b];
        const int boneId = table.FindByName(bone.mName);
        if (boneId < 0) continue;
        const Matrix3 world = Inverse(ToMatrix3(bone.mOffsetMatrix)) * bound;
        if (!IsFinite(world)) continue;  // an offset without an inverse places no bone
        std::optional<Bind>& known = bind[static_cast<std::size_t>(boneId)];
        if (!known) {
          known = Bind{world, table.nodes[id]->GetName()};
        } else if (!SameBind(known->world, world) &&
                   std::find(conflicts.begin(), conflicts.end(), bone.mName.C_Str()) ==
                       conflicts.end()) {
          conflicts.push_back(bone.mName.C_Str());
          warnings->push_back(Warning{
              WarningKind::kBindConflict,
              "bone \"" + std::string(table.nodes[static_cast<std::size_t>(boneId)]->GetName()) +
                  "\" is bound differently by meshes \"" + known->mesh + "\" and \"" +
                  table.nodes[id]->GetName() + "\"; the reference takes the bind of \"" +
                  known->mesh + "\""});
        }
      }
    }
  }

  // Parents come before their children, so each world below is final when
  // a child asks for it.
  std::vector<Matrix3> world(count);
  for (std::size_t id = 0; id < count; ++id) {
    MemoryNode* node = table.nodes[id];
    MemoryNode* parent = node->GetSceneParent();
    const Matrix3 parentWorld =
        parent ? world[static_cast<std::size_t>(parent->GetNodeId())] : Matrix3();
    // Below a parent without an inverse (scaled to nothing) a bone keeps
    // its rest transform: no local one puts it at its bind.
    Matrix3 local;
    bool bound = bind[id].has_value();
    if (bound) {
      local = parent ? bind[id]->world * Inverse(parentWorld) : bind[id]->world;
      bound = IsFinite(local);
    }
    if (bound) {
      world[id] = bind[id]->world;
      node->SetLocalTransform(local);
    } else {
      world[id] = parent ? node->GetLocalTransform(0) * parentWorld : rest[id];
    }
  }
}

}  // namespace kw::model_import
