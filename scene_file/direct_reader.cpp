#include "scene_file/direct_reader.h"

#include <simdjson.h>

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

using simdjson::ondemand::value;

// The same limits as the document reader's.
constexpr int kMaxTreeDepth = 1000;
constexpr std::size_t kMaxRenderNormals = 255;
constexpr double kDegreesToRadians = 3.14159265358979323846 / 180.0;

// Anything not taken: the document reader reads the file again and says why.
struct NotTaken {};

[[noreturn]] void Refuse() { throw NotTaken{}; }

// Visits the members of an object, each with its place in names. A member
// that is unknown, repeated, or whose name is written with escapes is not
// taken. Returns the set of members seen, one bit each.
template <std::size_t N, typename Visit>
unsigned Members(value object, const std::string_view (&names)[N], Visit&& visit) {
  static_assert(N <= 32, "one bit per member");
  unsigned seen = 0;
  for (simdjson::ondemand::field member : object.get_object()) {
    const simdjson::ondemand::raw_json_string key = member.key();
    std::size_t i = 0;
    while (i < N && !key.unsafe_is_equal(names[i])) ++i;
    if (i == N || (seen & (1u << i)) != 0) Refuse();
    seen |= 1u << i;
    visit(i, member.value());
  }
  return seen;
}

bool Has(unsigned seen, std::size_t member) { return (seen & (1u << member)) != 0; }

std::int64_t IntegerIn(value v, std::int64_t low, std::int64_t high) {
  const std::int64_t i = v.get_int64();
  if (i < low || i > high) Refuse();
  return i;
}

int Int32(value v) {
  return static_cast<int>(IntegerIn(v, std::numeric_limits<std::int32_t>::min(),
                                    std::numeric_limits<std::int32_t>::max()));
}

std::uint32_t UInt32(value v) { return static_cast<std::uint32_t>(IntegerIn(v, 0, 4294967295LL)); }

float Float(value v) {
  const double d = v.get_double();
  if (!std::isfinite(d) || std::fabs(d) > FLT_MAX) Refuse();
  return static_cast<float>(d);
}

// Escapes that do not make UTF-8 (a lone surrogate) are the document
// reader's to refuse.
std::string String(value v) {
  const std::string_view text = v.get_string();
  if (!simdjson::validate_utf8(text.data(), text.size())) Refuse();
  return std::string(text);
}

// Calls read(element) for each element; returns how many there were.
template <typename Read>
std::size_t Elements(value v, Read&& read) {
  std::size_t count = 0;
  for (value element : v.get_array()) {
    read(element);
    ++count;
  }
  return count;
}

// Exactly count numbers.
void Floats(value v, float* out, std::size_t count) {
  std::size_t i = 0;
  for (value element : v.get_array()) {
    if (i == count) Refuse();
    out[i++] = Float(element);
  }
  if (i != count) Refuse();
}

Point3 ReadPoint3(value v) {
  float xyz[3];
  Floats(v, xyz, 3);
  return Point3(xyz[0], xyz[1], xyz[2]);
}

Matrix3 ReadMatrix(value v) {
  Point3 rows[4];
  std::size_t i = 0;
  for (value row : v.get_array()) {
    if (i == 4) Refuse();
    rows[i++] = ReadPoint3(row);
  }
  if (i != 4) Refuse();
  return Matrix3(rows[0], rows[1], rows[2], rows[3]);
}

void ReadIndices(value v, std::uint32_t* out) {
  std::size_t i = 0;
  for (value element : v.get_array()) {
    if (i == 3) Refuse();
    out[i++] = UInt32(element);
  }
  if (i != 3) Refuse();
}

// Room for the elements of a long array before they are read: vectors that
// grow by doubling would hold half as much again at their peak.
std::size_t CountOf(value v) { return v.count_elements(); }

std::vector<AnimationKey<Point3>> ReadPointKeys(value v) {
  std::vector<AnimationKey<Point3>> keys;
  static constexpr std::string_view kNames[] = {"tick", "value"};
  Elements(v, [&](value element) {
    AnimationKey<Point3> key;
    const unsigned seen = Members(element, kNames, [&](std::size_t member, value field) {
      if (member == 0) {
        key.tick = Int32(field);
      } else {
        key.value = ReadPoint3(field);
      }
    });
    if (seen != 3u) Refuse();
    keys.push_back(key);
  });
  return keys;
}

std::vector<AnimationKey<Quat>> ReadRotationKeys(value v) {
  std::vector<AnimationKey<Quat>> keys;
  static constexpr std::string_view kNames[] = {"tick", "quat", "euler"};
  Elements(v, [&](value element) {
    AnimationKey<Quat> key;
    const unsigned seen = Members(element, kNames, [&](std::size_t member, value field) {
      if (member == 0) {
        key.tick = Int32(field);
      } else if (member == 1) {
        float q[4];
        Floats(field, q, 4);
        if (q[0] == 0.0f && q[1] == 0.0f && q[2] == 0.0f && q[3] == 0.0f) Refuse();
        key.value = Quat(q[0], q[1], q[2], q[3]);
      } else {
        const Point3 degrees = ReadPoint3(field);
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

void ReadTransform(value v, Transform& out) {
  static constexpr std::string_view kNames[] = {"matrix", "position", "rotation", "scale"};
  out.given = true;
  out.channels = Members(v, kNames, [&](std::size_t member, value field) {
    switch (member) {
      case 0:
        out.matrix = ReadMatrix(field);
        break;
      case 1:
        out.position = ReadPointKeys(field);
        break;
      case 2:
        out.rotation = ReadRotationKeys(field);
        break;
      default:
        out.scale = ReadPointKeys(field);
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

void ReadSkin(value v, MemorySkin& skin) {
  skin.ReserveVertices(static_cast<int>(std::min<std::size_t>(
      CountOf(v), static_cast<std::size_t>(std::numeric_limits<int>::max()))));
  static constexpr std::string_view kNames[] = {"bone", "weight"};
  int vertex = 0;
  Elements(v, [&](value links) {
    Elements(links, [&](value link) {
      int bone = 0;
      float weight = 0.0f;
      const unsigned seen = Members(link, kNames, [&](std::size_t member, value field) {
        if (member == 0) {
          bone = Int32(field);
        } else {
          weight = Float(field);
        }
      });
      if (seen != 3u) Refuse();
      skin.AddLink(vertex, bone, weight);
    });
    if (vertex == std::numeric_limits<int>::max()) Refuse();
    ++vertex;
  });
}

RenderVertex ReadRenderVertex(value v) {
  static constexpr std::string_view kNames[] = {"normal", "smoothingGroup"};
  std::vector<RenderNormal> normals;
  Elements(v, [&](value element) {
    RenderNormal normal;
    const unsigned seen = Members(element, kNames, [&](std::size_t member, value field) {
      if (member == 0) {
        normal.normal = ReadPoint3(field);
      } else {
        normal.smoothingGroup = UInt32(field);
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

MeshFace ReadFace(value v) {
  static constexpr std::string_view kNames[] = {"vertex", "texVertex", "smoothingGroup",
                                                "materialId"};
  MeshFace face;
  const unsigned seen = Members(v, kNames, [&](std::size_t member, value field) {
    switch (member) {
      case 0:
        ReadIndices(field, face.vertex);
        break;
      case 1:
        ReadIndices(field, face.texVertex);
        break;
      case 2:
        face.smoothingGroup = UInt32(field);
        break;
      default:
        face.materialId = Int32(field);
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

void ReadMesh(value v, Mesh& mesh) {
  static constexpr std::string_view kNames[] = {"vertices",    "texVertices",    "faces",
                                                "faceNormals", "renderVertices", "initialiseFails"};
  MemoryMesh& data = mesh.data;
  const unsigned seen = Members(v, kNames, [&](std::size_t member, value field) {
    switch (member) {
      case 0:
        data.vertices.reserve(CountOf(field));
        Elements(field, [&](value point) { data.vertices.push_back(ReadPoint3(point)); });
        break;
      case 1:
        data.texVertices.reserve(CountOf(field));
        Elements(field, [&](value uv) {
          float xy[2];
          Floats(uv, xy, 2);
          Point2 point;
          point.x = xy[0];
          point.y = xy[1];
          data.texVertices.push_back(point);
        });
        break;
      case 2:
        data.faces.reserve(CountOf(field));
        Elements(field, [&](value face) { data.faces.push_back(ReadFace(face)); });
        break;
      case 3:
        mesh.faceNormals.reserve(CountOf(field));
        Elements(field, [&](value normal) { mesh.faceNormals.push_back(ReadPoint3(normal)); });
        break;
      case 4:
        mesh.renderVertices.reserve(CountOf(field));
        Elements(field,
                 [&](value vertex) { mesh.renderVertices.push_back(ReadRenderVertex(vertex)); });
        break;
      default:
        data.initialiseFails = field.get_bool();
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

MaterialRef ReadMaterialRef(value v) {
  MaterialRef ref;
  ref.given = true;
  ref.null = v.is_null();
  if (!ref.null) ref.key = String(v);
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

void ReadMaterials(value v, MemoryScene& scene, MaterialTable& table) {
  static constexpr std::string_view kNames[] = {"key",   "name", "class",
                                                "multi", "map",  "subMaterials"};
  static constexpr std::string_view kSlotNames[] = {"id", "material"};
  static constexpr std::string_view kMapNames[] = {"bitmap"};
  std::vector<MaterialEntry> entries;
  Elements(v, [&](value element) {
    std::string key;
    std::string name;
    std::string className;
    bool multi = false;
    bool hasMap = false;
    bool hasBitmap = false;
    std::string bitmap;
    MaterialEntry entry;
    const unsigned seen = Members(element, kNames, [&](std::size_t member, value field) {
      switch (member) {
        case 0:
          key = String(field);
          break;
        case 1:
          name = String(field);
          break;
        case 2:
          className = String(field);
          break;
        case 3:
          multi = field.get_bool();
          break;
        case 4:
          hasMap = true;
          hasBitmap = Has(
              Members(field, kMapNames, [&](std::size_t, value path) { bitmap = String(path); }),
              0);
          break;
        default:
          Elements(field, [&](value slotValue) {
            Slot slot;
            const unsigned slotSeen =
                Members(slotValue, kSlotNames, [&](std::size_t part, value item) {
                  if (part == 0) {
                    slot.id = Int32(item);
                  } else {
                    slot.material = ReadMaterialRef(item);
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

NodeEntry ReadNode(value v, MemoryScene& scene) {
  static constexpr std::string_view kNames[] = {"id",           "name",     "type",   "parent",
                                                "selected",     "excluded", "pruned", "transform",
                                                "objectOffset", "material", "skin",   "mesh"};
  NodeEntry entry;
  const unsigned seen = Members(v, kNames, [&](std::size_t member, value field) {
    switch (member) {
      case 0:
        entry.id = Int32(field);
        break;
      case 1:
        entry.name = String(field);
        break;
      case 2:
        entry.type = Int32(field);
        break;
      case 3:
        entry.hasParent = !field.is_null();
        if (entry.hasParent) entry.parentId = Int32(field);
        break;
      case 4:
        entry.selected = field.get_bool();
        break;
      case 5:
        entry.excluded = field.get_bool();
        break;
      case 6:
        entry.pruned = field.get_bool();
        break;
      case 7:
        ReadTransform(field, entry.transform);
        break;
      case 8:
        entry.hasOffset = true;
        entry.offset = ReadMatrix(field);
        break;
      case 9:
        entry.material = ReadMaterialRef(field);
        break;
      case 10:
        entry.skin = &scene.MakeSkin();
        ReadSkin(field, *entry.skin);
        break;
      default:
        entry.mesh = std::make_unique<Mesh>();
        ReadMesh(field, *entry.mesh);
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

void ReadTopLevel(simdjson::ondemand::document& document, ReadFile& file) {
  static constexpr std::string_view kNames[] = {"$schema", "version", "time", "materials", "nodes"};
  static constexpr std::string_view kTimeNames[] = {"start", "end", "ticksPerFrame"};
  int time[3] = {0, 0, 0};
  const unsigned seen = Members(document.get_value(), kNames, [&](std::size_t member, value field) {
    switch (member) {
      case 0:
        String(field);
        break;
      case 1:
        IntegerIn(field, 1, 1);
        break;
      case 2:
        if (Members(field, kTimeNames, [&](std::size_t part, value item) {
              time[part] = part == 2 ? static_cast<int>(IntegerIn(
                                           item, 1, std::numeric_limits<std::int32_t>::max()))
                                     : Int32(item);
            }) != 7u) {
          Refuse();
        }
        break;
      case 3:
        ReadMaterials(field, *file.scene, file.materials);
        break;
      default:
        Elements(field, [&](value node) { file.nodes.push_back(ReadNode(node, *file.scene)); });
        break;
    }
  });
  // Nothing may follow the scene.
  if (document.current_location().error() != simdjson::OUT_OF_BOUNDS) Refuse();
  if (!Has(seen, 1) || !Has(seen, 2)) Refuse();
  file.scene->SetTiming(time[0], time[1], time[2]);
}

}  // namespace

std::size_t DirectReaderPadding() { return simdjson::SIMDJSON_PADDING; }

std::unique_ptr<MemoryScene> ReadSceneDirect(const char* text, std::size_t size) {
  try {
    ReadFile file;
    {
      // The parser's index of the text is as large as the text; it goes
      // before the nodes are made and their normals worked out.
      simdjson::ondemand::parser parser;
      simdjson::ondemand::document document =
          parser.iterate(text, size, size + simdjson::SIMDJSON_PADDING);
      ReadTopLevel(document, file);
    }
    FinishNodes(file.nodes, file.materials, *file.scene);
    return std::move(file.scene);
  } catch (const NotTaken&) {
  } catch (const simdjson::simdjson_error&) {
  } catch (const std::bad_alloc&) {
  }
  return nullptr;
}

}  // namespace kw::scene_file
