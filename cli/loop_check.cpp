#include "cli/loop_check.h"

#include <cmath>
#include <unordered_map>

#include "geometry/geometry.h"

namespace kw {

namespace {

// The angle of the rotation between two unit quaternions, from their chord,
// which keeps its precision for small angles where the dot product does not.
double AngleBetween(Quat a, Quat b) {
  const double dot = double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z + double(a.w) * b.w;
  const double s = dot < 0 ? -1.0 : 1.0;
  const double d[4] = {a.x - s * b.x, a.y - s * b.y, a.z - s * b.z, a.w - s * b.w};
  const double chord = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2] + d[3] * d[3]);
  return 4 * std::asin(std::fmin(1.0, chord / 2));
}

}  // namespace

bool PosesAgree(const smd::File& sequence, double modelSize) {
  if (sequence.frames.size() < 2) return false;
  const smd::Frame& first = sequence.frames.front();
  const smd::Frame& last = sequence.frames.back();
  std::unordered_map<int, const smd::Pose*> start;
  for (std::uint32_t i = 0; i < first.poseCount; ++i) {
    const smd::Pose& pose = sequence.poses[first.firstPose + i];
    start[pose.node] = &pose;
  }
  const double reach = kLoopPositionShare * (modelSize > 0 ? modelSize : 1.0);
  for (std::uint32_t i = 0; i < last.poseCount; ++i) {
    const smd::Pose& end = sequence.poses[last.firstPose + i];
    const auto found = start.find(end.node);
    if (found == start.end()) return false;
    const smd::Pose& begin = *found->second;
    double distance = 0;
    for (int a = 0; a < 3; ++a) {
      const double d = double(end.position[a]) - begin.position[a];
      distance += d * d;
    }
    if (!(std::sqrt(distance) <= reach)) return false;
    if (!(AngleBetween(EulerToQuat(begin.rotation), EulerToQuat(end.rotation)) <= kLoopRadians))
      return false;
  }
  return true;
}

}  // namespace kw
