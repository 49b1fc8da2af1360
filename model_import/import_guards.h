// What stands between a hostile file and the exporter: a cap on the memory
// the parser may take, an ear on assimp's log for data it quietly dropped,
// and a check that every number the scene is built from is finite.
#pragma once

#include <assimp/LogStream.hpp>
#include <assimp/scene.h>

#include <cstdint>
#include <memory>
#include <string>

#if defined(__linux__)
#include <sys/resource.h>
#endif

namespace model_import {

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
// positions, UV channel 0, bone offsets and weights, and the keys of the
// animation that will be sampled (may be null). False with one line naming
// the first place that holds an infinity or a NaN.
bool CheckFinite(const aiScene& scene, const aiAnimation* animation, std::string* error);

}  // namespace model_import
