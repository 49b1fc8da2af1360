// The faces of one mesh as a reference export writes them: the checks that
// leave out a face or the rest of a mesh, each reported, and per corner the
// numbers its vertex line prints. The triangles section and the vertex
// animation file read faces only through here, so a corner gets the same
// number and the same values in both.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <deque>
#include <optional>
#include <string_view>

#include "export/face_batch.h"
#include "export/finite_values.h"
#include "export/node_registry.h"
#include "export/normals_and_links.h"
#include "export/warning_reporter.h"
#include "scene/scene_access.h"

namespace kw {

// Texture names by material id within one mesh: the scene does not change
// during an export, so a lookup that succeeded once gives the same name again.
// A failing lookup is not kept; it abandons the mesh where it happens.
class TextureNames {
 public:
  TextureNames(WarningReporter& warnings, const SceneMaterial& material)
      : warnings_(warnings), material_(material), multi_(material.IsMultiMaterial()) {}

  // The name of the faces with id; null when the rest of the mesh has to be
  // abandoned (already reported). Stays valid as long as this.
  const TextureLine* Find(int id) {
    if (last_ >= known_.size() || (multi_ && known_[last_].id != id)) {
      if (!Look(id)) return nullptr;
    }
    return &known_[last_].line;
  }

 private:
  bool Look(int id);

  struct Known {
    int id;
    TextureLine line;
  };

  WarningReporter& warnings_;
  const SceneMaterial& material_;
  bool multi_;
  // Few ids per mesh in practice; a scan beats hashing. A deque keeps the
  // lines where they are while more are added.
  std::deque<Known> known_;
  std::size_t last_ = 0;
};

enum class FaceRead {
  kWrite,    // the face is written
  kSkip,     // left out, reported
  kEndMesh,  // left out with the rest of the mesh, reported
};

class MeshFaces {
 public:
  explicit MeshFaces(WarningReporter& warnings) : warnings_(warnings) {}

  // Whether the record's mesh can be written at all; reported when not.
  bool Open(const NodeRecord& record);

  // After Open.
  const char* NodeName() const { return nodeName_; }
  SceneMesh& Mesh() const { return *mesh_; }
  const IGameSkin* Skin() const { return skin_; }
  int VertexCount() const { return vertexCount_; }
  int FaceCount() const { return faceCount_; }
  // What the stored normals are turned by: the node at tick 0 without scale.
  const Matrix3& NormalMatrix() const { return normalMatrix_; }

  // Face i, in order from 0: its corners' positions, normals, texture
  // coordinates and indices (not their links) and its texture line, valid
  // as long as this.
  FaceRead Read(int i, MeshFace* face, CornerValues (&corners)[3], const TextureLine** texture);

 private:
  static bool TooLong(const std::array<Point3, 3>& normals) {
    // NaN compares false and passes, as the host's test lets it.
    for (const Point3& normal : normals) {
      // A squared length below 1.2 is at most 1.0955 long: no root needed.
      const double x = normal.x;
      const double y = normal.y;
      const double z = normal.z;
      if (x * x + y * y + z * z < 1.2) continue;
      if (static_cast<double>(Length(normal)) > 1.1) return true;
    }
    return false;
  }
  static bool IndexOutOfRange(const std::uint32_t (&indices)[3], int count) {
    const auto bound = static_cast<std::uint32_t>(count);
    return indices[0] >= bound || indices[1] >= bound || indices[2] >= bound;
  }
  FaceRead Skip(WarningKind kind, const char* what, int i);
  FaceRead NotFinite(int i);

  WarningReporter& warnings_;
  const char* nodeName_ = "";
  SceneMesh* mesh_ = nullptr;
  const IGameSkin* skin_ = nullptr;
  const HostMesh* hostMesh_ = nullptr;
  Matrix3 normalMatrix_;
  int vertexCount_ = 0;
  int texVertexCount_ = 0;
  int faceCount_ = 0;
  std::optional<TextureNames> textures_;
  bool toldNotFinite_ = false;
};

inline FaceRead MeshFaces::Read(int i, MeshFace* face, CornerValues (&corners)[3],
                                const TextureLine** texture) {
  SceneMesh& mesh = *mesh_;
  *face = mesh.GetFace(i);
  if (IndexOutOfRange(face->vertex, vertexCount_)) {
    return Skip(WarningKind::kBadVertexIndex, "Bogus vertex index", i);
  }
  for (int k = 0; k < 3; ++k) {
    corners[k].position = mesh.GetVertex(static_cast<int>(face->vertex[k]), false);
  }
  std::array<Point3, 3> normals = CornerNormals(*hostMesh_, *face, i);
  if (TooLong(normals)) return Skip(WarningKind::kBadNormalLength, "Bogus normal length", i);
  for (Point3& normal : normals) normal = VectorTransform(normalMatrix_, normal);
  if (TooLong(normals)) {
    return Skip(WarningKind::kBadNormalLength, "Bogus normal length after transform", i);
  }
  *texture = textures_->Find(face->materialId);
  if (!*texture) return FaceRead::kEndMesh;  // the faces before stay
  if (IndexOutOfRange(face->texVertex, texVertexCount_)) {
    return Skip(WarningKind::kBadUvIndex, "Bogus UV vertex index", i);
  }
  bool finite = true;
  for (int k = 0; k < 3; ++k) {
    CornerValues& corner = corners[k];
    corner.normal = normals[static_cast<std::size_t>(k)];
    corner.uv = mesh.GetTexVertex(static_cast<int>(face->texVertex[k]));
    corner.vertex = face->vertex[k];
    corner.texVertex = face->texVertex[k];
    finite = finite && IsFinite(corner.position) && IsFinite(corner.normal) &&
             std::isfinite(corner.uv.x) && std::isfinite(corner.uv.y);
  }
  if (!finite) return NotFinite(i);
  return FaceRead::kWrite;
}

}  // namespace kw
