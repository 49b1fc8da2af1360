#include "cli/scene_loader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <utility>

#include "cli/failure_line.h"
#include "cli/replacing_files.h"
#include "readers/scene_file/scene_file.h"
#if KW_WITH_ASSIMP
#include "cli/import_deadline.h"
#include "readers/model_import/model_import.h"
#endif

namespace kw {

namespace {

#if KW_WITH_ASSIMP
// As for scene files: no rig nests this deep, and a deeper tree is taken for
// a damaged file.
constexpr int kMaxTreeDepth = 1000;

int TreeDepth(const MemoryScene& scene) {
  int deepest = 0;
  std::vector<std::pair<const MemoryNode*, int>> pending;
  for (const MemoryNode* root : scene.GetSceneRoots()) pending.emplace_back(root, 1);
  while (!pending.empty()) {
    const auto [node, depth] = pending.back();
    pending.pop_back();
    deepest = std::max(deepest, depth);
    for (const MemoryNode* child : node->GetSceneChildren()) pending.emplace_back(child, depth + 1);
  }
  return deepest;
}

bool HasFaces(const MemoryScene& scene) {
  std::vector<MemoryNode*> pending;
  for (MemoryNode* root : scene.GetSceneRoots()) pending.emplace_back(root);
  while (!pending.empty()) {
    MemoryNode* node = pending.back();
    pending.pop_back();
    IGameObject* object = node->GetObject();
    SceneMesh* mesh = object ? object->AsMesh() : nullptr;
    if (mesh && mesh->GetFaceCount() > 0) return true;
    for (MemoryNode* child : node->GetSceneChildren()) pending.emplace_back(child);
  }
  return false;
}

// A scene file given a model's name is told how to be read.
bool LooksLikeJson(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  char c = 0;
  while (in.get(c) && (c == ' ' || c == '\n' || c == '\r' || c == '\t')) {
  }
  return in && c == '{';
}
#endif

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

std::string ImportFailure(const std::string& error, bool scaled) {
  std::string line = error;
  // assimp hands on the name of the exception, not what happened.
  const std::string outOfMemory = ": std::bad_alloc";
  if (line.size() >= outOfMemory.size() &&
      line.compare(line.size() - outOfMemory.size(), outOfMemory.size(), outOfMemory) == 0) {
    line.resize(line.size() - outOfMemory.size());
    line += ": it claims more data than memory can hold; the file is probably damaged";
  }
  const std::string unscaled = "--scale 1 sends ";
  const std::string smaller = " past the range of a float; use a smaller scale";
  const std::size_t at = line.find(unscaled);
  const std::size_t end = line.rfind(smaller);
  if (!scaled && at != std::string::npos && end != std::string::npos && end > at) {
    line = line.substr(0, at) + line.substr(at + unscaled.size(), end - at - unscaled.size()) +
           " lies too far out to be exported (past a sixteenth of the largest float); the file "
           "is probably damaged";
  }
  return line;
}

bool IsModelFile(const std::string& path) { return LowerExtension(path) != "json"; }

bool CheckSceneFile(const std::string& path, std::string* error) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)) return true;
  *error =
      path + ": it is " + FileTypeName(st.st_mode) + ", not a regular file; give the scene's file";
  return false;
}

std::unique_ptr<MemoryScene> LoadScene(const std::string& path, const SceneLoadOptions& options,
                                       std::string* error, std::vector<Warning>* warnings,
                                       SceneAnimations* animations, bool* usage, SourceUnit* unit) {
  if (!CheckSceneFile(path, error)) return nullptr;
  if (!IsModelFile(path)) {
    if (!options.units.empty() || options.toSourceUnits) {
      *error = path +
               ": --units and --to-source-units are for model files; a scene file is exported "
               "in its own numbers";
      if (usage) *usage = true;
      return nullptr;
    }
    return LoadSceneFile(path, error);
  }
#if KW_WITH_ASSIMP
  ModelImportOptions importOptions;
  importOptions.animation = options.animation;
  importOptions.fps = options.fps;
  importOptions.up = options.up;
  importOptions.scale = options.scale;
  importOptions.unit.fallback = options.units;
  importOptions.unit.toInches = options.toSourceUnits;
  importOptions.pose = options.pose == "bind"   ? ModelPose::kBind
                       : options.pose == "rest" ? ModelPose::kRest
                                                : ModelPose::kAnimation;
  importOptions.maxLinks = options.maxLinks;
  importOptions.everyAnimation = animations != nullptr;
  importOptions.allowOutsidePaths = options.allowOutsidePaths;
  ImportedModel model;
  {
    ImportDeadline deadline(path, options.importSeconds);
    if (!ImportModel(path, importOptions, &model, error)) {
      *error = ImportFailure(*error, options.scale != 1.0);
      // Without a scale, what lies out of range is the file's own doing.
      if (usage) *usage = model.optionRefused && options.scale != 1.0;
      if (error->find("No suitable reader found") != std::string::npos && LooksLikeJson(path)) {
        if (!error->empty() && error->back() == '.') error->pop_back();
        *error += "; if it is a Kestrelworks scene file, name it .json";
      }
      return nullptr;
    }
  }
  if (options.toSourceUnits && model.unit.meters == 0) {
    *error = path +
             ": --to-source-units: the file does not say its unit; name it with --units "
             "(inch, m, cm, mm or ft)";
    if (usage) *usage = true;
    return nullptr;
  }
  if (!options.units.empty() && model.unit.reason != "--units" &&
      MetersPerUnit(options.units) != model.unit.meters) {
    warnings->push_back(
        Warning{WarningKind::kModelImport, OneLine(path) + ": --units " + OneLine(options.units) +
                                               " is not used: the " + model.unit.reason +
                                               " says the unit is " + model.unit.name});
  }
  if (unit) *unit = model.unit;
  if (!HasFaces(*model.scene) && model.animations.empty()) {
    *error = path +
             ": nothing to export: no triangles and no animation (is the file damaged, "
             "or of another format than its name says?)";
    return nullptr;
  }
  const int depth = TreeDepth(*model.scene);
  if (depth > kMaxTreeDepth) {
    *error = path + ": the node tree is " + std::to_string(depth) + " levels deep; at most " +
             std::to_string(kMaxTreeDepth) + " can be exported";
    return nullptr;
  }
  // Said once here rather than once per face by the exporter.
  for (const Warning& warning : model.warnings) {
    warnings->push_back(Warning{warning.kind, OneLine(path) + ": " + warning.text});
  }
  if (animations) {
    for (const ModelAnimation& animation : model.animations)
      animations->names.push_back(animation.name);
    animations->scenes = std::move(model.animationScenes);
  }
  return std::move(model.scene);
#else
  (void)options;
  (void)warnings;
  (void)animations;
  (void)usage;
  (void)unit;
  *error = path + ": not a scene file (.json); this build reads no model files";
  return nullptr;
#endif
}

}  // namespace kw
