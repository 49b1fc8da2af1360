// kestrelworks info: what the exporter sees in a scene or model file.
#pragma once

#include <string>

#include "cli/scene_loader.h"

namespace kw {

// Prints the node tree with types, meshes, materials, skins and the frame
// range to stdout; returns the exit status.
int RunInfo(const std::string& path, const SceneLoadOptions& options);

}  // namespace kw
