#include "bench/workloads.h"

#include <cmath>
#include <string>
#include <utility>

namespace kw::bench {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kMeshNodeId = 1000;
constexpr int kSubMaterials = 4;

// Everything below is a pure function of the shape and an index, so the
// memory scene and the scene file describe the same scene value for value.

int VertexIndex(const ReferenceShape& shape, int column, int row) {
  return (row % shape.rows) * shape.columns + column % shape.columns;
}

Point3 VertexAt(const ReferenceShape& shape, int column, int row) {
  const double u = 2 * kPi * column / shape.columns;
  const double v = 2 * kPi * row / shape.rows;
  const double ring = 50 + 15 * std::cos(v);
  return Point3(static_cast<float>(ring * std::cos(u)), static_cast<float>(ring * std::sin(u)),
                static_cast<float>(15 * std::sin(v)));
}

Point2 TexVertexAt(const ReferenceShape& shape, int column, int row) {
  Point2 uv;
  uv.x = static_cast<float>(column) / static_cast<float>(shape.columns);
  uv.y = 1.0f - static_cast<float>(row) / static_cast<float>(shape.rows);
  return uv;
}

// Triangle 2q and 2q + 1 split quad q; texture vertices share the indices.
MeshFace FaceAt(const ReferenceShape& shape, long long triangle) {
  const int quad = static_cast<int>(triangle / 2);
  const int column = quad % shape.columns;
  const int row = quad / shape.columns;
  const auto a = static_cast<std::uint32_t>(VertexIndex(shape, column, row));
  const auto b = static_cast<std::uint32_t>(VertexIndex(shape, column + 1, row));
  const auto c = static_cast<std::uint32_t>(VertexIndex(shape, column + 1, row + 1));
  const auto d = static_cast<std::uint32_t>(VertexIndex(shape, column, row + 1));
  MeshFace face;
  const std::uint32_t corners[2][3] = {{a, b, c}, {a, c, d}};
  for (int k = 0; k < 3; ++k) {
    face.vertex[k] = corners[triangle % 2][k];
    face.texVertex[k] = face.vertex[k];
  }
  // Blocks of 8 x 8 quads take turns among three groups, so a block corner
  // meets three of them; every 97th column is flat shaded.
  face.smoothingGroup = column % 97 == 96 ? 0u : 1u << ((column / 8 + row / 8) % 3);
  face.materialId = (column / 16 + row / 16) % kSubMaterials;
  return face;
}

struct Link {
  int boneNodeId;
  float weight;
};

Link LinkAt(const ReferenceShape& shape, int vertex, int k) {
  const int column = vertex % shape.columns;
  const int first = column * kReferenceBones / shape.columns;
  const int offsets[4] = {0, 1, 8, 32};
  const float w0 = 0.55f - 0.05f * static_cast<float>(column % 4);
  const float weights[4] = {w0, 0.25f, 0.15f, 1.0f - w0 - 0.25f - 0.15f};
  return {(first + offsets[k]) % kReferenceBones + 1, weights[k]};
}

Matrix3 BoneLocal(int bone) {
  Matrix3 local = RotateZMatrix(static_cast<float>(bone % 7) * 0.3f - 0.9f);
  if (bone == 0) {
    local.SetTrans(Point3(0.0f, 0.0f, 40.0f));
  } else {
    local.SetTrans(
        Point3(8.0f, static_cast<float>(bone % 3) - 1.0f, 0.5f * static_cast<float>(bone % 2)));
  }
  return local;
}

int BoneParent(int bone) { return bone == 0 ? -1 : (bone - 1) / 2; }

std::string BoneName(int bone) {
  char name[16];
  std::snprintf(name, sizeof name, "Bone%02d", bone + 1);
  return name;
}

Matrix3 MeshLocal() { return RotateZMatrix(0.5236f); }

std::string SubMaterialKey(int slot) { return "Skin" + std::to_string(slot); }
std::string SubMaterialBitmap(int slot) {
  return "D:\\maps\\skin" + std::to_string(slot) + "_d.tga";
}

}  // namespace

std::unique_ptr<MemoryScene> BuildReferenceScene(const ReferenceShape& shape) {
  auto scene = std::make_unique<MemoryScene>();
  scene->SetTiming(0, 100 * kTicksPerFrame, kTicksPerFrame);

  std::vector<MemoryNode*> bones(kReferenceBones);
  for (int bone = 0; bone < kReferenceBones; ++bone) {
    MemoryNode* parent = BoneParent(bone) < 0 ? nullptr : bones[BoneParent(bone)];
    bones[bone] = &scene->AddNode(bone + 1, BoneName(bone), parent);
    bones[bone]->SetLocalTransform(BoneLocal(bone));
    scene->MakeObject(*bones[bone], kObjectBone);
  }

  MemoryMaterial& multi = scene->MakeMaterial("BodyMaterial", "Multi/Sub-Object");
  for (int slot = 0; slot < kSubMaterials; ++slot) {
    MemoryMaterial& sub = scene->MakeMaterial(SubMaterialKey(slot), "Standard");
    sub.SetTextureMap(&scene->MakeTextureMap(SubMaterialBitmap(slot)));
    multi.AddSubMaterial(slot, &sub);
  }

  MemoryNode& body = scene->AddNode(kMeshNodeId, "Body");
  body.SetLocalTransform(MeshLocal());
  body.SetMaterial(&multi);
  MemoryMesh& mesh = scene->MakeMesh(body);
  const int vertexCount = shape.columns * shape.rows;
  mesh.vertices.reserve(static_cast<std::size_t>(vertexCount));
  mesh.texVertices.reserve(static_cast<std::size_t>(vertexCount));
  for (int row = 0; row < shape.rows; ++row) {
    for (int column = 0; column < shape.columns; ++column) {
      mesh.vertices.push_back(VertexAt(shape, column, row));
      mesh.texVertices.push_back(TexVertexAt(shape, column, row));
    }
  }
  mesh.faces.reserve(static_cast<std::size_t>(shape.Triangles()));
  for (long long triangle = 0; triangle < shape.Triangles(); ++triangle) {
    mesh.faces.push_back(FaceAt(shape, triangle));
  }
  mesh.ComputeNormals();

  MemorySkin& skin = scene->MakeSkin();
  for (int vertex = 0; vertex < vertexCount; ++vertex) {
    for (int k = 0; k < 4; ++k) {
      const Link link = LinkAt(shape, vertex, k);
      skin.AddLink(vertex, link.boneNodeId, link.weight);
    }
  }
  mesh.SetSkin(&skin);
  return scene;
}

void AddMorphTarget(MemoryScene& scene, int every) {
  auto& mesh = dynamic_cast<MemoryMesh&>(*scene.FindNode(kMeshNodeId)->GetObject());
  MorphTarget target{"raise", mesh.vertices, {}};
  for (std::size_t v = 0; v < target.vertices.size(); v += static_cast<std::size_t>(every)) {
    target.vertices[v].z += 0.25f;
  }
  mesh.morphTargets.push_back(std::move(target));
}

std::unique_ptr<MemoryScene> BuildSequenceScene(const SequenceShape& shape) {
  auto scene = std::make_unique<MemoryScene>();
  const int lastTick = (shape.frames - 1) * kTicksPerFrame;
  scene->SetTiming(0, lastTick, kTicksPerFrame);
  std::vector<MemoryNode*> nodes(static_cast<std::size_t>(shape.nodes));
  for (int i = 0; i < shape.nodes; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "Bone%03d", i + 1);
    MemoryNode* parent = i == 0 ? nullptr : nodes[static_cast<std::size_t>((i - 1) / 2)];
    MemoryNode& node = scene->AddNode(i + 1, name, parent);
    nodes[static_cast<std::size_t>(i)] = &node;
    scene->MakeObject(node, kObjectBone);

    const float along = i == 0 ? 0.0f : 6.0f;
    node.SetPositionKeys(
        {{0, Point3(along, 0.1f * static_cast<float>(i % 5), i == 0 ? 40.0f : 0.0f)},
         {lastTick, Point3(along + 0.5f, 0.1f * static_cast<float>(i % 5), 1.0f)}});
    std::vector<AnimationKey<Quat>> rotations;
    for (int frame = 0; frame < shape.frames + 9; frame += 10) {
      const double phase = 0.05 * frame + 0.7 * i;
      const float angles[3] = {static_cast<float>(0.4 * std::sin(phase)),
                               static_cast<float>(0.3 * std::cos(1.3 * phase)),
                               static_cast<float>(1.2 * std::sin(0.7 * phase) + 0.1 * i)};
      rotations.push_back({frame * kTicksPerFrame, EulerToQuat(angles)});
    }
    node.SetRotationKeys(std::move(rotations));
  }
  return scene;
}

namespace {

// Nine significant digits give back every float exactly.
void PutFloat(std::FILE* file, float value) {
  std::fprintf(file, "%.9g", static_cast<double>(value));
}

void PutPoint(std::FILE* file, const Point3& p) {
  std::fputc('[', file);
  PutFloat(file, p.x);
  std::fputc(',', file);
  PutFloat(file, p.y);
  std::fputc(',', file);
  PutFloat(file, p.z);
  std::fputc(']', file);
}

void PutMatrix(std::FILE* file, const Matrix3& m) {
  std::fputs("{\"matrix\":[", file);
  for (int row = 0; row < 4; ++row) {
    if (row > 0) std::fputc(',', file);
    PutPoint(file, m.GetRow(row));
  }
  std::fputs("]}", file);
}

}  // namespace

bool WriteReferenceSceneFile(const ReferenceShape& shape, std::FILE* file) {
  std::fprintf(file, "{\"version\":1,\"time\":{\"start\":0,\"end\":%d,\"ticksPerFrame\":%d},\n",
               100 * kTicksPerFrame, kTicksPerFrame);
  std::fputs(
      "\"materials\":[{\"key\":\"BodyMaterial\",\"class\":\"Multi/Sub-Object\",\"subMaterials\":[",
      file);
  for (int slot = 0; slot < kSubMaterials; ++slot) {
    std::fprintf(file, "%s{\"id\":%d,\"material\":\"%s\"}", slot ? "," : "", slot,
                 SubMaterialKey(slot).c_str());
  }
  std::fputs("]}", file);
  for (int slot = 0; slot < kSubMaterials; ++slot) {
    std::string bitmap;
    for (char c : SubMaterialBitmap(slot)) {
      if (c == '\\') bitmap += '\\';
      bitmap += c;
    }
    std::fprintf(file, ",\n{\"key\":\"%s\",\"class\":\"Standard\",\"map\":{\"bitmap\":\"%s\"}}",
                 SubMaterialKey(slot).c_str(), bitmap.c_str());
  }
  std::fputs("],\n\"nodes\":[\n", file);
  for (int bone = 0; bone < kReferenceBones; ++bone) {
    std::fprintf(file, "{\"id\":%d,\"name\":\"%s\",\"type\":%d,", bone + 1, BoneName(bone).c_str(),
                 static_cast<int>(kObjectBone));
    if (BoneParent(bone) >= 0) std::fprintf(file, "\"parent\":%d,", BoneParent(bone) + 1);
    std::fputs("\"transform\":", file);
    PutMatrix(file, BoneLocal(bone));
    std::fputs("},\n", file);
  }
  std::fprintf(file, "{\"id\":%d,\"name\":\"Body\",\"type\":%d,\"material\":\"BodyMaterial\",",
               kMeshNodeId, static_cast<int>(kObjectMesh));
  std::fputs("\"transform\":", file);
  PutMatrix(file, MeshLocal());

  const int vertexCount = shape.columns * shape.rows;
  std::fputs(",\n\"skin\":[", file);
  for (int vertex = 0; vertex < vertexCount; ++vertex) {
    std::fputs(vertex ? ",\n[" : "\n[", file);
    for (int k = 0; k < 4; ++k) {
      const Link link = LinkAt(shape, vertex, k);
      std::fprintf(file, "%s{\"bone\":%d,\"weight\":", k ? "," : "", link.boneNodeId);
      PutFloat(file, link.weight);
      std::fputc('}', file);
    }
    std::fputc(']', file);
  }
  std::fputs("],\n\"mesh\":{\"vertices\":[", file);
  for (int row = 0; row < shape.rows; ++row) {
    for (int column = 0; column < shape.columns; ++column) {
      if (row || column) std::fputc(',', file);
      std::fputc('\n', file);
      PutPoint(file, VertexAt(shape, column, row));
    }
  }
  std::fputs("],\n\"texVertices\":[", file);
  for (int row = 0; row < shape.rows; ++row) {
    for (int column = 0; column < shape.columns; ++column) {
      const Point2 uv = TexVertexAt(shape, column, row);
      std::fputs(row || column ? ",\n[" : "\n[", file);
      PutFloat(file, uv.x);
      std::fputc(',', file);
      PutFloat(file, uv.y);
      std::fputc(']', file);
    }
  }
  std::fputs("],\n\"faces\":[", file);
  for (long long triangle = 0; triangle < shape.Triangles(); ++triangle) {
    const MeshFace face = FaceAt(shape, triangle);
    std::fprintf(file,
                 "%s\n{\"vertex\":[%u,%u,%u],\"texVertex\":[%u,%u,%u],\"smoothingGroup\":%u,"
                 "\"materialId\":%d}",
                 triangle ? "," : "", face.vertex[0], face.vertex[1], face.vertex[2],
                 face.texVertex[0], face.texVertex[1], face.texVertex[2], face.smoothingGroup,
                 face.materialId);
  }
  std::fputs("]}}\n]}\n", file);
  return std::ferror(file) == 0;
}

}  // namespace kw::bench
