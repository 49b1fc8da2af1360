#include "export/mesh_faces.h"

#include <cstring>
#include <string>

#include "export/triangles_writer.h"
#include "smd/quotable_name.h"

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

void ReportUnreadable(WarningReporter& warnings, const char* nodeName) {
  warnings.Report(
      kw::WarningKind::kUnreadableMesh,
      "Could not initialize bi-normal and tangents data\nfor mesh \"%s\". Skipping mesh.",
      nodeName);
}

}  // namespace

bool IsStandardMaterial(const SceneMaterial* material) { return IsClass(material, "Standard"); }

bool TextureNames::Look(int id) {
  std::size_t k = 0;
  while (k < known_.size() && known_[k].id != id) ++k;
  if (k == known_.size()) {
    std::string_view found;
    if (!FaceTextureName(warnings_, material_, id, &found)) return false;
    // A line break would split the line; a quote is kept out as in node names.
    std::string replaced;
    if (kw::NeedsReplacing(found)) {
      replaced = kw::QuotableName(found);
      warnings_.Report(kw::WarningKind::kNameReplaced,
                       "The texture name of material \"%s\" holds a double quote or a line "
                       "break, which would break the file; it is written as \"%s\".",
                       kw::QuotableName(Printable(material_.GetName())).c_str(), replaced.c_str());
      found = replaced;
    }
    known_.push_back(Known{id, TextureLine(found)});
  }
  last_ = k;
  return true;
}

bool MeshFaces::Open(const NodeRecord& record) {
  nodeName_ = Printable(record.name);
  SceneNode* node = record.node;
  IGameObject* object = node ? node->GetObject() : nullptr;
  SceneMesh* mesh = object ? object->AsMesh() : nullptr;
  HostNode* hostNode = node ? node->GetHostNode() : nullptr;
  if (!mesh || !hostNode) {
    ReportUnreadable(warnings_, nodeName_);
    return false;
  }
  skin_ = object->GetIGameSkin();
  normalMatrix_ = hostNode->GetNodeTransform(0);
  normalMatrix_.NoScale();

  mesh->PrepareBinormals();
  if (!mesh->InitialiseData()) {
    ReportUnreadable(warnings_, nodeName_);
    return false;
  }
  vertexCount_ = mesh->GetVertexCount();
  texVertexCount_ = mesh->GetTexVertexCount();
  faceCount_ = mesh->GetFaceCount();
  // The normals are read by vertex and face index without further checks, so
  // a host mesh that holds fewer of them than the mesh claims is unreadable.
  const HostMesh& hostMesh = mesh->GetHostMesh();
  if (vertexCount_ < 0 || texVertexCount_ < 0 || faceCount_ < 0 ||
      hostMesh.faceNormals.size() < static_cast<std::size_t>(faceCount_) ||
      (faceCount_ > 0 && hostMesh.renderVertices.size() < static_cast<std::size_t>(vertexCount_))) {
    ReportUnreadable(warnings_, nodeName_);
    return false;
  }

  const SceneMaterial* material = node->GetMaterial();
  if (!material) {
    warnings_.Report(kw::WarningKind::kMissingMaterial,
                     "Could not get a material for mesh \"%s\". Skipping mesh.\n"
                     "Assign a Standard or Multi/Sub-Object type material to it.",
                     nodeName_);
    return false;
  }
  if (!IsStandardMaterial(material) && !IsClass(material, "Multi/Sub-Object")) {
    warnings_.Report(
        kw::WarningKind::kUnsupportedMaterial,
        "Material on mesh \"%s\" was neither type\nStandard or Multi/Sub-Object. Skipping mesh.",
        nodeName_);
    return false;
  }
  mesh_ = mesh;
  hostMesh_ = &hostMesh;
  textures_.emplace(warnings_, *material);
  return true;
}

FaceRead MeshFaces::Skip(WarningKind kind, const char* what, int i) {
  warnings_.Report(kind, "%s for face %d in mesh \"%s\".\nSkipping face.", what, i, nodeName_);
  return FaceRead::kSkip;
}

FaceRead MeshFaces::NotFinite(int i) {
  if (!toldNotFinite_) {
    warnings_.Report(kw::WarningKind::kNonFinite,
                     "Face %d of mesh \"%s\" at frame 0 has a position, normal or texture "
                     "coordinate that is not a finite number (NaN or infinity).\n"
                     "Skipping the faces of this mesh that have one.",
                     i, nodeName_);
    toldNotFinite_ = true;
  }
  return FaceRead::kSkip;
}

}  // namespace kw
