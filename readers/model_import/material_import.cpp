#include <assimp/material.h>

#include <cctype>
#include <cstdlib>
#include <string>

#include "readers/model_import/import_parts.h"

namespace kw::model_import {
namespace {

std::string FileStem(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::size_t dot = file.find_last_of('.');
  if (dot != std::string::npos && dot > 0) file.erase(dot);
  return file;
}

// studiomdl keeps names below 64 bytes; room is left for a number that
// tells two apart.
constexpr std::size_t kLongestName = 56;

// How studiomdl tells materials apart: without extension, case ignored.
std::string MaterialKey(const std::string& textureName) {
  std::string key = FileStem(textureName);
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return key;
}

// A material name as a texture name: letters, digits, '_' and '-' only, since
// the name becomes a file name, a space ends it in studiomdl's reading and a
// dot would start an extension the compiler drops.
std::string FileSafe(const std::string& name) {
  std::string safe;
  for (char c : name.substr(0, kLongestName)) {
    const bool plain = std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-';
    safe += plain && static_cast<unsigned char>(c) < 0x80 ? c : '_';
  }
  return safe;
}

bool DiffuseMap(const aiMaterial& material, aiString* path) {
  // glTF's base colour is the diffuse map of the other formats.
  return material.GetTexture(aiTextureType_DIFFUSE, 0, path) == AI_SUCCESS ||
         material.GetTexture(aiTextureType_BASE_COLOR, 0, path) == AI_SUCCESS;
}

}  // namespace

MaterialTable::MaterialTable(const aiScene& scene, const std::string& modelPath, MemoryScene* out)
    : scene_(scene),
      modelStem_(FileStem(modelPath)),
      out_(out),
      standard_(scene.mNumMaterials, nullptr) {
  // Texture names come first: a material written under its own name must not
  // take one the compiler would read as a texture's.
  for (unsigned i = 0; i < scene.mNumMaterials; ++i) {
    aiString path;
    if (scene.mMaterials[i] && DiffuseMap(*scene.mMaterials[i], &path)) {
      usedNames_.insert(MaterialKey(TextureName(path)));
    }
  }
}

// An untextured material is written under its own name, so that materials
// never merge in the compiler; the name is made unique as it would read it.
// Materials of one name (IFC repeats them) are one material to the user.
std::string MaterialTable::OwnName(const std::string& materialName) {
  const auto known = ownNames_.find(materialName);
  if (known != ownNames_.end()) return known->second;
  const std::string safe = FileSafe(materialName);
  std::string name = safe;
  for (int n = 2; !usedNames_.insert(MaterialKey(name)).second; ++n) {
    name = safe + "_" + std::to_string(n);
  }
  ownNames_.emplace(materialName, name);
  return name;
}

// An embedded texture ("*0") has no file of its own; it gets the name that
// `assimp extract` gives the file it writes, so the SMD names a texture the
// user can produce. A texture that remembers its file name keeps that name.
std::string MaterialTable::TextureName(const aiString& path) const {
  const char* text = path.C_Str();
  if (text[0] != '*') return text;
  const aiTexture* texture = scene_.GetEmbeddedTexture(text);
  if (texture && texture->mFilename.length > 0) return texture->mFilename.C_Str();
  const char* hint = texture && texture->mHeight == 0 && texture->achFormatHint[0] != '\0'
                         ? texture->achFormatHint
                         : "bmp";
  return modelStem_ + "_img" + std::to_string(std::atoi(text + 1)) + "." + hint;
}

MemoryMaterial* MaterialTable::Standard(unsigned index) {
  if (index >= standard_.size() || !scene_.mMaterials[index]) return nullptr;
  if (standard_[index]) return standard_[index];

  const aiMaterial& source = *scene_.mMaterials[index];
  aiString name;
  std::string text;
  if (source.Get(AI_MATKEY_NAME, name) == AI_SUCCESS) text = name.C_Str();
  const bool named = !text.empty();
  if (!named) text = "material_" + std::to_string(index);
  MemoryMaterial& material = out_->MakeMaterial(text, "Standard");

  aiString path;
  std::string file;
  if (DiffuseMap(source, &path)) file = TextureName(path);
  // Only a material with neither texture nor name is left to "null.bmp".
  if (file.empty() && named) file = OwnName(text);
  if (!file.empty()) material.SetTextureMap(&out_->MakeTextureMap(file));
  standard_[index] = &material;
  return &material;
}

MemoryMaterial* MaterialTable::ForNode(const std::string& nodeName,
                                       const std::vector<unsigned>& indices) {
  if (indices.empty()) return nullptr;
  if (indices.size() == 1) return Standard(indices[0]);
  MemoryMaterial& multi = out_->MakeMaterial(nodeName + " materials", "Multi/Sub-Object");
  for (std::size_t id = 0; id < indices.size(); ++id) {
    multi.AddSubMaterial(static_cast<int>(id), Standard(indices[id]));
  }
  return &multi;
}

}  // namespace kw::model_import
