#include "readers/scene_file/document_reader.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <new>
#include <nlohmann/json.hpp>
#include <unordered_map>
#include <utility>
#include <vector>

namespace kw::scene_file {

namespace {

using Json = nlohmann::json;

// Our format nests eight levels at most; anything far deeper is not a scene.
constexpr std::size_t kMaxNesting = 64;
// No rig nests this deep; a deeper tree is taken for a damaged file.
constexpr int kMaxTreeDepth = 1000;
constexpr int kMaxRenderNormals = 255;
constexpr double kDegreesToRadians = 3.14159265358979323846 / 180.0;

std::string PointerSegment(const std::string& key) {
  std::string out;
  for (char c : key) {
    if (c == '~') {
      out += "~0";
    } else if (c == '/') {
      out += "~1";
    } else {
      out += c;
    }
  }
  return out;
}

// Builds the document like nlohmann's own DOM parser, but stops at absurd
// nesting and at a member name given twice (which the library would let
// overwrite silently).
class DocumentBuilder : public nlohmann::json_sax<Json> {
 public:
  enum class Fault { kNone, kSyntax, kTooDeep, kDuplicateMember };

  Json& Document() { return root_; }
  Fault GetFault() const { return fault_; }
  std::size_t ErrorPosition() const { return errorPosition_; }
  const std::string& ErrorText() const { return errorText_; }
  const std::string& DuplicatePath() const { return duplicatePath_; }
  const std::string& DuplicateKey() const { return duplicateKey_; }

  bool null() override { return Place(Json(nullptr)) != nullptr; }
  bool boolean(bool value) override { return Place(Json(value)) != nullptr; }
  bool number_integer(number_integer_t value) override { return Place(Json(value)) != nullptr; }
  bool number_unsigned(number_unsigned_t value) override { return Place(Json(value)) != nullptr; }
  bool number_float(number_float_t value, const string_t&) override {
    return Place(Json(value)) != nullptr;
  }
  bool string(string_t& value) override { return Place(Json(std::move(value))) != nullptr; }
  bool binary(binary_t&) override { return true; }

  bool start_object(std::size_t) override { return Open(Json::object()); }
  bool start_array(std::size_t) override { return Open(Json::array()); }
  bool end_object() override { return Close(); }
  bool end_array() override { return Close(); }

  bool key(string_t& name) override {
    Json& object = *stack_.back();
    if (object.find(name) != object.end()) {
      fault_ = Fault::kDuplicateMember;
      duplicatePath_ = OpenPath();
      duplicateKey_ = name;
      return false;
    }
    lastKey_.back() = name;
    pendingMember_ = &object[name];
    return true;
  }

  bool parse_error(std::size_t position, const std::string&,
                   const nlohmann::detail::exception& error) override {
    fault_ = Fault::kSyntax;
    errorPosition_ = position;
    errorText_ = error.what();
    return false;
  }

 private:
  Json* Place(Json&& value) {
    if (stack_.empty()) {
      root_ = std::move(value);
      return &root_;
    }
    Json& container = *stack_.back();
    if (container.is_array()) {
      container.push_back(std::move(value));
      return &container.back();
    }
    *pendingMember_ = std::move(value);
    return pendingMember_;
  }

  bool Open(Json&& empty) {
    if (stack_.size() >= kMaxNesting) {
      fault_ = Fault::kTooDeep;
      return false;
    }
    stack_.push_back(Place(std::move(empty)));
    lastKey_.emplace_back();
    return true;
  }

  bool Close() {
    stack_.pop_back();
    lastKey_.pop_back();
    return true;
  }

  // JSON pointer of the innermost open container.
  std::string OpenPath() const {
    std::string path;
    for (std::size_t i = 0; i + 1 < stack_.size(); ++i) {
      const Json& container = *stack_[i];
      path += '/';
      path +=
          container.is_array() ? std::to_string(container.size() - 1) : PointerSegment(lastKey_[i]);
    }
    return path.empty() ? "/" : path;
  }

  Json root_;
  std::vector<Json*> stack_;
  std::vector<std::string> lastKey_;
  Json* pendingMember_ = nullptr;
  Fault fault_ = Fault::kNone;
  std::size_t errorPosition_ = 0;
  std::string errorText_;
  std::string duplicatePath_;
  std::string duplicateKey_;
};

// 1-based line and column of the character at offset.
void LineAndColumn(const std::string& text, std::size_t offset, std::size_t* line,
                   std::size_t* column) {
  offset = std::min(offset, text.size());
  *line = 1;
  std::size_t lineStart = 0;
  for (std::size_t i = 0; i < offset; ++i) {
    if (text[i] == '\n') {
      ++*line;
      lineStart = i + 1;
    }
  }
  *column = offset - lineStart + 1;
}

// Where the nesting first goes past the limit; the parser stopped there.
std::size_t FirstTooDeepOffset(const std::string& text) {
  std::size_t depth = 0;
  bool inString = false;
  bool escaped = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxNesting) return i;
    } else if (c == ']' || c == '}') {
      if (depth > 0) --depth;
    }
  }
  return text.size();
}

// The library's explanation without its own prefix and location.
std::string SyntaxExplanation(const std::string& what) {
  std::size_t start = what.find("syntax error");
  if (start == std::string::npos) {
    start = what.find("] ");
    start = start == std::string::npos ? 0 : start + 2;
  }
  return what.substr(start);
}

std::string Located(const std::string& source, const std::string& text, std::size_t offset,
                    const std::string& message) {
  std::size_t line = 0;
  std::size_t column = 0;
  LineAndColumn(text, offset, &line, &column);
  return source + ":" + std::to_string(line) + ":" + std::to_string(column) + ": " + message;
}

// Where a value sits in the document, rendered as a JSON pointer only when a
// message needs it: the reader walks millions of faces and should not build
// a string for each.
struct Path {
  const Path* up = nullptr;
  const char* key = nullptr;
  std::size_t index = 0;

  Path Member(const char* name) const { return Path{this, name, 0}; }
  Path Element(std::size_t i) const { return Path{this, nullptr, i}; }

  std::string Render() const {
    if (!up) return "/";
    std::string head = up->up ? up->Render() : std::string();
    return head + "/" + (key ? PointerSegment(key) : std::to_string(index));
  }
};

struct StructureError {
  std::string path;
  std::string expected;
  std::string found;
};

[[noreturn]] void Fail(const Path& at, std::string expected, std::string found) {
  throw StructureError{at.Render(), std::move(expected), std::move(found)};
}

std::string Quoted(const std::string& text) {
  constexpr std::size_t kShown = 40;
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size() && i < kShown; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
  }
  if (text.size() > kShown) out += "...";
  return out + "\"";
}

// A short description of a value; never dumps a whole subtree.
std::string Describe(const Json& value) {
  switch (value.type()) {
    case Json::value_t::null:
      return "null";
    case Json::value_t::boolean:
      return value.get<bool>() ? "true" : "false";
    case Json::value_t::number_integer:
      return std::to_string(value.get<std::int64_t>());
    case Json::value_t::number_unsigned:
      return std::to_string(value.get<std::uint64_t>());
    case Json::value_t::number_float: {
      char text[40];
      std::snprintf(text, sizeof text, "%.9g", value.get<double>());
      std::string out = text;
      if (out.find_first_of(".eEni") == std::string::npos) out += ".0";
      return out;
    }
    case Json::value_t::string:
      return "the string " + Quoted(value.get_ref<const std::string&>());
    case Json::value_t::array:
      return "an array of " + std::to_string(value.size()) + " elements";
    case Json::value_t::object:
      return "an object";
    default:
      return "an unsupported value";
  }
}

void CheckMembers(const Json& object, const Path& at, std::initializer_list<const char*> allowed) {
  for (auto item = object.begin(); item != object.end(); ++item) {
    bool known = false;
    for (const char* name : allowed) known = known || item.key() == name;
    if (known) continue;
    std::string list;
    for (const char* name : allowed) {
      if (!list.empty()) list += ", ";
      list += name;
    }
    Fail(at.Member(item.key().c_str()), "one of the members " + list,
         "an unknown member " + Quoted(item.key()));
  }
}

const Json& Object(const Json& value, const Path& at) {
  if (!value.is_object()) Fail(at, "an object", Describe(value));
  return value;
}

// An object whose members are all known.
const Json& ObjectOf(const Json& value, const Path& at,
                     std::initializer_list<const char*> allowed) {
  CheckMembers(Object(value, at), at, allowed);
  return value;
}

const Json& Array(const Json& value, const Path& at) {
  if (!value.is_array()) Fail(at, "an array", Describe(value));
  return value;
}

const Json& Require(const Json& object, const Path& at, const char* name) {
  const auto member = object.find(name);
  if (member == object.end()) Fail(at, std::string("a member \"") + name + "\"", "none");
  return *member;
}

const Json* Optional(const Json& object, const char* name) {
  const auto member = object.find(name);
  return member == object.end() ? nullptr : &*member;
}

std::int64_t IntegerIn(const Json& value, const Path& at, std::int64_t low, std::int64_t high,
                       const char* expected) {
  if (value.is_number_unsigned()) {
    const std::uint64_t u = value.get<std::uint64_t>();
    if (u <= static_cast<std::uint64_t>(high) && static_cast<std::int64_t>(u) >= low) {
      return static_cast<std::int64_t>(u);
    }
  } else if (value.is_number_integer()) {
    const std::int64_t i = value.get<std::int64_t>();
    if (i >= low && i <= high) return i;
  }
  Fail(at, expected, Describe(value));
}

int Int32(const Json& value, const Path& at) {
  return static_cast<int>(IntegerIn(value, at, std::numeric_limits<std::int32_t>::min(),
                                    std::numeric_limits<std::int32_t>::max(),
                                    "an integer from -2147483648 to 2147483647"));
}

std::uint32_t UInt32(const Json& value, const Path& at) {
  return static_cast<std::uint32_t>(
      IntegerIn(value, at, 0, 4294967295LL, "an integer from 0 to 4294967295"));
}

float Float(const Json& value, const Path& at) {
  if (value.is_number()) {
    const double d = value.get<double>();
    if (std::isfinite(d) && std::fabs(d) <= FLT_MAX) return static_cast<float>(d);
  }
  Fail(at, "a finite number within single precision", Describe(value));
}

bool Bool(const Json& value, const Path& at) {
  if (!value.is_boolean()) Fail(at, "true or false", Describe(value));
  return value.get<bool>();
}

const std::string& String(const Json& value, const Path& at) {
  if (!value.is_string()) Fail(at, "a string", Describe(value));
  // The scene hands names over as C strings, which would end at a NUL.
  if (value.get_ref<const std::string&>().find('\0') != std::string::npos)
    Fail(at, "a string without \\u0000", Describe(value));
  return value.get_ref<const std::string&>();
}

bool OptionalBool(const Json& object, const Path& at, const char* name) {
  const Json* member = Optional(object, name);
  return member ? Bool(*member, at.Member(name)) : false;
}

void FixedArray(const Json& value, const Path& at, std::size_t size, const char* expected) {
  if (!value.is_array() || value.size() != size) Fail(at, expected, Describe(value));
}

Point3 ReadPoint3(const Json& value, const Path& at) {
  FixedArray(value, at, 3, "an array of 3 numbers");
  return Point3(Float(value[0], at.Element(0)), Float(value[1], at.Element(1)),
                Float(value[2], at.Element(2)));
}

Matrix3 ReadMatrix(const Json& value, const Path& at) {
  FixedArray(value, at, 4, "an array of 4 rows (x axis, y axis, z axis, translation)");
  return Matrix3(ReadPoint3(value[0], at.Element(0)), ReadPoint3(value[1], at.Element(1)),
                 ReadPoint3(value[2], at.Element(2)), ReadPoint3(value[3], at.Element(3)));
}

void ReadIndices(const Json& value, const Path& at, std::uint32_t* out) {
  FixedArray(value, at, 3, "an array of 3 indices");
  for (std::size_t k = 0; k < 3; ++k) out[k] = UInt32(value[k], at.Element(k));
}

std::vector<AnimationKey<Point3>> ReadPointKeys(const Json& value, const Path& at) {
  Array(value, at);
  std::vector<AnimationKey<Point3>> keys;
  keys.reserve(value.size());
  for (std::size_t i = 0; i < value.size(); ++i) {
    const Path keyAt = at.Element(i);
    const Json& key = ObjectOf(value[i], keyAt, {"tick", "value"});
    AnimationKey<Point3> out;
    out.tick = Int32(Require(key, keyAt, "tick"), keyAt.Member("tick"));
    out.value = ReadPoint3(Require(key, keyAt, "value"), keyAt.Member("value"));
    keys.push_back(out);
  }
  return keys;
}

std::vector<AnimationKey<Quat>> ReadRotationKeys(const Json& value, const Path& at) {
  Array(value, at);
  std::vector<AnimationKey<Quat>> keys;
  keys.reserve(value.size());
  for (std::size_t i = 0; i < value.size(); ++i) {
    const Path keyAt = at.Element(i);
    const Json& key = ObjectOf(value[i], keyAt, {"tick", "quat", "euler"});
    AnimationKey<Quat> out;
    out.tick = Int32(Require(key, keyAt, "tick"), keyAt.Member("tick"));
    const Json* quat = Optional(key, "quat");
    const Json* euler = Optional(key, "euler");
    if ((quat != nullptr) == (euler != nullptr)) {
      Fail(keyAt, "exactly one of the members \"quat\" and \"euler\"", quat ? "both" : "neither");
    }
    if (quat) {
      const Path quatAt = keyAt.Member("quat");
      FixedArray(*quat, quatAt, 4, "an array of 4 numbers (x, y, z, w)");
      out.value = Quat(Float((*quat)[0], quatAt.Element(0)), Float((*quat)[1], quatAt.Element(1)),
                       Float((*quat)[2], quatAt.Element(2)), Float((*quat)[3], quatAt.Element(3)));
      if (out.value.x == 0.0f && out.value.y == 0.0f && out.value.z == 0.0f &&
          out.value.w == 0.0f) {
        Fail(quatAt, "a quaternion of non-zero length", "(0, 0, 0, 0)");
      }
    } else {
      const Point3 degrees = ReadPoint3(*euler, keyAt.Member("euler"));
      const float radians[3] = {static_cast<float>(degrees.x * kDegreesToRadians),
                                static_cast<float>(degrees.y * kDegreesToRadians),
                                static_cast<float>(degrees.z * kDegreesToRadians)};
      out.value = EulerToQuat(radians);
    }
    keys.push_back(out);
  }
  return keys;
}

void ReadTransform(const Json& value, const Path& at, MemoryNode& node) {
  const Json& transform = ObjectOf(value, at, {"matrix", "position", "rotation", "scale"});
  if (const Json* matrix = Optional(transform, "matrix")) {
    if (transform.size() > 1) {
      Fail(at, "either \"matrix\" or animation keys", "both");
    }
    node.SetLocalTransform(ReadMatrix(*matrix, at.Member("matrix")));
    return;
  }
  if (const Json* keys = Optional(transform, "position")) {
    node.SetPositionKeys(ReadPointKeys(*keys, at.Member("position")));
  }
  if (const Json* keys = Optional(transform, "rotation")) {
    node.SetRotationKeys(ReadRotationKeys(*keys, at.Member("rotation")));
  }
  if (const Json* keys = Optional(transform, "scale")) {
    node.SetScaleKeys(ReadPointKeys(*keys, at.Member("scale")));
  }
}

void ReadSkin(const Json& value, const Path& at, MemorySkin& skin) {
  Array(value, at);
  for (std::size_t v = 0; v < value.size(); ++v) {
    const Path vertexAt = at.Element(v);
    const Json& links = Array(value[v], vertexAt);
    for (std::size_t k = 0; k < links.size(); ++k) {
      const Path linkAt = vertexAt.Element(k);
      const Json& link = ObjectOf(links[k], linkAt, {"bone", "weight"});
      const int bone = Int32(Require(link, linkAt, "bone"), linkAt.Member("bone"));
      const float weight = Float(Require(link, linkAt, "weight"), linkAt.Member("weight"));
      skin.AddLink(static_cast<int>(v), bone, weight);
    }
  }
}

void RequireCount(const Json& array, const Path& at, std::size_t count, const char* per) {
  if (array.size() != count) {
    Fail(at, std::to_string(count) + " elements (one per " + per + ")",
         std::to_string(array.size()) + " elements");
  }
}

void ReadMesh(const Json& value, const Path& at, MemoryMesh& mesh) {
  const Json& object = ObjectOf(
      value, at,
      {"vertices", "texVertices", "faces", "faceNormals", "renderVertices", "initialiseFails"});
  mesh.initialiseFails = OptionalBool(object, at, "initialiseFails");

  if (const Json* vertices = Optional(object, "vertices")) {
    const Path listAt = at.Member("vertices");
    Array(*vertices, listAt);
    mesh.vertices.reserve(vertices->size());
    for (std::size_t i = 0; i < vertices->size(); ++i) {
      mesh.vertices.push_back(ReadPoint3((*vertices)[i], listAt.Element(i)));
    }
  }
  if (const Json* texVertices = Optional(object, "texVertices")) {
    const Path listAt = at.Member("texVertices");
    Array(*texVertices, listAt);
    mesh.texVertices.reserve(texVertices->size());
    for (std::size_t i = 0; i < texVertices->size(); ++i) {
      const Path uvAt = listAt.Element(i);
      const Json& uv = (*texVertices)[i];
      FixedArray(uv, uvAt, 2, "an array of 2 numbers (u, v)");
      Point2 point;
      point.x = Float(uv[0], uvAt.Element(0));
      point.y = Float(uv[1], uvAt.Element(1));
      mesh.texVertices.push_back(point);
    }
  }
  if (const Json* faces = Optional(object, "faces")) {
    const Path listAt = at.Member("faces");
    Array(*faces, listAt);
    mesh.faces.reserve(faces->size());
    for (std::size_t i = 0; i < faces->size(); ++i) {
      const Path faceAt = listAt.Element(i);
      const Json& face =
          ObjectOf((*faces)[i], faceAt, {"vertex", "texVertex", "smoothingGroup", "materialId"});
      MeshFace out;
      ReadIndices(Require(face, faceAt, "vertex"), faceAt.Member("vertex"), out.vertex);
      ReadIndices(Require(face, faceAt, "texVertex"), faceAt.Member("texVertex"), out.texVertex);
      if (const Json* group = Optional(face, "smoothingGroup")) {
        out.smoothingGroup = UInt32(*group, faceAt.Member("smoothingGroup"));
      }
      if (const Json* id = Optional(face, "materialId")) {
        out.materialId = Int32(*id, faceAt.Member("materialId"));
      }
      mesh.faces.push_back(out);
    }
  }

  const Json* faceNormals = Optional(object, "faceNormals");
  const Json* renderVertices = Optional(object, "renderVertices");
  if (!faceNormals || !renderVertices) {
    mesh.ComputeNormals();
  } else {
    mesh.hostMesh.faceNormals.resize(mesh.faces.size());
    mesh.hostMesh.renderVertices.resize(mesh.vertices.size());
  }

  // The exporter indexes these by face and vertex, so the counts must match.
  if (faceNormals) {
    const Path listAt = at.Member("faceNormals");
    RequireCount(Array(*faceNormals, listAt), listAt, mesh.faces.size(), "face");
    for (std::size_t i = 0; i < faceNormals->size(); ++i) {
      mesh.hostMesh.faceNormals[i] = ReadPoint3((*faceNormals)[i], listAt.Element(i));
    }
  }
  if (renderVertices) {
    const Path listAt = at.Member("renderVertices");
    RequireCount(Array(*renderVertices, listAt), listAt, mesh.vertices.size(), "vertex");
    for (std::size_t v = 0; v < renderVertices->size(); ++v) {
      const Path vertexAt = listAt.Element(v);
      const Json& normals = Array((*renderVertices)[v], vertexAt);
      if (normals.size() > static_cast<std::size_t>(kMaxRenderNormals)) {
        Fail(vertexAt, "at most 255 normals", Describe(normals));
      }
      RenderVertex& out = mesh.hostMesh.renderVertices[v];
      out = RenderVertex();
      out.flags = static_cast<std::uint32_t>(normals.size());
      for (std::size_t k = 0; k < normals.size(); ++k) {
        const Path normalAt = vertexAt.Element(k);
        const Json& normal = ObjectOf(normals[k], normalAt, {"normal", "smoothingGroup"});
        RenderNormal entry;
        entry.normal = ReadPoint3(Require(normal, normalAt, "normal"), normalAt.Member("normal"));
        entry.smoothingGroup =
            UInt32(Require(normal, normalAt, "smoothingGroup"), normalAt.Member("smoothingGroup"));
        if (normals.size() == 1) {
          out.singleNormal = entry;
        } else {
          out.extraNormals.push_back(entry);
        }
      }
    }
  }
}

using MaterialTable = std::unordered_map<std::string, MemoryMaterial*>;

MemoryMaterial* FindMaterial(const MaterialTable& table, const Json& reference, const Path& at) {
  if (reference.is_null()) return nullptr;
  const std::string& key = String(reference, at);
  const auto found = table.find(key);
  if (found == table.end()) {
    Fail(at, "the key of a material in /materials or null", "the undefined key " + Quoted(key));
  }
  return found->second;
}

MaterialTable ReadMaterials(const Json& value, const Path& at, MemoryScene& scene) {
  Array(value, at);
  MaterialTable table;
  std::vector<MemoryMaterial*> made;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const Path materialAt = at.Element(i);
    const Json& material =
        ObjectOf(value[i], materialAt, {"key", "name", "class", "multi", "map", "subMaterials"});
    const std::string& key = String(Require(material, materialAt, "key"), materialAt.Member("key"));
    if (table.count(key)) {
      Fail(materialAt.Member("key"), "a key no other material has",
           "the repeated key " + Quoted(key));
    }
    const Json* name = Optional(material, "name");
    MemoryMaterial& out = scene.MakeMaterial(
        name ? String(*name, materialAt.Member("name")) : key,
        String(Require(material, materialAt, "class"), materialAt.Member("class")));
    if (const Json* multi = Optional(material, "multi")) {
      out.SetMultiMaterial(Bool(*multi, materialAt.Member("multi")));
    }
    if (const Json* map = Optional(material, "map")) {
      const Path mapAt = materialAt.Member("map");
      const Json& mapObject = ObjectOf(*map, mapAt, {"bitmap"});
      const Json* bitmap = Optional(mapObject, "bitmap");
      out.SetTextureMap(&scene.MakeTextureMap(
          bitmap ? String(*bitmap, mapAt.Member("bitmap")) : std::string(), bitmap != nullptr));
    }
    table.emplace(key, &out);
    made.push_back(&out);
  }
  // Slots may name materials defined later in the list.
  for (std::size_t i = 0; i < value.size(); ++i) {
    const Json* slots = Optional(value[i], "subMaterials");
    if (!slots) continue;
    // A Path points at its parent, which must outlive it: no temporaries.
    const Path materialAt = at.Element(i);
    const Path slotsAt = materialAt.Member("subMaterials");
    Array(*slots, slotsAt);
    for (std::size_t j = 0; j < slots->size(); ++j) {
      const Path slotAt = slotsAt.Element(j);
      const Json& slot = ObjectOf((*slots)[j], slotAt, {"id", "material"});
      const int id = Int32(Require(slot, slotAt, "id"), slotAt.Member("id"));
      made[i]->AddSubMaterial(
          id, FindMaterial(table, Require(slot, slotAt, "material"), slotAt.Member("material")));
    }
  }
  return table;
}

struct NodeEntry {
  int id = 0;
  bool hasParent = false;
  int parentId = 0;
  std::size_t parentEntry = 0;
  std::vector<std::size_t> children;
  MemoryNode* node = nullptr;
};

void ReadNodes(const Json& value, const Path& at, const MaterialTable& materials,
               MemoryScene& scene) {
  Array(value, at);
  std::vector<NodeEntry> entries(value.size());
  std::unordered_map<int, std::size_t> byId;
  byId.reserve(value.size());
  for (std::size_t i = 0; i < value.size(); ++i) {
    const Path nodeAt = at.Element(i);
    const Json& node = ObjectOf(value[i], nodeAt,
                                {"id", "name", "type", "parent", "selected", "excluded", "pruned",
                                 "transform", "objectOffset", "material", "skin", "mesh"});
    NodeEntry& entry = entries[i];
    entry.id = Int32(Require(node, nodeAt, "id"), nodeAt.Member("id"));
    if (!byId.emplace(entry.id, i).second) {
      Fail(nodeAt.Member("id"), "an id no other node has",
           "id " + std::to_string(entry.id) + ", already used by /nodes/" +
               std::to_string(byId[entry.id]));
    }
    String(Require(node, nodeAt, "name"), nodeAt.Member("name"));
    Int32(Require(node, nodeAt, "type"), nodeAt.Member("type"));
    const Json* parent = Optional(node, "parent");
    if (parent && !parent->is_null()) {
      entry.hasParent = true;
      entry.parentId = Int32(*parent, nodeAt.Member("parent"));
    }
  }

  std::vector<std::size_t> roots;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    NodeEntry& entry = entries[i];
    if (!entry.hasParent) {
      roots.push_back(i);
      continue;
    }
    const auto parent = byId.find(entry.parentId);
    if (parent == byId.end()) {
      Fail(at.Element(i).Member("parent"), "the id of a node in /nodes or null",
           "the unknown id " + std::to_string(entry.parentId));
    }
    entry.parentEntry = parent->second;
    entries[parent->second].children.push_back(i);
  }

  // Create parents before children, siblings in file order. A node never
  // reached from a top-level node sits on a cycle of parents.
  std::vector<std::pair<std::size_t, int>> pending;
  for (auto root = roots.rbegin(); root != roots.rend(); ++root) pending.emplace_back(*root, 1);
  while (!pending.empty()) {
    const auto [i, depth] = pending.back();
    pending.pop_back();
    NodeEntry& entry = entries[i];
    if (depth > kMaxTreeDepth) {
      Fail(at.Element(i).Member("parent"),
           "a node tree at most " + std::to_string(kMaxTreeDepth) + " levels deep",
           "a node at level " + std::to_string(depth));
    }
    const Json& node = value[i];
    entry.node = &scene.AddNode(entry.id, node["name"].get_ref<const std::string&>(),
                                entry.hasParent ? entries[entry.parentEntry].node : nullptr);
    for (auto child = entry.children.rbegin(); child != entry.children.rend(); ++child) {
      pending.emplace_back(*child, depth + 1);
    }
  }
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (!entries[i].node) {
      Fail(at.Element(i).Member("parent"), "a parent that is not among the node's own descendants",
           "id " + std::to_string(entries[i].parentId) + ", which closes a cycle of parents");
    }
  }

  for (std::size_t i = 0; i < entries.size(); ++i) {
    const Path nodeAt = at.Element(i);
    const Json& node = value[i];
    MemoryNode& out = *entries[i].node;
    out.SetSelected(OptionalBool(node, nodeAt, "selected"));
    out.SetExcluded(OptionalBool(node, nodeAt, "excluded"));
    out.SetPruned(OptionalBool(node, nodeAt, "pruned"));
    if (const Json* transform = Optional(node, "transform")) {
      ReadTransform(*transform, nodeAt.Member("transform"), out);
    }
    if (const Json* offset = Optional(node, "objectOffset")) {
      out.SetObjectOffset(ReadMatrix(*offset, nodeAt.Member("objectOffset")));
    }
    if (const Json* material = Optional(node, "material")) {
      out.SetMaterial(FindMaterial(materials, *material, nodeAt.Member("material")));
    }

    const int type = node["type"].get<int>();
    const Json* mesh = Optional(node, "mesh");
    if (mesh && type != kObjectMesh) {
      Fail(nodeAt.Member("type"), "type 2 for a node with a mesh", std::to_string(type));
    }
    MemorySkin* skin = nullptr;
    if (const Json* links = Optional(node, "skin")) {
      skin = &scene.MakeSkin();
      ReadSkin(*links, nodeAt.Member("skin"), *skin);
    }
    if (mesh) {
      MemoryMesh& meshOut = scene.MakeMesh(out);
      ReadMesh(*mesh, nodeAt.Member("mesh"), meshOut);
      meshOut.SetSkin(skin);
    } else {
      scene.MakeObject(out, type).SetSkin(skin);
    }
  }
}

std::unique_ptr<MemoryScene> ReadScene(const Json& document) {
  const Path top;
  const Json& root = ObjectOf(document, top, {"$schema", "version", "time", "materials", "nodes"});
  if (const Json* schema = Optional(root, "$schema")) String(*schema, top.Member("$schema"));
  const Path versionAt = top.Member("version");
  IntegerIn(Require(root, top, "version"), versionAt, 1, 1, "1");

  auto scene = std::make_unique<MemoryScene>();
  const Path timeAt = top.Member("time");
  const Json& time =
      ObjectOf(Require(root, top, "time"), timeAt, {"start", "end", "ticksPerFrame"});
  const int start = Int32(Require(time, timeAt, "start"), timeAt.Member("start"));
  const int end = Int32(Require(time, timeAt, "end"), timeAt.Member("end"));
  const Path ticksAt = timeAt.Member("ticksPerFrame");
  const int ticksPerFrame = static_cast<int>(
      IntegerIn(Require(time, timeAt, "ticksPerFrame"), ticksAt, 1,
                std::numeric_limits<std::int32_t>::max(), "an integer from 1 to 2147483647"));
  scene->SetTiming(start, end, ticksPerFrame);

  MaterialTable materials;
  if (const Json* list = Optional(root, "materials")) {
    materials = ReadMaterials(*list, top.Member("materials"), *scene);
  }
  if (const Json* nodes = Optional(root, "nodes")) {
    ReadNodes(*nodes, top.Member("nodes"), materials, *scene);
  }
  return scene;
}

}  // namespace

std::unique_ptr<MemoryScene> ReadSceneDocument(const std::string& text,
                                               const std::string& sourceName, std::string* error) {
  std::string ignored;
  std::string& message = error ? *error : ignored;
  message.clear();
  try {
    DocumentBuilder builder;
    if (!Json::sax_parse(text, &builder)) {
      switch (builder.GetFault()) {
        case DocumentBuilder::Fault::kTooDeep:
          message = Located(
              sourceName, text, FirstTooDeepOffset(text),
              "malformed scene: nested deeper than " + std::to_string(kMaxNesting) + " levels");
          break;
        case DocumentBuilder::Fault::kDuplicateMember:
          message = sourceName + ": at " + builder.DuplicatePath() +
                    ": expected each member once, found " + Quoted(builder.DuplicateKey()) +
                    " a second time";
          break;
        default: {
          // The library counts the offending character as read.
          const std::size_t position = builder.ErrorPosition();
          message = Located(sourceName, text, position > 0 ? position - 1 : 0,
                            "malformed JSON: " + SyntaxExplanation(builder.ErrorText()));
          break;
        }
      }
      return nullptr;
    }
    return ReadScene(builder.Document());
  } catch (const StructureError& e) {
    message = sourceName + ": at " + e.path + ": expected " + e.expected + ", found " + e.found;
  } catch (const std::bad_alloc&) {
    message = sourceName + ": not enough memory to load the scene";
  } catch (const std::exception& e) {
    message = sourceName + ": " + e.what();
  }
  return nullptr;
}

}  // namespace kw::scene_file
