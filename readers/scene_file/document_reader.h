// The scene file read as a whole JSON document: slow and hungry, but it can
// say where and why a file is refused, so it explains every refusal.
#pragma once

#include <memory>
#include <string>

#include "scene/memory_scene.h"

namespace kw::scene_file {

// The scene in text, or null with error set to the one-line refusal.
std::unique_ptr<MemoryScene> ReadSceneDocument(const std::string& text,
                                               const std::string& sourceName, std::string* error);

}  // namespace kw::scene_file
