// The scene file: a JSON description of a scene (docs/scene-format.md, with
// its JSON Schema in docs/scene.schema.json) read into a MemoryScene.
#pragma once

#include <memory>
#include <string>

#include "scene/memory_scene.h"

namespace kw {

// Reads and checks a whole scene file. On any fault returns null and sets
// error to one line naming the file, where in it (line and column, or the
// JSON path of the value) and what was expected.
std::unique_ptr<MemoryScene> LoadSceneFile(const std::string& path, std::string* error);

// The same for text already in memory; sourceName stands for the file in messages.
std::unique_ptr<MemoryScene> ParseSceneText(const std::string& text, const std::string& sourceName,
                                            std::string* error);

}  // namespace kw
