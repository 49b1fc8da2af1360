// What stands between a hostile file and the exporter: a cap on the memory
// the parser may take, an ear on assimp's log for data it quietly dropped,
// and a check that every number the scene is built from is finite.
#pragma once

#include <assimp/DefaultIOSystem.h>
#include <assimp/LogStream.hpp>
#include <assimp/scene.h>

#include <cstdint>
#include <memory>
#include <string>

#if defined(__linux__)
#include <sys/resource.h>
#endif

namespace kw::model_import {

// Lowers the address-space limit to what the process uses now plus a budget
// for the file, for as long as it lives. assimp catches the failed
// allocation and reports it, so a file that claims billions of elements
// fails at once instead of filling the machine's memory.
class AddressSpaceCap {
 public:
  AddressSpaceCap(bool enabled, std::uintmax_t fileSize);
  ~AddressSpaceCap();
  AddressSpaceCap(const AddressSpaceCap&) = delete;
  AddressSpaceCap& operator=(const AddressSpaceCap&) = delete;

 private:
  bool applied_ = false;
#if defined(__linux__)
  rlimit previous_{};
#endif
};

// Listens to assimp's warnings and errors while it lives and keeps the first
// that says the file had indices out of range or that data was dropped:
// assimp mends such files by leaving faces out, which would export a damaged
// model as if nothing had happened.
class DroppedDataLog {
 public:
  DroppedDataLog();
  ~DroppedDataLog();
  DroppedDataLog(const DroppedDataLog&) = delete;
  DroppedDataLog& operator=(const DroppedDataLog&) = delete;

  // Empty when nothing was dropped.
  const std::string& FirstDrop() const { return firstDrop_; }

 private:
  class Stream;
  std::string firstDrop_;
  std::unique_ptr<Stream> stream_;
  bool ownsLogger_ = false;
};

// True when the message tells of bad indices or dropped data.
bool TellsOfDroppedData(const std::string& message);

// Checks the numbers the scene is built from: node transforms, vertex
// positions, UV channel 0, morph targets, bone offsets and weights, and the
// keys of the animation that will be sampled (may be null). False with one
// line naming the first place that holds an infinity or a NaN, or a morph
// target whose vertices are not the mesh's.
bool CheckFinite(const aiScene& scene, const aiAnimation* animation, std::string* error);

// The files the importer opens: the model itself and what it refers to.
// Outside the model's folder (after links) nothing is read unless allowed:
// a model must not turn "../../secret.bin" into vertices. A file that is not
// a regular file (a FIFO) is never opened. The importer owns this object.
class FolderIOSystem : public Assimp::DefaultIOSystem {
 public:
  FolderIOSystem(const std::string& modelPath, bool allowOutside);

  bool Exists(const char* path) const override;
  Assimp::IOStream* Open(const char* path, const char* mode = "rb") override;

  // The first reference that was refused, as the model gave it; empty when none.
  const std::string& Refused() const { return refused_; }
  // Why: "outside the model's folder" or "not a regular file".
  const std::string& RefusedBecause() const { return refusedBecause_; }

 private:
  bool Allowed(const char* path) const;

  std::string folder_;
  bool allowOutside_;
  mutable std::string refused_;
  mutable std::string refusedBecause_;
};

// False with one line naming the first vertex or node position that the
// scale would send past the range of a float.
bool CheckScaleFits(const aiScene& scene, double scale, std::string* error);

}  // namespace kw::model_import
