// The scene file read straight into the scene's arrays, without a document
// in between. It says nothing about a file it does not take: the document
// reader explains those.
#pragma once

#include <cstddef>
#include <memory>

#include "memory_scene/memory_scene.h"

namespace kw::scene_file {

// Bytes readable past the end of the text given to ReadSceneDirect.
std::size_t DirectReaderPadding();

// The scene in text[0 .. size), whose buffer runs DirectReaderPadding() bytes
// further; null when the text is not a scene the document reader would take
// as it is (it may then still take it).
std::unique_ptr<MemoryScene> ReadSceneDirect(const char* text, std::size_t size);

}  // namespace kw::scene_file
