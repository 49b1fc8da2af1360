#include "cli/scene_loader.h"

#include <algorithm>
#include <cctype>

#include "scene/scene_file.h"

namespace {

std::string LowerExtension(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string extension = path.substr(dot + 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

}  // namespace

std::unique_ptr<MemoryScene> LoadScene(const std::string& path, const SceneLoadOptions&,
                                       std::string* error) {
  if (LowerExtension(path) == "json") return LoadSceneFile(path, error);
  *error = path + ": not a scene file (.json); model files need the importer";
  return nullptr;
}
