#include "readers/scene_file/direct_reader.h"

#include "readers/scene_file/json_pull.h"
#include "readers/scene_file/two_thread_elements.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace kw::scene_file {

namespace {

// The same limits as the document reader's.
constexpr int kMaxTreeDepth = 1000;
constexpr std::size_t kMaxRenderNormals = 255;
constexpr double kDegreesToRadians = 3.14159265358979323846 / 180.0;

// Visits the members of an object, each with its place in names; visit
// reads the member's value. A member that is unknown, repeated, or whose name
// is written with escapes is not taken. Returns the set of members seen, one
// bit each.
template <std::size_t N, typename Visit>
unsigned Members(JsonPull& in, const std::string_view (&names)[N], Visit&& visit) {
  static_assert(N <= 32, "one bit per member");
  unsigned seen = 0;
  in.Expect('{');
  if (in.Consume('}')) return seen;
  do {
    const std::string_view key = in.Name();
    std::size_t i = 0;
    while (i < N && key != names[i]) ++i;
    if (i == N || (seen & (1u << i)) != 0) Refuse();
    seen |= 1u << i;
    visit(i);
  } while (in.Consume(','));
  in.Expect('}');
  return seen;
}

bool Has(unsigned seen, std::size_t member) { return (seen & (1u << member)) != 0; }

std::int64_t IntegerIn(JsonPull& in, std::int64_t low, std::int64_t high) {
  const std::int64_t i = in.Integer();
  if (i < low || i > high) Refuse();
  return i;
}

int Int32(JsonPull& in) {
  return static_cast<int>(IntegerIn(in, std::numeric_limits<std::int32_t>::min(),
                                    std::numeric_limits<std::int32_t>::max()));
}

std::uint32_t UInt32(JsonPull& in) {
  return static_cast<std::uint32_t>(IntegerIn(in, 0, 4294967295LL));
}

float Float(JsonPull& in) {
  const double d = in.Double();
  if (!std::isfinite(d) || std::fabs(d) > FLT_MAX) Refuse();
  return static_cast<float>(d);
}

// Calls read() for each element, which reads it; returns how many there were.
template <typename Read>
std::size_t Elements(JsonPull& in, Read&& read) {
  std::size_t count = 0;
  in.Expect('[');
  if (in.Consume(']')) return count;
  do {
    read();
    ++count;
  } while (in.Consume(','));
  in.Expect(']');
  return count;
}

// The big arrays of a mesh and a skin are read on two threads, in chunks of
// at least a sixteenth of the window: a few fit in it ahead of the reading,
// so the window's text is seldom moved.
template <typename Element, typename Read>
void BigArray(JsonPull& in, const Read& read, std::vector<Element>& out) {
  ReadElementsOnTwoThreads(in, std::max<std::size_t>(in.Window() / 16, 1), read, out);
}

// Exactly count numbers.
void Floats(JsonPull& in, float* out, std::size_t count) {
  in.Expect('[');
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) in.Expect(',');
    out[i] = Float(in);
  }
  in.Expect(']');
}

Point3 ReadPoint3(JsonPull& in) {
  float xyz[3];
  Floats(in, xyz, 3);
  return Point3(xyz[0], xyz[1], xyz[2]);
}

Point2 ReadPoint2(JsonPull& in) {
  float xy[2];
  Floats(in, xy, 2);
  Point2 point;
  point.x = xy[0];
  point.y = xy[1];
  return point;
}

Matrix3 ReadMatrix(JsonPull& in) {
  Point3 rows[4];
  in.Expect('[');
  for (std::size_t i = 0; i < 4; ++i) {
    if (i > 0) in.Expect(',');
    rows[i] = ReadPoint3(in);
  }
  in.Expect(']');
  return Matrix3(rows[0], rows[1], rows[2], rows[3]);
}

void ReadIndices(JsonPull& in, std::uint32_t* out) {
  in.Expect('[');
  for (std::size_t i = 0; i < 3; ++i) {
    if (i > 0) in.Expect(',');
    out[i] = UInt32(in);
  }
  in.Expect(']');
}

std::vector<AnimationKey<Point3>> ReadPointKeys(JsonPull& in) {
  std::vector<AnimationKey<Point3>> keys;
  static constexpr std::string_view kNames[] = {"tick", "value"};
  Elements(in, [&] {
    AnimationKey<Point3> key;
    const unsigned seen = Members(in, kNames, [&](std::size_t member) {
      if (member == 0) {
        key.tick = Int32(in);
      } else {
        key.value = ReadPoint3(in);
      }
    });
    if (seen != 3u) Refuse();
    keys.push_back(key);
  });
  return keys;
}

std::vector<AnimationKey<Quat>> ReadRotationKeys(JsonPull& in) {
  std::vector<AnimationKey<Quat>> keys;
  static constexpr std::string_view kNames[] = {"tick", "quat", "euler"};
  Elements(in, [&] {
    AnimationKey<Quat> key;
    const unsigned seen = Members(in, kNames, [&](std::size_t member) {
      if (member == 0) {
        key.tick = Int32(in);
      } else if (member == 1) {
        float q[4];
        Floats(in, q, 4);
        if (q[0] == 0.0f && q[1] == 0.0f && q[2] == 0.0f && q[3] == 0.0f) Refuse();
        key.value = Quat(q[0], q[1], q[2], q[3]);
      } else {
        const Point3 degrees = ReadPoint3(in);
        const float radians[3] = {static_cast<float>(degrees.x * kDegreesToRadians),
                                  static_cast<float>(degrees.y * kDegreesToRadians),
                                  static_cast<float>(degrees.z * kDegreesToRadians)};
        key.value = EulerToQuat(radians);
      }
    });
    if (!Has(seen, 0) || Has(seen, 1) == Has(seen, 2)) Refuse();
    keys.push_back(key);
  });
  return keys;
}

// A node's transform as read, set on the node once it exists.
struct Transform {
  bool given = false;
  unsigned channels = 0;  // bits: matrix, position, rotation, scale
  Matrix3 matrix;
  std::vector<AnimationKey<Point3>> position;
  std::vector<AnimationKey<Quat>> rotation;
  std::vector<AnimationKey<Point3>> scale;
};

void ReadTransform(JsonPull& in, Transform& out) {
  static constexpr std::string_view kNames[] = {"matrix", "position", "rotation", "scale"};
  out.given = true;
  out.channels = Members(in, kNames, [&](std::size_t member) {
    switch (member) {
      case 0:
        out.matrix = ReadMatrix(in);
        break;
      case 1:
        out.position = ReadPointKeys(in);
        break;
      case 2:
        out.rotation = ReadRotationKeys(in);
        break;
      default:
        out.scale = ReadPointKeys(in);
        break;
    }
  });
  if (Has(out.channels, 0) && out.channels != 1u) Refuse();
}

void ApplyTransform(Transform& transform, MemoryNode& node) {
  if (!transform.given) return;
  if (Has(transform.channels, 0)) {
    node.SetLocalTransform(transform.matrix);
    return;
  }
  if (Has(transform.channels, 1)) node.SetPositionKeys(std::move(transform.position));
  if (Has(transform.channels, 2)) node.SetRotationKeys(std::move(transform.rotation));
  if (Has(transform.channels, 3)) node.SetScaleKeys(std::move(transform.scale));
}

struct SkinLink {
  int bone = 0;
  float weight = 0.0f;
};

// One vertex's links: nearly always four or fewer, kept in place.
struct VertexLinks {
  static constexpr std::size_t kInPlace = 4;
  std::size_t count = 0;
  SkinLink inPlace[kInPlace];
  std::vector<SkinLink> more;
};

VertexLinks ReadVertexLinks(JsonPull& in) {
  static constexpr std::string_view kNames[] = {"bone", "weight"};
  VertexLinks links;
  Elements(in, [&] {
    SkinLink link;
    const unsigned seen = Members(in, kNames, [&](std::size_t member) {
      if (member == 0) {
        link.bone = Int32(in);
      } else {
        link.weight = Float(in);
      }
    });
    if (seen != 3u) Refuse();
    if (links.count < VertexLinks::kInPlace) {
      links.inPlace[links.count] = link;
    } else {
      links.more.push_back(link);
    }
    ++links.count;
  });
  return links;
}

void ReadSkin(JsonPull& in, MemorySkin& skin) {
  std::vector<VertexLinks> vertices;
  BigArray(in, ReadVertexLinks, vertices);
  if (vertices.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) Refuse();
  skin.ReserveVertices(static_cast<int>(vertices.size()));
  for (std::size_t v = 0; v < vertices.size(); ++v) {
    const VertexLinks& links = vertices[v];
    for (std::size_t k = 0; k < links.count; ++k) {
      const SkinLink& link =
          k < VertexLinks::kInPlace ? links.inPlace[k] : links.more[k - VertexLinks::kInPlace];
      skin.AddLink(static_cast<int>(v), link.bone, link.weight);
    }
  }
}

RenderVertex ReadRenderVertex(JsonPull& in) {
  static constexpr std::string_view kNames[] = {"normal", "smoothingGroup"};
  std::vector<RenderNormal> normals;
  Elements(in, [&] {
    RenderNormal normal;
    const unsigned seen = Members(in, kNames, [&](std::size_t member) {
      if (member == 0) {
        normal.normal = ReadPoint3(in);
      } else {
        normal.smoothingGroup = UInt32(in);
      }
    });
    if (seen != 3u) Refuse();
    normals.push_back(normal);
  });
  if (normals.size() > kMaxRenderNormals) Refuse();
  RenderVertex out;
  out.flags = static_cast<std::uint32_t>(normals.size());
  if (normals.size() == 1) {
    out.singleNormal = normals[0];
  } else {
    out.extraNormals = std::move(normals);
  }
  return out;
}

MeshFace ReadFace(JsonPull& in) {
  static constexpr std::string_view kNames[] = {"vertex", "texVertex", "smoothingGroup",
                                                "materialId"};
  MeshFace face;
  const unsigned seen = Members(in, kNames, [&](std::size_t member) {
    switch (member) {
      case 0:
        ReadIndices(in, face.vertex);
        break;
      case 1:
        ReadIndices(in, face.texVertex);
        break;
      case 2:
        face.smoothingGroup = UInt32(in);
        break;
      default:
        face.materialId = Int32(in);
        break;
    }
  });
  if ((seen & 3u) != 3u) Refuse();
  return face;
}

// A mesh as read; its arrays move into the scene's mesh once the node exists.
struct Mesh {
  MemoryMesh data;
  bool hasFaceNormals = false;
  bool hasRenderVertices = false;
  std::vector<Point3> faceNormals;
  std::vector<RenderVertex> renderVertices;
};

void ReadMesh(JsonPull& in, Mesh& mesh) {
  static constexpr std::string_view kNames[] = {"vertices",    "texVertices",    "faces",
                                                "faceNormals", "renderVertices", "initialiseFails"};
  MemoryMesh& data = mesh.data;
  const unsigned seen = Members(in, kNames, [&](std::size_t member) {
    switch (member) {
      case 0:
        BigArray(in, ReadPoint3, data.vertices);
        break;
      case 1:
        BigArray(in, ReadPoint2, data.texVertices);
        break;
      case 2:
        BigArray(in, ReadFace, data.faces);
        break;
      case 3:
        BigArray(in, ReadPoint3, mesh.faceNormals);
        break;
      case 4:
        BigArray(in, ReadRenderVertex, mesh.renderVertices);
        break;
      default:
        data.initialiseFails = in.Bool();
        break;
    }
  });
  mesh.hasFaceNormals = Has(seen, 3);
  mesh.hasRenderVertices = Has(seen, 4);
  // The exporter indexes these by face and vertex, so the counts must match.
  if (mesh.hasFaceNormals && mesh.faceNormals.size() != data.faces.size()) Refuse();
  if (mesh.hasRenderVertices && mesh.renderVertices.size() != data.vertices.size()) Refuse();
}

void MoveMesh(Mesh& mesh, MemoryMesh& out) {
  out.vertices = std::move(mesh.data.vertices);
  out.texVertices = std::move(mesh.data.texVertices);
  out.faces = std::move(mesh.data.faces);
  out.initialiseFails = mesh.data.initialiseFails;
  if (!mesh.hasFaceNormals || !mesh.hasRenderVertices) out.ComputeNormals();
  if (mesh.hasFaceNormals) out.hostMesh.faceNormals = std::move(mesh.faceNormals);
  if (mesh.hasRenderVertices) out.hostMesh.renderVertices = std::move(mesh.renderVertices);
}

// A material reference: absent, null, or a key.
struct MaterialRef {
  bool given = false;
  bool null = false;
  std::string key;
};

MaterialRef ReadMaterialRef(JsonPull& in) {
  MaterialRef ref;
  ref.given = true;
  ref.null = in.Null();
  if (!ref.null) ref.key = in.String();
  return ref;
}

struct Slot {
  int id = 0;
  MaterialRef material;
};

struct MaterialEntry {
  MemoryMaterial* made = nullptr;
  std::vector<Slot> slots;
};

using MaterialTable = std::unordered_map<std::string, MemoryMaterial*>;

MemoryMaterial* Resolve(const MaterialTable& table, const MaterialRef& ref) {
  if (ref.null) return nullptr;
  const auto found = table.find(ref.key);
  if (found == table.end()) Refuse();
  return found->second;
}

void ReadMaterials(JsonPull& in, MemoryScene& scene, MaterialTable& table) {
  static constexpr std::string_view kNames[] = {"key",   "name", "class",
                                                "multi", "map",  "subMaterials"};
  static constexpr std::string_view kSlotNames[] = {"id", "material"};
  static constexpr std::string_view kMapNames[] = {"bitmap"};
  std::vector<MaterialEntry> entries;
  Elements(in, [&] {
    std::string key;
    std::string name;
    std::string className;
    bool multi = false;
    bool hasMap = false;
    bool hasBitmap = false;
    std::string bitmap;
    MaterialEntry entry;
    const unsigned seen = Members(in, kNames, [&](std::size_t member) {
      switch (member) {
        case 0:
          key = in.String();
          break;
        case 1:
          name = in.String();
          break;
        case 2:
          className = in.String();
          break;
        case 3:
          multi = in.Bool();
          break;
        case 4:
          hasMap = true;
          hasBitmap = Has(Members(in, kMapNames, [&](std::size_t) { bitmap = in.String(); }), 0);
          break;
        default:
          Elements(in, [&] {
            Slot slot;
            const unsigned slotSeen = Members(in, kSlotNames, [&](std::size_t part) {
              if (part == 0) {
                slot.id = Int32(in);
              } else {
                slot.material = ReadMaterialRef(in);
              }
            });
            if (slotSeen != 3u) Refuse();
            entry.slots.push_back(std::move(slot));
          });
          break;
      }
    });
    if (!Has(seen, 0) || !Has(seen, 2) || table.count(key)) Refuse();
    MemoryMaterial& made = scene.MakeMaterial(Has(seen, 1) ? name : key, className);
    if (Has(seen, 3)) made.SetMultiMaterial(multi);
    if (hasMap) made.SetTextureMap(&scene.MakeTextureMap(bitmap, hasBitmap));
    table.emplace(key, &made);
    entry.made = &made;
    entries.push_back(std::move(entry));
  });
  // Slots may name materials defined later in the list.
  for (const MaterialEntry& entry : entries) {
    for (const Slot& slot : entry.slots)
      entry.made->AddSubMaterial(slot.id, Resolve(table, slot.material));
  }
}

struct NodeEntry {
  int id = 0;
  std::string name;
  int type = 0;
  bool hasParent = false;
  int parentId = 0;
  bool selected = false;
  bool excluded = false;
  bool pruned = false;
  Transform transform;
  bool hasOffset = false;
  Matrix3 offset;
  MaterialRef material;
  MemorySkin* skin = nullptr;
  std::unique_ptr<Mesh> mesh;

  std::size_t parentEntry = 0;
  std::vector<std::size_t> children;
  MemoryNode* node = nullptr;
};

NodeEntry ReadNode(JsonPull& in, MemoryScene& scene) {
  static constexpr std::string_view kNames[] = {"id",           "name",     "type",   "parent",
                                                "selected",     "excluded", "pruned", "transform",
                                                "objectOffset", "material", "skin",   "mesh"};
  NodeEntry entry;
  const unsigned seen = Members(in, kNames, [&](std::size_t member) {
    switch (member) {
      case 0:
        entry.id = Int32(in);
        break;
      case 1:
        entry.name = in.String();
        break;
      case 2:
        entry.type = Int32(in);
        break;
      case 3:
        entry.hasParent = !in.Null();
        if (entry.hasParent) entry.parentId = Int32(in);
        break;
      case 4:
        entry.selected = in.Bool();
        break;
      case 5:
        entry.excluded = in.Bool();
        break;
      case 6:
        entry.pruned = in.Bool();
        break;
      case 7:
        ReadTransform(in, entry.transform);
        break;
      case 8:
        entry.hasOffset = true;
        entry.offset = ReadMatrix(in);
        break;
      case 9:
        entry.material = ReadMaterialRef(in);
        break;
      case 10:
        entry.skin = &scene.MakeSkin();
        ReadSkin(in, *entry.skin);
        break;
      default:
        entry.mesh = std::make_unique<Mesh>();
        ReadMesh(in, *entry.mesh);
        break;
    }
  });
  if ((seen & 7u) != 7u) Refuse();
  if (entry.mesh && entry.type != kObjectMesh) Refuse();
  return entry;
}

// Parents before children, siblings in file order, as the document reader
// makes them; a node never reached from a top-level node sits on a cycle.
void MakeTree(std::vector<NodeEntry>& entries, MemoryScene& scene) {
  std::unordered_map<int, std::size_t> byId;
  byId.reserve(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (!byId.emplace(entries[i].id, i).second) Refuse();
  }
  std::vector<std::size_t> roots;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    NodeEntry& entry = entries[i];
    if (!entry.hasParent) {
      roots.push_back(i);
      continue;
    }
    const auto parent = byId.find(entry.parentId);
    if (parent == byId.end()) Refuse();
    entry.parentEntry = parent->second;
    entries[parent->second].children.push_back(i);
  }
  std::vector<std::pair<std::size_t, int>> pending;
  for (auto root = roots.rbegin(); root != roots.rend(); ++root) pending.emplace_back(*root, 1);
  while (!pending.empty()) {
    const auto [i, depth] = pending.back();
    pending.pop_back();
    if (depth > kMaxTreeDepth) Refuse();
    NodeEntry& entry = entries[i];
    entry.node = &scene.AddNode(entry.id, entry.name,
                                entry.hasParent ? entries[entry.parentEntry].node : nullptr);
    for (auto child = entry.children.rbegin(); child != entry.children.rend(); ++child) {
      pending.emplace_back(*child, depth + 1);
    }
  }
  for (const NodeEntry& entry : entries) {
    if (!entry.node) Refuse();
  }
}

void FinishNodes(std::vector<NodeEntry>& entries, const MaterialTable& materials,
                 MemoryScene& scene) {
  MakeTree(entries, scene);
  for (NodeEntry& entry : entries) {
    MemoryNode& out = *entry.node;
    out.SetSelected(entry.selected);
    out.SetExcluded(entry.excluded);
    out.SetPruned(entry.pruned);
    ApplyTransform(entry.transform, out);
    if (entry.hasOffset) out.SetObjectOffset(entry.offset);
    if (entry.material.given) out.SetMaterial(Resolve(materials, entry.material));
    if (entry.mesh) {
      MemoryMesh& mesh = scene.MakeMesh(out);
      MoveMesh(*entry.mesh, mesh);
      entry.mesh.reset();
      mesh.SetSkin(entry.skin);
    } else {
      scene.MakeObject(out, entry.type).SetSkin(entry.skin);
    }
  }
}

// The scene as read, before its nodes are made.
struct ReadFile {
  std::unique_ptr<MemoryScene> scene = std::make_unique<MemoryScene>();
  MaterialTable materials;
  std::vector<NodeEntry> nodes;
};

void ReadTopLevel(JsonPull& in, ReadFile& file) {
  static constexpr std::string_view kNames[] = {"$schema", "version", "time", "materials", "nodes"};
  static constexpr std::string_view kTimeNames[] = {"start", "end", "ticksPerFrame"};
  int time[3] = {0, 0, 0};
  const unsigned seen = Members(in, kNames, [&](std::size_t member) {
    switch (member) {
      case 0:
        in.String();
        break;
      case 1:
        IntegerIn(in, 1, 1);
        break;
      case 2:
        if (Members(in, kTimeNames, [&](std::size_t part) {
              time[part] =
                  part == 2
                      ? static_cast<int>(IntegerIn(in, 1, std::numeric_limits<std::int32_t>::max()))
                      : Int32(in);
            }) != 7u) {
          Refuse();
        }
        break;
      case 3:
        ReadMaterials(in, *file.scene, file.materials);
        break;
      default:
        Elements(in, [&] { file.nodes.push_back(ReadNode(in, *file.scene)); });
        break;
    }
  });
  // Nothing may follow the scene.
  if (!in.AtEnd()) Refuse();
  if (!Has(seen, 1) || !Has(seen, 2)) Refuse();
  file.scene->SetTiming(time[0], time[1], time[2]);
}

}  // namespace

std::unique_ptr<MemoryScene> ReadSceneDirect(const TextSource& source, std::size_t window) {
  try {
    ReadFile file;
    {
      JsonPull in(source, window);
      ReadTopLevel(in, file);
    }
    FinishNodes(file.nodes, file.materials, *file.scene);
    return std::move(file.scene);
  } catch (const NotTaken&) {
  } catch (const std::bad_alloc&) {
  }
  return nullptr;
}

}  // namespace kw::scene_file
