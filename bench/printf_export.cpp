#include "bench/printf_export.h"

#include <locale.h>

#include <cmath>
#include <cstring>
#include <string>

#include "export/node_registry.h"
#include "export/triangles_writer.h"

namespace kw::bench {

namespace {

constexpr float kTwoPi = 6.2831855f;  // 0x40C90FDB

double D(float value) { return static_cast<double>(value); }

float WrapAngle(float angle) {
  if (!std::isfinite(angle)) return angle;
  while (angle >= kTwoPi) {
    if (angle - kTwoPi == angle) return std::fmod(angle, kTwoPi);
    angle -= kTwoPi;
  }
  while (angle <= -kTwoPi) {
    if (angle + kTwoPi == angle) return std::fmod(angle, kTwoPi);
    angle += kTwoPi;
  }
  return angle;
}

Matrix3 WorldWithoutScale(SceneNode* node, int tick) {
  Matrix3 m = node->GetHostNode()->GetNodeTransform(tick);
  m.NoScale();
  return m;
}

class PrintfWriter {
 public:
  PrintfWriter(const NodeRegistry& nodes, const ExportOptions& options, int ticksPerFrame,
               std::FILE* file)
      : nodes_(nodes), options_(options), ticksPerFrame_(ticksPerFrame), file_(file) {}

  void WriteNodes() {
    std::fputs("nodes\n", file_);
    for (const auto& record : nodes_.Nodes()) {
      std::fprintf(file_, "%3d \"%s\" %3d\n", record->index, record->name ? record->name : "",
                   record->parentIndex);
    }
    std::fputs("end\n", file_);
  }

  void WriteSkeleton() {
    std::fputs("skeleton\n", file_);
    const int step = ticksPerFrame_;
    long long first = 0;
    long long last = 0;
    if (options_.exportSequence) {
      first = static_cast<long long>(options_.startFrame) * step;
      last = static_cast<long long>(options_.endFrame) * step;
    }
    int pose = 0;
    if (!options_.reverseSequence) {
      for (long long t = first; t <= last; t += step) WritePose(pose++, static_cast<int>(t));
    } else {
      for (long long t = last; t >= first; t -= step) WritePose(pose++, static_cast<int>(t));
    }
    std::fputs("end\n", file_);
  }

  void WriteTriangles() {
    if (options_.exportSequence) return;
    std::fputs("triangles\n", file_);
    for (const auto& record : nodes_.Nodes()) {
      if (record->objectType == kObjectMesh) WriteMesh(*record);
    }
    std::fputs("end\n", file_);
  }

 private:
  int LookupNodeIndex(int nodeId) const {
    for (const auto& record : nodes_.Nodes()) {
      if (record->nodeId == nodeId) return record->index;
    }
    return -1;
  }

  void WritePose(int pose, int tick) {
    std::fprintf(file_, "time %d\n", pose);
    for (const auto& record : nodes_.Nodes()) {
      const Matrix3 n = WorldWithoutScale(record->node, tick);
      Matrix3 p;
      if (record->parentNode) {
        p = WorldWithoutScale(record->parentNode, tick);
      } else {
        p.Zero();
        p.NoRot();
        p.NoScale();
        p.NoTrans();
      }
      const Matrix3 local = n * Inverse(p);
      Point3 t = local.GetTrans();
      if (record->parentNode && record->mirroredParent) {
        t.x *= -1.0f;
        t.y *= -1.0f;
        t.z *= -1.0f;
      }
      AffineParts parts;
      decomp_affine(local, &parts);
      float angles[3];
      QuatToEuler(parts.q, angles);
      // The export writes a negative zero as zero.
      std::fprintf(file_, "%3d %f %f %f %f %f %f\n", record->index, D(t.x + 0.0f), D(t.y + 0.0f),
                   D(t.z + 0.0f), D(WrapAngle(angles[0]) + 0.0f), D(WrapAngle(angles[1]) + 0.0f),
                   D(WrapAngle(angles[2]) + 0.0f));
    }
  }

  static bool TooLong(const Point3 (&normals)[3]) {
    for (const Point3& normal : normals) {
      if (static_cast<double>(Length(normal)) > 1.1) return true;
    }
    return false;
  }

  static bool OutOfRange(const std::uint32_t (&indices)[3], int count) {
    for (std::uint32_t index : indices) {
      if (index >= static_cast<std::uint32_t>(count)) return true;
    }
    return false;
  }

  static Point3 SelectVertexNormal(const RenderVertex& vertex, std::uint32_t group,
                                   const Point3& faceNormal) {
    const std::size_t count = vertex.flags & 0xFFu;
    if (count == 1) return vertex.singleNormal.normal;
    if (count == 0 || vertex.extraNormals.empty()) return faceNormal;
    for (std::size_t k = 0; k < count && k < vertex.extraNormals.size(); ++k) {
      if ((vertex.extraNormals[k].smoothingGroup & group) != 0)
        return vertex.extraNormals[k].normal;
    }
    return vertex.extraNormals[0].normal;
  }

  static std::string TextureName(const SceneTextureMap* map) {
    const char* full = map ? map->GetBitmapFileName() : nullptr;
    if (!full) return "null.bmp";
    std::string name = full;
    if (name.find_first_of("\r\n") != std::string::npos) return "null.bmp";
    const std::size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos) name.erase(0, slash + 1);
    return name.empty() ? "null.bmp" : name;
  }

  // False when the rest of the mesh is abandoned.
  static bool FaceTexture(const SceneMaterial& material, int id, std::string* name) {
    const SceneTextureMap* map = nullptr;
    if (!material.IsMultiMaterial()) {
      map = material.GetTextureMap(0);
    } else {
      const int count = material.GetSubMaterialCount();
      int slot = 0;
      while (slot < count && material.GetSubMaterialId(slot) != id) ++slot;
      const SceneMaterial* sub = slot < count ? material.GetSubMaterial(slot) : nullptr;
      if (!sub || !IsStandardMaterial(sub)) return false;
      map = sub->GetTextureMap(0);
    }
    *name = TextureName(map);
    return true;
  }

  void WriteMesh(const NodeRecord& record) {
    IGameObject* object = record.node->GetObject();
    SceneMesh* mesh = object ? object->AsMesh() : nullptr;
    if (!mesh) return;
    const IGameSkin* skin = object->GetIGameSkin();
    Matrix3 normalMatrix = record.node->GetHostNode()->GetNodeTransform(0);
    normalMatrix.NoScale();
    mesh->PrepareBinormals();
    if (!mesh->InitialiseData()) return;
    const int vertexCount = mesh->GetVertexCount();
    const int texVertexCount = mesh->GetTexVertexCount();
    const int faceCount = mesh->GetFaceCount();
    const SceneMaterial* material = record.node->GetMaterial();
    if (!material) return;
    const char* className = material->GetClassName();
    if (!className || (std::strcmp(className, "Standard") != 0 &&
                       std::strcmp(className, "Multi/Sub-Object") != 0)) {
      return;
    }
    const HostMesh& host = mesh->GetHostMesh();
    for (int i = 0; i < faceCount; ++i) {
      const MeshFace face = mesh->GetFace(i);
      if (OutOfRange(face.vertex, vertexCount)) continue;
      Point3 positions[3];
      Point3 normals[3];
      const Point3& faceNormal = host.faceNormals[static_cast<std::size_t>(i)];
      for (int k = 0; k < 3; ++k) {
        positions[k] = mesh->GetVertex(static_cast<int>(face.vertex[k]), false);
        normals[k] = face.smoothingGroup == 0
                         ? faceNormal
                         : SelectVertexNormal(host.renderVertices[face.vertex[k]],
                                              face.smoothingGroup, faceNormal);
      }
      if (TooLong(normals)) continue;
      for (Point3& normal : normals) normal = VectorTransform(normalMatrix, normal);
      if (TooLong(normals)) continue;
      std::string texture;
      if (!FaceTexture(*material, face.materialId, &texture)) return;
      if (OutOfRange(face.texVertex, texVertexCount)) continue;

      std::fprintf(file_, "%s\n", texture.c_str());
      for (int k = 0; k < 3; ++k) {
        const Point2 uv = mesh->GetTexVertex(static_cast<int>(face.texVertex[k]));
        WriteVertexLine(record.index, positions[k], normals[k], uv,
                        static_cast<int>(face.vertex[k]), skin);
      }
    }
  }

  // One fprintf for the whole line, bone links included, for up to four links.
  void WriteVertexLine(int bone, const Point3& p, const Point3& n, const Point2& uv, int vertex,
                       const IGameSkin* skin) {
    int count = skin ? skin->GetBoneCount(vertex) : 0;
    for (int k = 0; k < count; ++k) {
      if (LookupNodeIndex(skin->GetBoneNodeId(vertex, k)) == -1) count = 0;
    }
    int bones[4];
    double weights[4];
    for (int k = 0; k < count && k < 4; ++k) {
      bones[k] = LookupNodeIndex(skin->GetBoneNodeId(vertex, k));
      weights[k] = D(skin->GetWeight(vertex, k));
    }
#define KW_VERTEX "%3d %f %f %f %f %f %f %f %f"
#define KW_VERTEX_ARGS bone, D(p.x), D(p.y), D(p.z), D(n.x), D(n.y), D(n.z), D(uv.x), D(uv.y)
    switch (count) {
      case 0:
        std::fprintf(file_, KW_VERTEX " 1 %d 1.000000\n", KW_VERTEX_ARGS, bone);
        break;
      case 1:
        std::fprintf(file_, KW_VERTEX " 1 %d %f\n", KW_VERTEX_ARGS, bones[0], weights[0]);
        break;
      case 2:
        std::fprintf(file_, KW_VERTEX " 2 %d %f %d %f\n", KW_VERTEX_ARGS, bones[0], weights[0],
                     bones[1], weights[1]);
        break;
      case 3:
        std::fprintf(file_, KW_VERTEX " 3 %d %f %d %f %d %f\n", KW_VERTEX_ARGS, bones[0],
                     weights[0], bones[1], weights[1], bones[2], weights[2]);
        break;
      case 4:
        std::fprintf(file_, KW_VERTEX " 4 %d %f %d %f %d %f %d %f\n", KW_VERTEX_ARGS, bones[0],
                     weights[0], bones[1], weights[1], bones[2], weights[2], bones[3], weights[3]);
        break;
      default:
        std::fprintf(file_, KW_VERTEX " %d", KW_VERTEX_ARGS, count);
        for (int k = 0; k < count; ++k) {
          std::fprintf(file_, " %d %f", LookupNodeIndex(skin->GetBoneNodeId(vertex, k)),
                       D(skin->GetWeight(vertex, k)));
        }
        std::fputc('\n', file_);
        break;
    }
#undef KW_VERTEX
#undef KW_VERTEX_ARGS
  }

  const NodeRegistry& nodes_;
  const ExportOptions& options_;
  int ticksPerFrame_;
  std::FILE* file_;
};

}  // namespace

bool ExportWithPrintf(IGameScene& scene, const ExportOptions& options, std::FILE* file) {
  // The export's registry collects the nodes; only the writing is done here.
  const int ticksPerFrame = scene.GetTicksPerFrame();
  if (ticksPerFrame <= 0) return false;
  scene.Initialise(false);
  scene.SetStaticFrame(0);
  NodeRegistry nodes;
  nodes.CollectNodes(scene, false);

  const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  const locale_t previous = uselocale(c);
  std::fputs("version 1\n", file);
  PrintfWriter writer(nodes, options, ticksPerFrame, file);
  writer.WriteNodes();
  writer.WriteSkeleton();
  writer.WriteTriangles();
  uselocale(previous);
  freelocale(c);
  return std::fflush(file) == 0 && std::ferror(file) == 0;
}

}  // namespace kw::bench
