#include "readers/model_import/model_import.h"

#include <assimp/Importer.hpp>
#include <assimp/config.h>
#include <assimp/postprocess.h>

#include <cctype>
#include <cmath>
#include <filesystem>
#include <new>
#include <system_error>

#include "readers/model_import/import_guards.h"
#include "readers/model_import/import_parts.h"

namespace kw {

namespace {

using model_import::SceneFrame;

// Keeps every tick the exporter steps through, one frame past the end
// included, well inside int32.
constexpr double kMostTicks = 1 << 30;

constexpr unsigned kPostProcessing = aiProcess_Triangulate | aiProcess_GenSmoothNormals |
                                     aiProcess_SortByPType | aiProcess_ValidateDataStructure;

std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

std::string MetadataText(const aiScene& scene, const char* key) {
  aiString value;
  if (scene.mMetaData && scene.mMetaData->Get(key, value)) return value.C_Str();
  return "";
}

std::string Extension(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return path.substr(dot + 1);
}

// assimp hands most formats over Y-up: glTF is Y-up by definition, and the
// Collada, 3DS, MD2, MD5 and MDL readers turn their Z-up sources to Y-up
// themselves. FBX keeps the file's axes and says which is up in the
// metadata; SMD, Z-up like us, is passed through as it is.
void ChooseSourceUp(const aiScene& scene, const std::string& path, const std::string& up,
                    ImportedModel* model) {
  model->sourceUpNegative = false;
  if (!up.empty()) {
    model->sourceUp = up[0];
    model->upReason = "--up";
    return;
  }
  int axis = -1;
  int sign = 1;
  if (scene.mMetaData && scene.mMetaData->Get("UpAxis", axis) && axis >= 0 && axis <= 2) {
    scene.mMetaData->Get("UpAxisSign", sign);
    model->sourceUp = static_cast<char>('x' + axis);
    model->sourceUpNegative = sign < 0;
    model->upReason = "file metadata";
    return;
  }
  std::string extension = Extension(path);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  model->sourceUp = extension == "smd" ? 'z' : 'y';
  model->upReason = "format";
}

// The rotation that takes the source's up axis to +Z.
Matrix3 UprightRotation(char axis, bool negative) {
  const float s = negative ? -1.0f : 1.0f;
  switch (axis) {
    case 'x':
      return Matrix3(Point3(0, 0, s), Point3(0, 1, 0), Point3(-s, 0, 0), Point3());
    case 'y':
      return Matrix3(Point3(1, 0, 0), Point3(0, 0, s), Point3(0, -s, 0), Point3());
    default:
      return Matrix3(Point3(1, 0, 0), Point3(0, s, 0), Point3(0, 0, s), Point3());
  }
}

// The frames at this rate from the first at or before the start to the first
// at or after the end; a hair past a whole frame is taken as that frame.
void CoverWithFrames(int ticksPerFrame, ModelAnimation* animation) {
  constexpr double kHair = 1e-6;
  if (!(std::fabs(animation->startTick) <= kMostTicks) ||
      !(std::fabs(animation->endTick) <= kMostTicks)) {
    return;
  }
  animation->firstFrame =
      static_cast<int>(std::floor(animation->startTick / ticksPerFrame + kHair));
  animation->lastFrame = static_cast<int>(std::ceil(animation->endTick / ticksPerFrame - kHair));
  animation->lastFrame = std::max(animation->lastFrame, animation->firstFrame);
}

// The scene's range for an animation: whole frames, so that the exporter's
// frames and info's are the same ones.
bool TicksOf(const ImportedModel& model, int index, int* startTick, int* endTick,
             std::string* error) {
  const ModelAnimation& range = model.animations[static_cast<std::size_t>(index)];
  if (!(std::fabs(range.startTick) <= kMostTicks) || !(std::fabs(range.endTick) <= kMostTicks)) {
    *error = "animation \"" + range.name + "\" runs longer than " +
             std::to_string(static_cast<long>(kMostTicks / kModelTicksPerSecond)) + " seconds";
    return false;
  }
  *startTick = range.firstFrame * model.ticksPerFrame;
  *endTick = range.lastFrame * model.ticksPerFrame;
  return true;
}

bool CheckOptions(const ModelImportOptions& options, std::string* error) {
  if (options.maxLinks < 0) {
    *error = "the most links per vertex must be 1 or more";
    return false;
  }
  if (!(options.fps > 0.0) || !(options.fps <= kModelTicksPerSecond)) {
    *error = "frames per second must lie above 0 and at most 4800";
    return false;
  }
  if (!(options.scale > 0.0) || !std::isfinite(options.scale) || options.scale > 1e30) {
    *error = "the scale must be a positive finite number";
    return false;
  }
  if (!options.up.empty() && options.up != "x" && options.up != "y" && options.up != "z") {
    *error = "the up axis must be x, y or z";
    return false;
  }
  return true;
}

bool Convert(const aiScene& scene, const std::string& path, const ModelImportOptions& options,
             ImportedModel* model, std::string* error) {
  if (!scene.mRootNode) {
    *error = "the file holds no scene";
    return false;
  }
  model->format = MetadataText(scene, "SourceAsset_Format");
  if (model->format.empty()) model->format = Extension(path);
  for (unsigned i = 0; i < scene.mNumAnimations; ++i) {
    const aiAnimation& animation = *scene.mAnimations[i];
    ModelAnimation entry;
    entry.name = animation.mName.C_Str();
    entry.channels = static_cast<int>(animation.mNumChannels);
    entry.morphChannels = static_cast<int>(animation.mNumMorphMeshChannels);
    model_import::AnimationRange(animation, &entry.startTick, &entry.endTick);
    entry.seconds =
        animation.mDuration * model_import::TickFactor(animation) / kModelTicksPerSecond;
    model->animations.push_back(entry);
  }

  model->ticksPerFrame =
      std::max(1, static_cast<int>(std::lround(kModelTicksPerSecond / options.fps)));
  for (ModelAnimation& entry : model->animations) CoverWithFrames(model->ticksPerFrame, &entry);

  if (!model_import::ChooseAnimation(scene, options, &model->sampledAnimation, error)) return false;
  const aiAnimation* animation =
      model->sampledAnimation >= 0 ? scene.mAnimations[model->sampledAnimation] : nullptr;
  if (!model_import::CheckFinite(scene, animation, error)) return false;
  model->unit = model_import::ChooseSourceUnit(scene, model->format, options.unit);
  const double scale = options.scale * model->unit.scale;
  if (!model_import::CheckScaleFits(scene, scale, error)) {
    model->optionRefused = true;
    return false;
  }

  int startTick = 0, endTick = 0;
  if (animation && !TicksOf(*model, model->sampledAnimation, &startTick, &endTick, error))
    return false;

  ChooseSourceUp(scene, path, options.up, model);
  model->scale = scale;
  SceneFrame frame;
  frame.rotation = UprightRotation(model->sourceUp, model->sourceUpNegative);
  frame.scale = static_cast<float>(scale);

  model->scene = std::make_unique<MemoryScene>();
  model->scene->SetTiming(startTick, endTick, model->ticksPerFrame);
  model_import::NodeTable table;
  model_import::BuildNodes(scene, animation, frame, model->scene.get(), &table);
  if (animation) model_import::ReportLostAnimation(scene, *animation, table, &model->warnings);
  if (options.pose == ModelPose::kBind)
    model_import::PoseAsBound(scene, table, frame, model->format, &model->warnings);
  model_import::BuildObjects(scene, path, table, options.maxLinks, true, model->scene.get(),
                             &model->warnings);

  for (int i = 0; options.everyAnimation && i < static_cast<int>(scene.mNumAnimations); ++i) {
    const aiAnimation& sampled = *scene.mAnimations[i];
    if (!model_import::CheckFinite(scene, &sampled, error) ||
        !TicksOf(*model, i, &startTick, &endTick, error)) {
      return false;
    }
    auto sequence = std::make_unique<MemoryScene>();
    sequence->SetTiming(startTick, endTick, model->ticksPerFrame);
    model_import::NodeTable nodes;
    model_import::BuildNodes(scene, &sampled, frame, sequence.get(), &nodes);
    if (i != model->sampledAnimation)
      model_import::ReportLostAnimation(scene, sampled, nodes, &model->warnings);
    model_import::BuildObjects(scene, path, nodes, 0, false, sequence.get(), nullptr);
    model->animationScenes.push_back(std::move(sequence));
  }
  return true;
}

}  // namespace

bool ImportModel(const std::string& path, const ModelImportOptions& options, ImportedModel* model,
                 std::string* error) {
  *model = ImportedModel();
  std::string problem;
  if (!CheckOptions(options, &problem)) {
    model->optionRefused = true;
    *error = path + ": " + problem;
    return false;
  }
  std::error_code code;
  if (!std::filesystem::is_regular_file(path, code)) {
    *error = path + ": " + (code ? code.message() : std::string("not a readable file"));
    return false;
  }
  const std::uintmax_t size = std::filesystem::file_size(path, code);
  if (code) {
    *error = path + ": " + code.message();
    return false;
  }

  try {
    Assimp::Importer importer;
    importer.SetPropertyInteger(AI_CONFIG_PP_SBP_REMOVE,
                                aiPrimitiveType_POINT | aiPrimitiveType_LINE);
    importer.SetPropertyBool(AI_CONFIG_IMPORT_FBX_PRESERVE_PIVOTS, false);
    auto* files = new model_import::FolderIOSystem(path, options.allowOutsidePaths);
    importer.SetIOHandler(files);  // the importer owns it
    const aiScene* scene = nullptr;
    std::string dropped;
    {
      model_import::DroppedDataLog log;
      model_import::AddressSpaceCap cap(options.limitMemory, size);
      scene = importer.ReadFile(path, kPostProcessing);
      dropped = log.FirstDrop();
    }
    if (!files->Refused().empty()) {
      *error = path + ": refers to \"" + OneLine(files->Refused()) +
               "\", which is not read: " + files->RefusedBecause() +
               (files->RefusedBecause().find("outside") != std::string::npos
                    ? " (--allow-outside-paths reads it all the same)"
                    : "");
      return false;
    }
    if (!scene) {
      problem = OneLine(importer.GetErrorString());
      *error = path + ": " + (problem.empty() ? std::string("assimp could not read it") : problem);
      return false;
    }
    if (!dropped.empty()) {
      *error = path + ": damaged: " + OneLine(dropped);
      return false;
    }
    if (!Convert(*scene, path, options, model, &problem)) {
      model->scene.reset();
      *error = path + ": " + OneLine(problem);
      return false;
    }
  } catch (const std::bad_alloc&) {
    model->scene.reset();
    *error = path + ": out of memory";
    return false;
  } catch (const std::exception& e) {
    model->scene.reset();
    *error = path + ": " + OneLine(e.what());
    return false;
  }
  return true;
}

}  // namespace kw
