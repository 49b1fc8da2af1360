#include "cli/info_command.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <new>
#include <cstdio>
#include <set>
#include <utility>
#include <vector>

#include "cli/exit_cleanup.h"
#include "cli/exit_codes.h"
#include "cli/failure_line.h"
#include "cli/isolated_run.h"
#include "cli/large_stack.h"
#if KW_WITH_ASSIMP
#include "cli/import_deadline.h"
#include "readers/model_import/model_import.h"
#include "scene/morph_targets.h"
#endif

namespace kw {

namespace {

// Names come from the file: control characters are shown escaped, never
// sent to the terminal.
std::string Shown(const char* text) { return OneLine(text ? text : ""); }
std::string Shown(const std::string& text) { return OneLine(text); }

// A report that did not reach stdout (a full disk, a closed pipe) is a
// failure like any other write.
int ReportWritten() {
  errno = 0;
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return kExitSuccess;
  PrintFailure(std::string("stdout: cannot write the report: ") +
               (errno != 0 ? std::strerror(errno) : "write error"));
  return kExitExportFailed;
}

const char* TypeName(int type) {
  switch (type) {
    case 1:
      return "light";
    case kObjectMesh:
      return "mesh";
    case 4:
      return "camera";
    case kObjectHelper:
      return "helper";
    case kObjectBone:
      return "bone";
    case kObjectIkChain:
      return "IK chain";
    default:
      return nullptr;
  }
}

bool IsExportedType(int type) {
  return type == kObjectMesh || type == kObjectHelper || type == kObjectBone ||
         type == kObjectIkChain;
}

std::string Describe(MemoryNode& node) {
  IGameObject* object = node.GetObject();
  const int type = object ? object->GetObjectType() : 0;
  const char* name = TypeName(type);
  std::string text = name ? name : "type " + std::to_string(type);
  if (!IsExportedType(type)) text += " (not exported)";
  if (SceneMesh* mesh = object ? object->AsMesh() : nullptr) {
    text += ", " + std::to_string(mesh->GetFaceCount()) + " faces, " +
            std::to_string(mesh->GetVertexCount()) + " vertices";
    if (object->GetIGameSkin()) text += ", skinned";
    SceneMaterial* material = node.GetMaterial();
    text += material ? ", material \"" + Shown(material->GetName()) + "\"" : ", no material";
    // Each shape: what it moves, as --flex will write it.
    for (int t = 0; t < mesh->GetMorphTargetCount(); ++t) {
      const MorphTargetSummary moved = SummarizeMorphTarget(*mesh, t);
      char largest[48];
      std::snprintf(largest, sizeof largest, "%.6g", moved.largestDisplacement);
      text += std::string(t == 0 ? "; morph targets: " : ", ") + "\"" +
              Shown(MorphTargetName(*mesh, node.GetName(), t).c_str()) + "\" (" +
              std::to_string(moved.movedVertices) + " vertices moved, up to " + largest + ")";
    }
  }
  if (node.IsPruned()) text += ", pruned";
  if (node.IsExcluded()) text += ", excluded";
  if (node.IsSelected()) text += ", selected";
  return text;
}

// The whole tree, pre-order, children indented under their parent.
std::vector<std::pair<MemoryNode*, int>> TreeOrder(const MemoryScene& scene) {
  std::vector<std::pair<MemoryNode*, int>> order;
  std::vector<std::pair<MemoryNode*, int>> pending;
  const auto& roots = scene.GetSceneRoots();
  for (auto root = roots.rbegin(); root != roots.rend(); ++root) pending.emplace_back(*root, 0);
  while (!pending.empty()) {
    const auto entry = pending.back();
    pending.pop_back();
    order.push_back(entry);
    const auto& children = entry.first->GetSceneChildren();
    for (auto child = children.rbegin(); child != children.rend(); ++child) {
      pending.emplace_back(*child, entry.second + 1);
    }
  }
  return order;
}

std::string TextureOf(const SceneMaterial* material) {
  SceneTextureMap* map = material->IsMultiMaterial() ? nullptr : material->GetTextureMap(0);
  if (!map) return "no texture";
  const char* file = map->GetBitmapFileName();
  return file ? "texture \"" + Shown(file) + "\"" : "texture without file name";
}

void PrintMaterials(const std::vector<std::pair<MemoryNode*, int>>& order) {
  std::vector<SceneMaterial*> materials;
  std::set<SceneMaterial*> seen;
  for (const auto& entry : order) {
    SceneMaterial* material = entry.first->GetMaterial();
    if (material && seen.insert(material).second) materials.push_back(material);
  }
  std::printf("materials: %zu\n", materials.size());
  for (SceneMaterial* material : materials) {
    std::printf("  \"%s\" %s", Shown(material->GetName()).c_str(),
                Shown(material->GetClassName()).c_str());
    if (!material->IsMultiMaterial()) {
      std::printf(", %s\n", TextureOf(material).c_str());
      continue;
    }
    const int count = material->GetSubMaterialCount();
    std::printf(", %d sub-material%s\n", count, count == 1 ? "" : "s");
    for (int i = 0; i < count; ++i) {
      SceneMaterial* sub = material->GetSubMaterial(i);
      if (!sub) {
        std::printf("    id %d: empty\n", material->GetSubMaterialId(i));
        continue;
      }
      std::printf("    id %d: \"%s\" %s, %s\n", material->GetSubMaterialId(i),
                  Shown(sub->GetName()).c_str(), Shown(sub->GetClassName()).c_str(),
                  TextureOf(sub).c_str());
    }
  }
}

void PrintSkins(const std::vector<std::pair<MemoryNode*, int>>& order) {
  std::vector<std::pair<MemoryNode*, SceneMesh*>> skinned;
  for (const auto& entry : order) {
    IGameObject* object = entry.first->GetObject();
    SceneMesh* mesh = object ? object->AsMesh() : nullptr;
    if (mesh && mesh->GetIGameSkin()) skinned.emplace_back(entry.first, mesh);
  }
  std::printf("skins: %zu\n", skinned.size());
  for (const auto& [node, mesh] : skinned) {
    const IGameSkin& skin = *mesh->GetIGameSkin();
    std::set<int> bones;
    int linked = 0, most = 0;
    for (int v = 0; v < mesh->GetVertexCount(); ++v) {
      const int count = skin.GetBoneCount(v);
      if (count > 0) ++linked;
      most = std::max(most, count);
      for (int k = 0; k < count; ++k) bones.insert(skin.GetBoneNodeId(v, k));
    }
    std::printf("  \"%s\": %zu bone%s, %d of %d vertices linked, at most %d link%s per vertex\n",
                Shown(node->GetName()).c_str(), bones.size(), bones.size() == 1 ? "" : "s", linked,
                mesh->GetVertexCount(), most, most == 1 ? "" : "s");
  }
}

void PrintScene(MemoryScene& scene) {
  const int perFrame = scene.GetTicksPerFrame();
  std::printf("time: ticks %d to %d, %d ticks per frame", scene.GetStartTicks(),
              scene.GetEndTicks(), perFrame);
  if (perFrame > 0) {
    std::printf(": frames %d to %d", scene.GetStartTicks() / perFrame,
                scene.GetEndTicks() / perFrame);
  }
  std::printf("\n");

  const auto order = TreeOrder(scene);
  std::printf("nodes: %zu\n", order.size());
  for (const auto& [node, depth] : order) {
    std::printf("%*s%d \"%s\" %s\n", 2 + 2 * depth, "", node->GetNodeId(),
                Shown(node->GetName()).c_str(), Describe(*node).c_str());
  }
  PrintMaterials(order);
  PrintSkins(order);
}

#if KW_WITH_ASSIMP
bool IsSceneFile(const std::string& path) {
  const std::size_t dot = path.find_last_of('.');
  const std::size_t slash = path.find_last_of("/\\");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  std::string extension = path.substr(dot + 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension == "json";
}

int RunModelInfo(const std::string& path, const SceneLoadOptions& options) {
  ModelImportOptions importOptions;
  importOptions.animation = options.animation;
  importOptions.fps = options.fps;
  importOptions.up = options.up;
  importOptions.scale = options.scale;
  importOptions.unit.fallback = options.units;
  importOptions.unit.toInches = options.toSourceUnits;
  importOptions.allowOutsidePaths = options.allowOutsidePaths;
  ImportedModel model;
  std::string error;
  ImportDeadline deadline(path, options.importSeconds);
  if (!ImportModel(path, importOptions, &model, &error)) {
    PrintFailure(ImportFailure(error, options.scale != 1.0));
    return kExitSceneUnreadable;
  }
  std::printf("file: %s\n", Shown(path).c_str());
  std::printf("format: %s\n", Shown(model.format).c_str());
  std::printf("up axis: %s%c (%s)%s, scale %g\n", model.sourceUpNegative ? "-" : "", model.sourceUp,
              model.upReason.c_str(),
              model.sourceUp == 'z' && !model.sourceUpNegative ? "" : ", turned to z", model.scale);
  if (model.unit.meters > 0) {
    std::printf("unit: %s (%s)%s\n", model.unit.name.c_str(), model.unit.reason.c_str(),
                model.unit.scale != 1.0 ? ", converted to inches" : "");
  } else {
    std::printf("unit: unknown (--units names it)\n");
  }
  std::printf("animations: %zu\n", model.animations.size());
  for (std::size_t i = 0; i < model.animations.size(); ++i) {
    const ModelAnimation& animation = model.animations[i];
    std::string morph;
    if (animation.morphChannels > 0) {
      morph = ", " + std::to_string(animation.morphChannels) + " morph channel" +
              (animation.morphChannels == 1 ? "" : "s");
    }
    std::printf("  %zu \"%s\": %.3f s, frames %d to %d, %d channel%s%s%s\n", i,
                Shown(animation.name).c_str(), animation.seconds, animation.firstFrame,
                animation.lastFrame, animation.channels, animation.channels == 1 ? "" : "s",
                morph.c_str(), static_cast<int>(i) == model.sampledAnimation ? " (sampled)" : "");
  }
  PrintScene(*model.scene);
  std::printf("warnings: %zu\n", model.warnings.size());
  for (const Warning& warning : model.warnings) {
    std::printf("  %s\n", Shown(warning.text).c_str());
  }
  return ReportWritten();
}
#endif

int RunSceneInfo(const std::string& path, const SceneLoadOptions& options) {
  std::string error;
  std::vector<Warning> warnings;
  std::unique_ptr<MemoryScene> scene;
  bool usage = false;
  try {
    scene = LoadScene(path, options, &error, &warnings, nullptr, &usage);
  } catch (const std::bad_alloc&) {
    error = path + ": not enough memory to read the scene";
  }
  if (!scene) {
    PrintFailure(error);
    return usage ? kExitUsage : kExitSceneUnreadable;
  }
  std::printf("file: %s\n", Shown(path).c_str());
  PrintScene(*scene);
  return ReportWritten();
}

}  // namespace

int RunInfo(const std::string& path, const SceneLoadOptions& options) {
  SetUncaughtFailure(kExitSceneUnreadable, OneLine(path + ": not enough memory to read it"));
  std::string error;
  if (path.empty()) {
    PrintFailure("the scene's file name is empty (see --help)");
    return kExitUsage;
  }
  if (!CheckSceneFile(path, &error)) {
    PrintFailure(error);
    return kExitSceneUnreadable;
  }
#if KW_WITH_ASSIMP
  if (!IsSceneFile(path)) {
    return RunIsolated(
        path, [&] { return RunOnLargeStack([&] { return RunModelInfo(path, options); }); });
  }
#endif
  return RunOnLargeStack([&] { return RunSceneInfo(path, options); });
}

}  // namespace kw
