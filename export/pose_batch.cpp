#include "export/pose_batch.h"

#include <algorithm>
#include <cstring>

#include "smd/number_format.h"
#include "export/skeleton_writer.h"

namespace kw {

namespace {

// "time " and a 64-bit counter with its line end.
constexpr std::size_t kTimeLine = 5 + 20 + 1;
// Six floats of any size with their spaces.
constexpr std::size_t kNumbers = 6 * 48;

// The inverse of the identity as the scene's matrices make it. Poses of
// nodes without a parent are multiplied by it like any other, which settles
// the signs of their zeros as it always has.
Matrix3 IdentityInverse() {
  Matrix3 identity;
  identity.Zero();
  identity.NoRot();
  identity.NoScale();
  identity.NoTrans();
  return Inverse(identity);
}

// "%d" of a pose counter, which with one tick per frame can pass INT_MAX.
std::size_t PutCounter(std::uint64_t value, char* out) {
  char digits[20];
  std::size_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10u);
    value /= 10u;
  } while (value != 0);
  for (std::size_t i = 0; i < count; ++i) out[i] = digits[count - 1 - i];
  return count;
}

}  // namespace

PoseBatch::PoseBatch(const std::vector<PoseNode>& nodes)
    : nodes_(nodes),
      capacity_(nodes.empty() ? kLines : (kLines + nodes.size() - 1) / nodes.size()),
      posesPerPart_(nodes.empty() ? kPartLines : (kPartLines + nodes.size() - 1) / nodes.size()) {
  lineBound_ = kTimeLine;
  for (std::size_t k = 0; k < nodes_.size(); ++k) {
    lineBound_ += nodes_[k].indexText.size() + kNumbers + 1;
    if (NeedsParentWorld(k)) ++parentWorldsPerPose_;
  }
}

void PoseBatch::Clear() {
  counters_.clear();
  worlds_.clear();
  parentWorlds_.clear();
}

void PoseBatch::StartPose(std::uint64_t counter) { counters_.push_back(counter); }

void PoseBatch::Add(const Matrix3& world, const Matrix3& parentWorld) {
  const std::size_t node = worlds_.size() % nodes_.size();
  worlds_.push_back(world);
  if (NeedsParentWorld(node)) parentWorlds_.push_back(parentWorld);
}

std::size_t PoseBatch::PosesIn(std::size_t part) const {
  const std::size_t first = part * posesPerPart_;
  return std::min(posesPerPart_, counters_.size() - first);
}

std::size_t PoseBatch::PartBound(std::size_t part) const {
  return PosesIn(part) * lineBound_ + kMaxFixedLength;
}

std::size_t PoseBatch::WritePart(std::size_t part, char* out) const {
  static const Matrix3 identityInverse = IdentityInverse();
  const std::size_t firstPose = part * posesPerPart_;
  const std::size_t poses = PosesIn(part);
  char* p = out;
  std::size_t world = firstPose * nodes_.size();
  std::size_t parentWorld = firstPose * parentWorldsPerPose_;
  for (std::size_t n = 0; n < poses; ++n) {
    const std::uint64_t counter = counters_[firstPose + n];
    std::memcpy(p, "time ", 5);
    p += 5;
    p += PutCounter(counter, p);
    *p++ = '\n';
    const Matrix3* pose = worlds_.data() + world;
    for (std::size_t k = 0; k < nodes_.size(); ++k, ++world) {
      const PoseNode& node = nodes_[k];
      Matrix3 parentInverse = identityInverse;
      if (node.hasParent) {
        parentInverse =
            Inverse(node.parentListed ? pose[node.parentAt] : parentWorlds_[parentWorld++]);
      }
      const Matrix3 local = worlds_[world] * parentInverse;

      Point3 position = local.GetTrans();
      if (node.hasParent && node.mirroredParent) {
        position.x *= -1.0f;
        position.y *= -1.0f;
        position.z *= -1.0f;
      }
      float angles[3];
      QuatToEuler(EssentialRotation(local), angles);

      // "+ 0.0f" turns a negative zero into zero: the Euler conversion hands
      // one back for an unturned axis, a mirror for a zero coordinate, and
      // "-0.000000" would make equal poses read differently.
      const float values[6] = {position.x,
                               position.y,
                               position.z,
                               WrapSkeletonAngle(angles[0]),
                               WrapSkeletonAngle(angles[1]),
                               WrapSkeletonAngle(angles[2])};
      std::memcpy(p, node.indexText.data(), node.indexText.size());
      p += node.indexText.size();
      for (float value : values) {
        *p++ = ' ';
        p += FormatFixed6(value + 0.0f, p);
      }
      *p++ = '\n';
    }
  }
  return static_cast<std::size_t>(p - out);
}

}  // namespace kw
