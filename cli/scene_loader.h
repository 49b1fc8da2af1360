// Turns a file named on the command line into a scene the exporter can read.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "diagnostics/warning.h"
#include "readers/model_import/source_unit.h"
#include "scene/memory_scene.h"

namespace kw {

// How a model file (not our own scene files) is brought into the scene.
struct SceneLoadOptions {
  std::string animation;       // empty: the first animation, if any
  double fps = 30.0;           // frames per second; ticks per frame = 4800 / fps
  std::string up;              // "", "x", "y" or "z": override the file's up axis
  double scale = 1.0;          // uniform scale applied to the whole scene
  std::string units;           // the source's unit when the file does not say ("": unknown)
  bool toSourceUnits = false;  // scale from the source's unit to inches
  // What the scene shows: "animation" (every frame of the animation),
  // "bind", "rest" or "first-frame" (one pose, for a reference).
  std::string pose = "animation";
  int maxLinks = 0;  // above 0: links trimmed as studiomdl trims them
  // Seconds the importer may take: < 0 by the file's size, 0 no limit.
  double importSeconds = -1.0;
  // Model files may read the files they refer to (buffers, material
  // libraries, textures) from outside their own folder.
  bool allowOutsidePaths = false;
};

// A model file's animations, each with a scene that samples it over its own
// frames, for sequences only (export --all).
struct SceneAnimations {
  std::vector<std::string> names;
  std::vector<std::unique_ptr<MemoryScene>> scenes;
};
// The importer's failure as one clear line: an exception's bare name is
// told as what it means, and a model that lies out of range without a
// --scale (scaled false) is not asked for a smaller one.
std::string ImportFailure(const std::string& error, bool scaled);

// True when the path is a model file for the importer rather than one of
// our JSON scene files (by its extension).
bool IsModelFile(const std::string& path);

// Before anything is read: false with a one-line error naming the file when
// it exists but is not a regular file (a FIFO, a device). A missing file
// passes; the reader says so.
bool CheckSceneFile(const std::string& path, std::string* error);

// Loads a scene file (.json) or, where the importer is built in, a model
// file. Null with a one-line error naming the file on any failure. What the
// importer had to change or leave out is added to warnings, one line each.
// With animations, a model file also gives every animation in the same import.
// usage, when given, is set when an option was at fault rather than the file.
// unit, when given, gets the source's unit as the import used it (unknown for
// scene files). --to-source-units on a file whose unit is unknown, and the
// unit options on a scene file, are usage errors.
std::unique_ptr<MemoryScene> LoadScene(const std::string& path, const SceneLoadOptions& options,
                                       std::string* error, std::vector<Warning>* warnings,
                                       SceneAnimations* animations = nullptr, bool* usage = nullptr,
                                       SourceUnit* unit = nullptr);

}  // namespace kw
