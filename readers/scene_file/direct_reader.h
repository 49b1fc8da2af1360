// The scene file read straight into the scene's arrays, without a document
// in between. It says nothing about a file it does not take: the document
// reader explains those.
#pragma once

#include <cstddef>
#include <memory>

#include "scene/memory_scene.h"
#include "readers/scene_file/json_pull.h"

namespace kw::scene_file {

// The bytes of text read at a time.
constexpr std::size_t kDirectReaderWindow = std::size_t{1} << 20;

// The scene in the text the source gives, read window bytes at a time; null
// when the text is not a scene the document reader would take as it is (it
// may then still take it).
std::unique_ptr<MemoryScene> ReadSceneDirect(const TextSource& source,
                                             std::size_t window = kDirectReaderWindow);

}  // namespace kw::scene_file
