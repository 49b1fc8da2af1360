// Reads a model file (FBX, glTF 2.0, Collada, X, B3D, MS3D, MD5, OBJ, 3DS and
// whatever else assimp knows) into a MemoryScene, so that the exporter reads
// it through the same scene-access interface as every other scene.
//
// What the scene holds:
// - every node of the file, ids in depth-first pre-order from 0; a node that
//   carries meshes is a mesh, a node a skin uses as bone is a bone, cameras
//   and lights keep codes the exporter leaves out, the rest are helpers;
// - node transforms sampled from one animation at 4800 ticks per second, or
//   one fixed pose (the rest transforms, or the pose the skins were bound in);
// - one mesh per mesh node, all its triangles in world space as posed at
//   tick 0 (skinned meshes are skinned there; in the bind pose that is the
//   mesh as bound), so a reference export's skeleton and triangles agree;
// - materials without a texture under their own name, so none merge;
// - Z up: sources the file or the format says are Y-up are turned upright.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "diagnostics/warning.h"
#include "readers/model_import/source_unit.h"
#include "scene/memory_scene.h"

namespace kw {

constexpr int kModelTicksPerSecond = 4800;

// What the scene's node transforms show.
enum class ModelPose {
  kAnimation,  // the sampled animation at every tick; its first frame at tick 0
  kRest,       // the file's rest transforms at every tick
  // The pose the skins were bound in: each bone a skin names where its offset
  // matrix puts it, every other node at rest relative to its parent. studiomdl
  // binds vertices through the reference skeleton, and a vertex blended over
  // several bones only deforms as in the source when that is the bind pose.
  kBind,
};

// Zero-initialised fields are not meaningful here; start from the defaults.
struct ModelImportOptions {
  // The animation to sample: its exact name, or else its 0-based position
  // in the file when the text is a number. Empty: the first animation.
  std::string animation;
  ModelPose pose = ModelPose::kAnimation;
  // Above 0: what studiomdl does to bone links, done here so the SMD shows
  // the model that will be built: links below 0.05 of a vertex's weight are
  // dropped, the maxLinks largest kept, and the rest renormalised.
  int maxLinks = 0;
  // Also a scene for each animation of the file (ImportedModel::animationScenes).
  bool everyAnimation = false;
  // Frames per second; ticks per frame = 4800 / fps, rounded, at least 1.
  double fps = 30.0;
  // "" : the up axis the file or format states (Y when it states none);
  // "y" or "z": the source's up axis, whatever the file says.
  std::string up;
  // Uniform scale on the whole scene; must be positive and finite.
  double scale = 1.0;
  // The source's unit and its conversion to inches, composed with scale.
  SourceUnitOptions unit;
  // Caps the address space while assimp parses (1 GiB plus 256 bytes per
  // byte of the file), so a file that claims billions of elements fails at
  // once instead of eating the machine. Process-wide while it lasts.
  bool limitMemory = true;
  // Files the model refers to (buffers, material libraries, textures) are
  // read only from the model's folder and below unless this is set.
  bool allowOutsidePaths = false;
};

struct ModelAnimation {
  std::string name;  // as the file has it; may be empty
  double seconds = 0.0;
  int channels = 0;       // of nodes
  int morphChannels = 0;  // of morph-target weights, which an SMD cannot carry
  // The range at kModelTicksPerSecond; only meaningful when it fits in ticks.
  double startTick = 0.0;
  double endTick = 0.0;
  // The frames at the chosen rate that cover it: the last one reaches the
  // end, so the last key is written.
  int firstFrame = 0;
  int lastFrame = 0;
};

struct ImportedModel {
  std::unique_ptr<MemoryScene> scene;
  std::string format;   // the importer's name for the file's format
  char sourceUp = 'y';  // the source's up axis as used: 'x', 'y' or 'z'
  bool sourceUpNegative = false;
  std::string upReason;  // why that axis: "--up", "file metadata", "format"
  double scale = 1.0;    // applied: the options' scale times unit.scale
  SourceUnit unit;
  int ticksPerFrame = 160;
  std::vector<ModelAnimation> animations;
  int sampledAnimation = -1;  // index into animations; -1: rest transforms
  // Problems that lose nothing the exporter needs but that the user should
  // hear of once each (a mesh without texture coordinates, ...).
  std::vector<Warning> warnings;
  // With everyAnimation: one scene per animation, in the file's order, each
  // sampling its animation over its own frames. They serve sequences only:
  // their meshes are left empty.
  std::vector<std::unique_ptr<MemoryScene>> animationScenes;
  // On failure: an option was at fault (a scale past the range of a float),
  // not the file.
  bool optionRefused = false;
};

// Imports the file. On failure returns false, leaves model->scene null and
// sets error to one line naming the file and the fault; broken files (bad
// indices, data assimp had to drop, infinities, failed schemas, missing
// buffers) fail rather than export a damaged scene.
bool ImportModel(const std::string& path, const ModelImportOptions& options, ImportedModel* model,
                 std::string* error);

}  // namespace kw
