#include <assimp/material.h>

#include <cstdlib>
#include <string>

#include "model_import/import_parts.h"

namespace model_import {
namespace {

std::string FileStem(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::size_t dot = file.find_last_of('.');
  if (dot != std::string::npos && dot > 0) file.erase(dot);
  return file;
}

}  // namespace

MaterialTable::MaterialTable(const aiScene& scene, const std::string& modelPath, MemoryScene* out)
    : scene_(scene), modelStem_(FileStem(modelPath)), out_(out),
      standard_(scene.mNumMaterials, nullptr) {}

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
  if (text.empty()) text = "material_" + std::to_string(index);
  MemoryMaterial& material = out_->MakeMaterial(text, "Standard");

  // glTF's base colour is the diffuse map of the other formats.
  aiString path;
  if (source.GetTexture(aiTextureType_DIFFUSE, 0, &path) == AI_SUCCESS ||
      source.GetTexture(aiTextureType_BASE_COLOR, 0, &path) == AI_SUCCESS) {
    const std::string file = TextureName(path);
    if (!file.empty()) material.SetTextureMap(&out_->MakeTextureMap(file));
  }
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

}  // namespace model_import
