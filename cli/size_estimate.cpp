#include "cli/size_estimate.h"

#include <sys/statvfs.h>

#include <cstdio>
#include <vector>

namespace kw {
namespace {

// The shortest lines the writers make: "  0 0.000000 0.000000 0.000000
// 0.000000 0.000000 0.000000" for a pose, and a vertex line of bone,
// position, normal and u, v at six decimals each.
constexpr std::uint64_t kPoseLineBytes = 58;
constexpr std::uint64_t kTimeLineBytes = 7;
constexpr std::uint64_t kVertexLineBytes = 2 + 8 * 9;
constexpr std::uint64_t kTextureLineBytes = 2;

bool IsExported(const MemoryNode& node) {
  IGameObject* object = const_cast<MemoryNode&>(node).GetObject();
  const int type = object ? object->GetObjectType() : 0;
  return type == kObjectMesh || type == kObjectHelper || type == kObjectBone ||
         type == kObjectIkChain;
}

std::string Folder(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

SizeEstimate EstimateSmdSize(const MemoryScene& scene, bool sequence, std::uint64_t frames,
                             bool selectedOnly) {
  std::uint64_t nodes = 0, faces = 0;
  std::vector<const MemoryNode*> pending(scene.GetSceneRoots().begin(),
                                         scene.GetSceneRoots().end());
  while (!pending.empty()) {
    const MemoryNode* node = pending.back();
    pending.pop_back();
    for (const MemoryNode* child : node->GetSceneChildren()) pending.push_back(child);
    if (!IsExported(*node) || (selectedOnly && !node->IsSelected())) continue;
    ++nodes;
    IGameObject* object = const_cast<MemoryNode*>(node)->GetObject();
    if (SceneMesh* mesh = object ? object->AsMesh() : nullptr) {
      faces += static_cast<std::uint64_t>(mesh->GetFaceCount());
    }
  }
  SizeEstimate estimate;
  estimate.nodes = nodes;
  if (sequence) {
    estimate.units = frames;
    estimate.unitName = "frames";
    estimate.bytes = frames * (kTimeLineBytes + nodes * kPoseLineBytes);
  } else {
    estimate.units = faces;
    estimate.bytes = nodes * kPoseLineBytes + faces * (kTextureLineBytes + 3 * kVertexLineBytes);
  }
  return estimate;
}

bool CheckFreeSpace(const std::string& target, const SizeEstimate& estimate, std::string* cause) {
  struct statvfs fs {};
  if (::statvfs(Folder(target).c_str(), &fs) != 0) return true;  // the open will say why
  const std::uint64_t free = static_cast<std::uint64_t>(fs.f_bavail) * fs.f_frsize;
  if (estimate.bytes <= free) return true;
  *cause = "the export needs at least " + ByteCount(estimate.bytes) + " (" +
           std::to_string(estimate.units) + " " + estimate.unitName + ") and the file system has " +
           ByteCount(free) + " free; export a shorter range or free some space";
  return false;
}

std::string ByteCount(std::uint64_t bytes) {
  static const char* const kUnits[] = {"kB", "MB", "GB", "TB", "PB", "EB"};
  if (bytes < 1000) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
  double value = static_cast<double>(bytes);
  int unit = -1;
  while (value >= 1000 && unit < 5) {
    value /= 1000;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, value < 10 ? "%.1f %s" : "%.0f %s", value, kUnits[unit]);
  return text;
}

}  // namespace kw
