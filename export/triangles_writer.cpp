#include "export/triangles_writer.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "export/background_worker.h"
#include "export/finite_values.h"
#include "smd/quotable_name.h"
#include "export/batch_pipeline.h"
#include "export/face_batch.h"
#include "export/normals_and_links.h"
#include "smd/number_format.h"
#include "smd/text_output.h"

namespace kw {

namespace {

constexpr std::string_view kNoTexture = "null.bmp";

// Warnings print names with %s; a name the scene does not give prints empty.
const char* Printable(const char* text) { return text ? text : ""; }

bool IsClass(const SceneMaterial* material, const char* className) {
  const char* name = material ? material->GetClassName() : nullptr;
  return name && std::strcmp(name, className) == 0;
}

// The texture name of a face: the bitmap's file name after its last '\' or
// '/', of any length. A map without a usable name gives "null.bmp", as no
// map does: an empty line or a line break would break the file's structure.
// lineBreak tells the caller that a name was there but held a break.
std::string_view TextureFileName(const SceneTextureMap* map, bool* lineBreak) {
  const char* full = map ? map->GetBitmapFileName() : nullptr;
  if (!full) return kNoTexture;
  const char* file = full;
  const char* end = full;
  for (; *end != '\0'; ++end) {
    const char c = *end;
    if (c == '\\' || c == '/') {
      file = end + 1;
    } else if (c == '\n' || c == '\r') {
      *lineBreak = true;
      return kNoTexture;
    }
  }
  if (file == end) return kNoTexture;
  return std::string_view(file, static_cast<std::size_t>(end - file));
}

bool TooLong(const std::array<Point3, 3>& normals) {
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

bool IndexOutOfRange(const std::uint32_t (&indices)[3], int count) {
  const auto bound = static_cast<std::uint32_t>(count);
  return indices[0] >= bound || indices[1] >= bound || indices[2] >= bound;
}

// Sets *name to the texture name of a face with material id; false when the
// rest of the mesh has to be abandoned (already reported).
bool FaceTextureName(WarningReporter& warnings, const SceneMaterial& material, int id,
                     std::string_view* name) {
  const SceneTextureMap* map = nullptr;
  const SceneMaterial* holder = &material;
  if (!material.IsMultiMaterial()) {
    map = material.GetTextureMap(0);
  } else {
    const int count = material.GetSubMaterialCount();
    int slot = 0;
    while (slot < count && material.GetSubMaterialId(slot) != id) ++slot;
    const SceneMaterial* sub = slot < count ? material.GetSubMaterial(slot) : nullptr;
    if (!sub) {
      // Widened so that the largest id still prints as id + 1.
      warnings.Report(kw::WarningKind::kMissingSubMaterial,
                      "Could not get Sub-Material of material \"%s\" with ID \"%lld\".\n"
                      "Check Sub-Material and mesh face IDs match.\nSkipping mesh.",
                      Printable(material.GetName()), static_cast<long long>(id) + 1);
      return false;
    }
    if (!IsStandardMaterial(sub)) {
      warnings.Report(kw::WarningKind::kUnsupportedMaterial,
                      "Sub-Material of \"%s\" is not Standard type.\nSkipping mesh.",
                      Printable(material.GetName()));
      return false;
    }
    map = sub->GetTextureMap(0);
    holder = sub;
  }
  bool lineBreak = false;
  *name = TextureFileName(map, &lineBreak);
  if (lineBreak) {
    warnings.Report(kw::WarningKind::kNameReplaced,
                    "The texture name of material \"%s\" holds a line break, which would break "
                    "the file; its faces are written with \"%s\".",
                    kw::QuotableName(Printable(holder->GetName())).c_str(), kNoTexture.data());
  }
  return true;
}

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
      std::size_t k = 0;
      while (k < known_.size() && known_[k].id != id) ++k;
      if (k == known_.size()) {
        std::string_view found;
        if (!FaceTextureName(warnings_, material_, id, &found)) return nullptr;
        // A line break would split the line; a quote is kept out as in node names.
        std::string replaced;
        if (kw::NeedsReplacing(found)) {
          replaced = kw::QuotableName(found);
          warnings_.Report(kw::WarningKind::kNameReplaced,
                           "The texture name of material \"%s\" holds a double quote or a line "
                           "break, which would break the file; it is written as \"%s\".",
                           kw::QuotableName(Printable(material_.GetName())).c_str(),
                           replaced.c_str());
          found = replaced;
        }
        known_.push_back(Known{id, TextureLine(found)});
      }
      last_ = k;
    }
    return &known_[last_].line;
  }

 private:
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

// The bone-link text of each vertex, built the first time a face uses it: a
// vertex is shared by about six faces, and its weights are most of the
// numbers on its lines. The texts live in one arena allocated up front and
// touched only as it fills; past its end, or for vertices beyond the table,
// the text is built on every use.
class BoneLinkTexts {
 public:
  BoneLinkTexts(const NodeRegistry& nodes, const IGameSkin* skin, int ownIndex, int vertexCount)
      : nodes_(nodes), skin_(skin), ownIndex_(ownIndex) {
    const std::size_t vertices = static_cast<std::size_t>(vertexCount);
    const std::size_t tabled = vertices < kMaxTabled ? vertices : kMaxTabled;
    start_.assign(tabled, 0);
    length_.assign(tabled, 0);
    capacity_ = tabled * kTypicalLength < kArenaBytes ? tabled * kTypicalLength : kArenaBytes;
    // Padded so that the last text can be copied as whole words too.
    if (capacity_ > 0) arena_.reset(new char[capacity_ + kPadding]);
  }

  // The text of vertex. *kept tells that it stays valid, and readable for
  // kPadding bytes from its start, as long as this; otherwise only until
  // the next call.
  std::string_view Text(int vertex, bool* kept) {
    const auto v = static_cast<std::size_t>(vertex);
    if (v < length_.size() && length_[v] != 0) {
      *kept = true;
      return std::string_view(arena_.get() + start_[v], length_[v]);
    }
    scratch_.clear();
    AppendBoneLinks(scratch_, nodes_, vertex, skin_, ownIndex_, &weightTexts_);
    // Every text starts with ' ', so a stored length is never 0.
    if (v < length_.size() && scratch_.size() <= kMaxLength &&
        scratch_.size() <= capacity_ - used_) {
      std::memcpy(arena_.get() + used_, scratch_.data(), scratch_.size());
      start_[v] = static_cast<std::uint32_t>(used_);
      length_[v] = static_cast<std::uint8_t>(scratch_.size());
      used_ += scratch_.size();
      *kept = true;
      return std::string_view(arena_.get() + start_[v], length_[v]);
    }
    *kept = false;
    return scratch_;
  }

 private:
  // Together at most 2.5 MiB of tables and 20 MiB of text per mesh.
  static constexpr std::size_t kMaxTabled = std::size_t{1} << 19;
  static constexpr std::size_t kArenaBytes = std::size_t{20} << 20;
  static constexpr std::size_t kTypicalLength = 56;
  static constexpr std::size_t kMaxLength = 255;
  // Four links fit; such texts are copied as whole words.
  static constexpr std::size_t kPadding = 64;
  static_assert(kPadding >= FaceBatch::kPaddedLinks, "kept texts are read as whole words");

  const NodeRegistry& nodes_;
  const IGameSkin* skin_;
  int ownIndex_;
  std::vector<std::uint32_t> start_;
  std::vector<std::uint8_t> length_;
  std::unique_ptr<char[]> arena_;
  std::size_t capacity_ = 0;
  std::size_t used_ = 0;
  std::string scratch_;
  SpacedFloatsCache<1> weightTexts_{10};
};

void ReportUnreadable(WarningReporter& warnings, const char* nodeName) {
  warnings.Report(
      kw::WarningKind::kUnreadableMesh,
      "Could not initialize bi-normal and tangents data\nfor mesh \"%s\". Skipping mesh.",
      nodeName);
}

void WriteMesh(const SectionInput& input, FaceLinesWriter& writer,
               std::unique_ptr<BackgroundWorker>& worker, const NodeRecord& record) {
  WarningReporter& warnings = input.warnings;
  const char* nodeName = Printable(record.name);
  SceneNode* node = record.node;
  IGameObject* object = node ? node->GetObject() : nullptr;
  SceneMesh* mesh = object ? object->AsMesh() : nullptr;
  HostNode* hostNode = node ? node->GetHostNode() : nullptr;
  if (!mesh || !hostNode) {
    ReportUnreadable(warnings, nodeName);
    return;
  }
  const IGameSkin* skin = object->GetIGameSkin();
  Matrix3 normalMatrix = hostNode->GetNodeTransform(0);
  normalMatrix.NoScale();

  mesh->PrepareBinormals();
  if (!mesh->InitialiseData()) {
    ReportUnreadable(warnings, nodeName);
    return;
  }
  const int vertexCount = mesh->GetVertexCount();
  const int texVertexCount = mesh->GetTexVertexCount();
  const int faceCount = mesh->GetFaceCount();
  // The normals are read by vertex and face index without further checks, so
  // a host mesh that holds fewer of them than the mesh claims is unreadable.
  const HostMesh& hostMesh = mesh->GetHostMesh();
  if (vertexCount < 0 || texVertexCount < 0 || faceCount < 0 ||
      hostMesh.faceNormals.size() < static_cast<std::size_t>(faceCount) ||
      (faceCount > 0 && hostMesh.renderVertices.size() < static_cast<std::size_t>(vertexCount))) {
    ReportUnreadable(warnings, nodeName);
    return;
  }

  const SceneMaterial* material = node->GetMaterial();
  if (!material) {
    warnings.Report(kw::WarningKind::kMissingMaterial,
                    "Could not get a material for mesh \"%s\". Skipping mesh.\n"
                    "Assign a Standard or Multi/Sub-Object type material to it.",
                    nodeName);
    return;
  }
  if (!IsStandardMaterial(material) && !IsClass(material, "Multi/Sub-Object")) {
    warnings.Report(
        kw::WarningKind::kUnsupportedMaterial,
        "Material on mesh \"%s\" was neither type\nStandard or Multi/Sub-Object. Skipping mesh.",
        nodeName);
    return;
  }

  TextureNames textures(warnings, *material);
  BoneLinkTexts links(input.nodes, skin, record.index, vertexCount);
  if (!worker && static_cast<std::size_t>(faceCount) > FaceBatch::kFaces) {
    worker = BackgroundWorker::StartIfPossible();
  }
  const std::string boneText = Int3Text(record.index);
  BatchPipeline<FaceBatch> pipeline(input.smd, faceCount > 0 ? worker.get() : nullptr,
                                    FaceBatch(boneText, &writer), FaceBatch(boneText, &writer));
  bool toldNotFinite = false;
  for (int i = 0; i < faceCount; ++i) {
    const MeshFace face = mesh->GetFace(i);
    if (IndexOutOfRange(face.vertex, vertexCount)) {
      warnings.Report(kw::WarningKind::kBadVertexIndex,
                      "Bogus vertex index for face %d in mesh \"%s\".\nSkipping face.", i,
                      nodeName);
      continue;
    }
    CornerValues corners[3];
    for (int k = 0; k < 3; ++k) {
      corners[k].position = mesh->GetVertex(static_cast<int>(face.vertex[k]), false);
    }
    std::array<Point3, 3> normals = CornerNormals(hostMesh, face, i);
    if (TooLong(normals)) {
      warnings.Report(kw::WarningKind::kBadNormalLength,
                      "Bogus normal length for face %d in mesh \"%s\".\nSkipping face.", i,
                      nodeName);
      continue;
    }
    for (Point3& normal : normals) normal = VectorTransform(normalMatrix, normal);
    if (TooLong(normals)) {
      warnings.Report(
          kw::WarningKind::kBadNormalLength,
          "Bogus normal length after transform for face %d in mesh \"%s\".\nSkipping face.", i,
          nodeName);
      continue;
    }
    const TextureLine* texture = textures.Find(face.materialId);
    if (!texture) break;  // the faces before stay
    if (IndexOutOfRange(face.texVertex, texVertexCount)) {
      warnings.Report(kw::WarningKind::kBadUvIndex,
                      "Bogus UV vertex index for face %d in mesh \"%s\".\nSkipping face.", i,
                      nodeName);
      continue;
    }
    bool finite = true;
    for (int k = 0; k < 3; ++k) {
      const Point2 uv = mesh->GetTexVertex(static_cast<int>(face.texVertex[k]));
      finite = finite && kw::IsFinite(corners[k].position) &&
               kw::IsFinite(normals[static_cast<std::size_t>(k)]) && std::isfinite(uv.x) &&
               std::isfinite(uv.y);
    }
    if (!finite) {
      if (!toldNotFinite) {
        warnings.Report(kw::WarningKind::kNonFinite,
                        "Face %d of mesh \"%s\" at frame 0 has a position, normal or texture "
                        "coordinate that is not a finite number (NaN or infinity).\n"
                        "Skipping the faces of this mesh that have one.",
                        i, nodeName);
        toldNotFinite = true;
      }
      continue;
    }
    bool linksKept[3];
    std::string unkept[3];  // a link text the cache could not hold
    for (int k = 0; k < 3; ++k) {
      CornerValues& corner = corners[k];
      corner.normal = normals[static_cast<std::size_t>(k)];
      corner.uv = mesh->GetTexVertex(static_cast<int>(face.texVertex[k]));
      corner.vertex = face.vertex[k];
      corner.texVertex = face.texVertex[k];
      corner.links = links.Text(static_cast<int>(face.vertex[k]), &linksKept[k]);
      if (!linksKept[k]) {
        unkept[k].assign(corner.links.data(), corner.links.size());
        corner.links = unkept[k];
      }
    }
    pipeline.Current().Add(*texture, corners, linksKept);
    if (pipeline.Current().Full()) {
      pipeline.Ship();
      if (input.smd.Failed()) break;  // nothing more can be written
    }
  }
  pipeline.Finish();
}

}  // namespace

bool IsStandardMaterial(const SceneMaterial* material) { return IsClass(material, "Standard"); }

void WriteTriangles(const SectionInput& input) {
  if (input.options.exportSequence) return;
  input.smd.Put("triangles\n");
  FaceLinesWriter writer;
  std::unique_ptr<BackgroundWorker> worker;  // started by the first big mesh
  for (const std::unique_ptr<NodeRecord>& record : input.nodes.Nodes()) {
    if (input.smd.Failed()) break;
    if (record->objectType == kObjectMesh) WriteMesh(input, writer, worker, *record);
  }
  input.smd.Put("end\n");
}

}  // namespace kw
