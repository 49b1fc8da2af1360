// How much an export will write at the least, worked out before it starts:
// a sequence of two billion frames must be refused while the disk is still
// empty, not found out when it is full.
#pragma once

#include <cstdint>
#include <string>

#include "scene/memory_scene.h"

namespace kw {

struct SizeEstimate {
  std::uint64_t bytes = 0;  // a lower bound: every number at its shortest
  std::uint64_t units = 0;  // frames of a sequence, faces of a reference
  const char* unitName = "faces";
  std::uint64_t nodes = 0;  // that the export writes
};

// frames: the poses of a sequence (ignored for a reference).
SizeEstimate EstimateSmdSize(const MemoryScene& scene, bool sequence, std::uint64_t frames,
                             bool selectedOnly);

// False with a cause naming both figures when the file system that is to
// hold target has less room than the estimate.
bool CheckFreeSpace(const std::string& target, const SizeEstimate& estimate, std::string* cause);

// "1.5 GB", "830 kB", "12 bytes".
std::string ByteCount(std::uint64_t bytes);

}  // namespace kw
