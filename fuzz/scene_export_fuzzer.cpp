// Builds a scene from the fuzz bytes through the MemoryScene builder and runs
// a whole in-memory export of it: any counts, indices, ids (repeated ones
// too), parents, flags, transforms and weights with NaN and infinity, odd
// names, materials that name each other, meshes whose host data disagree with
// their counts, any timing and any frame range that stays short enough to run.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "fuzz/fuzz_export.h"
#include "scene/memory_scene.h"

using kw::AnimationKey;
using kw::ExportOptions;
using kw::MemoryMaterial;
using kw::MemoryMesh;
using kw::MemoryNode;
using kw::MemoryScene;
using kw::MemorySkin;

namespace {

// Enough to pass the registry's 2048-entry table with a few bytes.
constexpr int kMaxBulkNodes = 2600;
constexpr int kMaxChainNodes = 300;
constexpr int kMaxNodes = 48;
constexpr int kMaxMaterials = 6;
constexpr int kMaxVertices = 12;
constexpr int kMaxFaces = 16;
constexpr int kMaxLinks = 40;
// Poses written per export; the range itself may sit anywhere.
constexpr int kMaxFrameSpan = 24;

int AnyInt(FuzzedDataProvider& in) {
  static const int kEdges[] = {0,
                               1,
                               -1,
                               160,
                               -160,
                               4800,
                               std::numeric_limits<int>::max(),
                               std::numeric_limits<int>::min(),
                               65536,
                               -65537};
  if (in.ConsumeBool()) return in.PickValueInArray(kEdges);
  return in.ConsumeIntegral<int>();
}

float AnyFloat(FuzzedDataProvider& in) {
  static const float kEdges[] = {0.0f,
                                 -0.0f,
                                 1.0f,
                                 -1.0f,
                                 0.5f,
                                 2.0f,
                                 1e-30f,
                                 1e30f,
                                 std::numeric_limits<float>::max(),
                                 -std::numeric_limits<float>::max(),
                                 std::numeric_limits<float>::denorm_min(),
                                 std::numeric_limits<float>::infinity(),
                                 -std::numeric_limits<float>::infinity(),
                                 std::numeric_limits<float>::quiet_NaN()};
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
      return in.PickValueInArray(kEdges);
    case 1:
      return static_cast<float>(in.ConsumeIntegralInRange(-4, 4));
    case 2:
      return in.ConsumeFloatingPointInRange(-10.0f, 10.0f);
    default:
      return in.ConsumeFloatingPoint<float>();
  }
}

Point3 AnyPoint(FuzzedDataProvider& in) {
  const float x = AnyFloat(in);
  const float y = AnyFloat(in);
  const float z = AnyFloat(in);
  return Point3(x, y, z);
}

Matrix3 AnyMatrix(FuzzedDataProvider& in) {
  if (in.ConsumeBool()) {
    Matrix3 m;
    m.SetTrans(AnyPoint(in));
    return m;
  }
  const Point3 x = AnyPoint(in);
  const Point3 y = AnyPoint(in);
  const Point3 z = AnyPoint(in);
  const Point3 t = AnyPoint(in);
  return Matrix3(x, y, z, t);
}

std::string AnyName(FuzzedDataProvider& in) {
  static const char* const kOdd[] = {
      "",         "\"quoted\"", "line\nbreak", "tab\there", "%s%n%d", "Kn\xC3\xB6 \xE2\x9C\x93",
      "\xFF\xFE", "C:\\maps\\", "a/b\\c.tga",  "\r"};
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
      return in.PickValueInArray(kOdd);
    case 1:
      return std::string(in.ConsumeIntegralInRange<std::size_t>(1000, 5000),
                         static_cast<char>(in.ConsumeIntegralInRange(1, 255)));
    default:
      return in.ConsumeRandomLengthString(24);
  }
}

std::string AnyClassName(FuzzedDataProvider& in) {
  static const char* const kClasses[] = {"Standard", "Multi/Sub-Object", "Standard ", "standard",
                                         "",         "Shellac"};
  return in.ConsumeBool() ? in.PickValueInArray(kClasses) : in.ConsumeRandomLengthString(12);
}

std::uint32_t AnyIndex(FuzzedDataProvider& in, std::size_t count) {
  if (in.ConsumeIntegralInRange(0, 7) == 0) return in.ConsumeIntegral<std::uint32_t>();
  return in.ConsumeIntegralInRange<std::uint32_t>(0, static_cast<std::uint32_t>(count) + 1);
}

void AddTransform(FuzzedDataProvider& in, MemoryNode& node) {
  switch (in.ConsumeIntegralInRange(0, 2)) {
    case 0:
      return;
    case 1:
      node.SetLocalTransform(AnyMatrix(in));
      return;
    default:
      break;
  }
  std::vector<AnimationKey<Point3>> positions(in.ConsumeIntegralInRange(0, 3));
  for (auto& key : positions) {
    key.tick = AnyInt(in);
    key.value = AnyPoint(in);
  }
  std::vector<AnimationKey<Quat>> rotations(in.ConsumeIntegralInRange(0, 3));
  for (auto& key : rotations) {
    key.tick = AnyInt(in);
    const float x = AnyFloat(in);
    const float y = AnyFloat(in);
    const float z = AnyFloat(in);
    const float w = AnyFloat(in);
    key.value = Quat(x, y, z, w);
  }
  std::vector<AnimationKey<Point3>> scales(in.ConsumeIntegralInRange(0, 2));
  for (auto& key : scales) {
    key.tick = AnyInt(in);
    key.value = AnyPoint(in);
  }
  node.SetPositionKeys(std::move(positions));
  node.SetRotationKeys(std::move(rotations));
  node.SetScaleKeys(std::move(scales));
}

void FillMesh(FuzzedDataProvider& in, MemoryMesh& mesh) {
  mesh.vertices.resize(in.ConsumeIntegralInRange(0, kMaxVertices));
  for (Point3& v : mesh.vertices) v = AnyPoint(in);
  mesh.texVertices.resize(in.ConsumeIntegralInRange(0, kMaxVertices));
  for (Point2& uv : mesh.texVertices) {
    uv.x = AnyFloat(in);
    uv.y = AnyFloat(in);
  }
  mesh.faces.resize(in.ConsumeIntegralInRange(0, kMaxFaces));
  for (MeshFace& face : mesh.faces) {
    for (std::uint32_t& v : face.vertex) v = AnyIndex(in, mesh.vertices.size());
    for (std::uint32_t& t : face.texVertex) t = AnyIndex(in, mesh.texVertices.size());
    face.smoothingGroup = in.ConsumeBool() ? in.ConsumeIntegralInRange<std::uint32_t>(0, 7)
                                           : in.ConsumeIntegral<std::uint32_t>();
    face.materialId = in.ConsumeBool() ? in.ConsumeIntegralInRange(-1, 3) : AnyInt(in);
  }
  mesh.initialiseFails = in.ConsumeIntegralInRange(0, 15) == 0;
  mesh.ComputeNormals();
  if (!in.ConsumeBool()) return;
  // Host data as a hand-made host may hold it: counts that disagree with the
  // mesh, flags that claim more normals than there are, any lengths.
  HostMesh& host = mesh.hostMesh;
  host.faceNormals.resize(in.ConsumeIntegralInRange<std::size_t>(0, mesh.faces.size() + 1));
  for (Point3& n : host.faceNormals) n = AnyPoint(in);
  host.renderVertices.resize(in.ConsumeIntegralInRange<std::size_t>(0, mesh.vertices.size() + 1));
  for (RenderVertex& rv : host.renderVertices) {
    rv.flags = in.ConsumeBool() ? in.ConsumeIntegralInRange<std::uint32_t>(0, 4)
                                : in.ConsumeIntegral<std::uint32_t>();
    rv.singleNormal.normal = AnyPoint(in);
    rv.singleNormal.smoothingGroup = in.ConsumeIntegral<std::uint32_t>();
    rv.extraNormals.resize(in.ConsumeIntegralInRange(0, 4));
    for (RenderNormal& n : rv.extraNormals) {
      n.normal = AnyPoint(in);
      n.smoothingGroup = in.ConsumeIntegralInRange<std::uint32_t>(0, 15);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  MemoryScene scene;
  {
    const int start = AnyInt(in);
    const int end = AnyInt(in);
    // Zero and negative ticks per frame are refused by the session; the
    // scene can still claim them.
    const int ticksPerFrame = in.ConsumeBool() ? in.ConsumeIntegralInRange(-2, 4800) : AnyInt(in);
    scene.SetTiming(start, end, ticksPerFrame);
  }

  std::vector<MemoryMaterial*> materials;
  const int materialCount = in.ConsumeIntegralInRange(0, kMaxMaterials);
  for (int i = 0; i < materialCount; ++i) {
    MemoryMaterial& material = scene.MakeMaterial(AnyName(in), AnyClassName(in));
    if (in.ConsumeIntegralInRange(0, 3) == 0) material.SetMultiMaterial(in.ConsumeBool());
    if (in.ConsumeBool()) {
      const bool hasName = in.ConsumeIntegralInRange(0, 5) != 0;
      material.SetTextureMap(&scene.MakeTextureMap(AnyName(in), hasName));
    }
    materials.push_back(&material);
  }
  // Slots may name any material, the material itself included, or none.
  for (MemoryMaterial* material : materials) {
    const int slots = in.ConsumeIntegralInRange(0, 3);
    for (int j = 0; j < slots; ++j) {
      const int id = in.ConsumeBool() ? in.ConsumeIntegralInRange(-1, 3) : AnyInt(in);
      const std::size_t pick = in.ConsumeIntegralInRange<std::size_t>(0, materials.size());
      material->AddSubMaterial(id, pick < materials.size() ? materials[pick] : nullptr);
    }
  }

  std::vector<MemoryNode*> nodes;
  std::vector<int> ids;
  const int nodeCount = in.ConsumeIntegralInRange(0, kMaxNodes);
  for (int i = 0; i < nodeCount; ++i) {
    // Mostly small ids, so that parents, skins and repeats meet.
    const int id = in.ConsumeBool() ? in.ConsumeIntegralInRange(-1, kMaxNodes) : AnyInt(in);
    MemoryNode* parent = nullptr;
    if (!nodes.empty() && in.ConsumeBool()) {
      parent = nodes[in.ConsumeIntegralInRange<std::size_t>(0, nodes.size() - 1)];
    }
    MemoryNode& node = scene.AddNode(id, AnyName(in), parent);
    nodes.push_back(&node);
    ids.push_back(id);
    const std::uint8_t flags = in.ConsumeIntegral<std::uint8_t>();
    node.SetSelected(flags & 1);
    node.SetExcluded(flags & 2);
    node.SetPruned((flags & 0x1C) == 0x1C);
    AddTransform(in, node);
    if (in.ConsumeIntegralInRange(0, 3) == 0) node.SetObjectOffset(AnyMatrix(in));
    if (!materials.empty() && in.ConsumeIntegralInRange(0, 4) != 0) {
      node.SetMaterial(materials[in.ConsumeIntegralInRange<std::size_t>(0, materials.size() - 1)]);
    }

    static const int kTypes[] = {
        kObjectMesh, kObjectMesh, kObjectHelper, kObjectBone, kObjectIkChain, 0, 1, 3};
    const int type =
        in.ConsumeIntegralInRange(0, 15) == 0 ? AnyInt(in) : in.PickValueInArray(kTypes);
    MemorySkin* skin = nullptr;
    if (in.ConsumeBool()) {
      skin = &scene.MakeSkin();
      const int links = in.ConsumeIntegralInRange(0, kMaxLinks);
      for (int k = 0; k < links; ++k) {
        const int vertex = in.ConsumeIntegralInRange(0, kMaxVertices + 1);
        const int bone = in.ConsumeBool() && !ids.empty()
                             ? ids[in.ConsumeIntegralInRange<std::size_t>(0, ids.size() - 1)]
                             : AnyInt(in);
        skin->AddLink(vertex, bone, AnyFloat(in));
      }
    }
    if (type == kObjectMesh && in.ConsumeIntegralInRange(0, 7) != 0) {
      MemoryMesh& mesh = scene.MakeMesh(node);
      FillMesh(in, mesh);
      mesh.SetSkin(skin);
    } else if (in.ConsumeIntegralInRange(0, 7) != 0) {
      scene.MakeObject(node, type).SetSkin(skin);
    }
  }

  // Many plain bones at once, to pass the table's 2048 entries, or a chain
  // (kept short: every pose walks it up to the top).
  if (in.ConsumeIntegralInRange(0, 15) == 0) {
    const bool chain = in.ConsumeBool();
    const int bulk = in.ConsumeIntegralInRange(0, chain ? kMaxChainNodes : kMaxBulkNodes);
    MemoryNode* parent = nodes.empty() ? nullptr : nodes.back();
    for (int i = 0; i < bulk; ++i) {
      MemoryNode& node = scene.AddNode(100000 + i, "bulk", chain ? parent : nullptr);
      scene.MakeObject(node, kObjectBone);
      parent = &node;
    }
  }

  ExportOptions options;
  options.exportSequence = in.ConsumeBool() ? 1 : 0;
  options.startFrame = AnyInt(in);
  const std::int64_t end =
      static_cast<std::int64_t>(options.startFrame) + in.ConsumeIntegralInRange(-2, kMaxFrameSpan);
  options.endFrame = static_cast<int>(std::clamp<std::int64_t>(end, std::numeric_limits<int>::min(),
                                                               std::numeric_limits<int>::max()));
  options.reverseSequence = in.ConsumeBool() ? 1 : 0;
  options.logWarnings = in.ConsumeBool() ? 1 : 0;
  const bool selectedOnly = in.ConsumeBool();

  kw::fuzz::ExportAndCheck(scene, options, selectedOnly);
  return 0;
}
