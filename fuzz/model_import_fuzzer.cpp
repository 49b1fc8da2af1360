// Model files through the assimp provider: the first byte picks the format
// (by file extension), the rest is the file. What ImportModel accepts is
// exported, reference and sequence; what it refuses must say why in one line.
// assimp itself is not instrumented, so coverage comes from our import code.

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

#include "fuzz/fuzz_export.h"
#include "readers/model_import/model_import.h"

using kw::ExportOptions;
using kw::ImportedModel;
using kw::ImportModel;
using kw::MemoryScene;
using kw::ModelImportOptions;

namespace {

// Not "smd": assimp's SMD reader loops for ever on some damaged files, which
// the command line stops with its import deadline.
const char* const kExtensions[] = {"obj", "gltf", "dae", "ply",     "stl", "off", "x",
                                   "bvh", "ac",   "glb", "md5mesh", "fbx", "3ds"};
constexpr int kMaxFrameSpan = 8;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::size_t count = sizeof kExtensions / sizeof kExtensions[0];
  const std::string path =
      "/tmp/kw_model_fuzz_" + std::to_string(::getpid()) + "." + kExtensions[data[0] % count];
  if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data + 1, 1, size - 1, file);
    std::fclose(file);
  } else {
    return 0;
  }

  ModelImportOptions options;
  options.limitMemory = false;  // the sanitizers reserve more address space than any cap allows
  ImportedModel model;
  std::string error;
  const bool imported = ImportModel(path, options, &model, &error);
  std::remove(path.c_str());
  if (!imported) {
    kw::fuzz::Check(model.scene == nullptr, "a refused model gives no scene");
    kw::fuzz::Check(!error.empty() && error.find('\n') == std::string::npos,
                    "a refused model says why in one line");
    return 0;
  }
  kw::fuzz::Check(model.scene != nullptr, "an imported model gives a scene");

  MemoryScene& scene = *model.scene;
  ExportOptions reference;
  kw::fuzz::ExportAndCheck(scene, reference, false);

  const int ticksPerFrame = std::max(1, scene.GetTicksPerFrame());
  ExportOptions sequence;
  sequence.exportSequence = true;
  sequence.startFrame = scene.GetStartTicks() / ticksPerFrame;
  sequence.endFrame = std::min(scene.GetEndTicks() / ticksPerFrame,
                               sequence.startFrame > std::numeric_limits<int>::max() - kMaxFrameSpan
                                   ? std::numeric_limits<int>::max()
                                   : sequence.startFrame + kMaxFrameSpan);
  kw::fuzz::ExportAndCheck(scene, sequence, false);
  return 0;
}
