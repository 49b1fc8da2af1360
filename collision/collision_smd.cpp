#include "collision/collision_smd.h"

#include <array>
#include <set>

#include "smd/quotable_name.h"

namespace kw::collision {

namespace {

// "+ 0.0f": a negative zero would print "-0.000000" where the export prints
// "0.000000".
void PutNumbers(TextStream& out, const float* values, int count) {
  for (int k = 0; k < count; ++k) {
    out.Put(' ');
    out.PutFixed(values[k] + 0.0f);
  }
}

}  // namespace

bool WriteCollisionSmd(TextStream& out, const std::vector<smd::Node>& nodes,
                       const std::vector<smd::Pose>& skeleton, const std::vector<BoneHull>& hulls,
                       std::string* error) {
  std::set<int> known;
  for (const smd::Node& node : nodes) known.insert(node.index);
  bool anyTriangle = false;
  for (const BoneHull& bone : hulls) {
    if (bone.hull.Empty()) continue;
    anyTriangle = true;
    if (known.count(bone.bone) == 0) {
      *error = "a collision hull is on bone " + std::to_string(bone.bone) +
               ", which is not among the nodes";
      return false;
    }
  }
  if (!anyTriangle) {
    *error = "no collision hull to write";
    return false;
  }

  out.Put("version 1\nnodes\n");
  for (const smd::Node& node : nodes) {
    out.PutInt3(node.index);
    out.Put(" \"");
    out.Put(NeedsReplacing(node.name) ? QuotableName(node.name) : node.name);
    out.Put("\" ");
    out.PutInt3(node.parent);
    out.Put('\n');
  }
  out.Put("end\nskeleton\ntime 0\n");
  for (const smd::Pose& pose : skeleton) {
    out.PutInt3(pose.node);
    PutNumbers(out, pose.position, 3);
    PutNumbers(out, pose.rotation, 3);
    out.Put('\n');
  }
  out.Put("end\ntriangles\n");
  for (const BoneHull& bone : hulls) {
    const ConvexHull& hull = bone.hull;
    for (const std::array<int, 3>& triangle : hull.triangles) {
      out.Put(kCollisionMaterial);
      out.Put('\n');
      for (int v : triangle) {
        const Point3& p = hull.vertices[static_cast<std::size_t>(v)];
        const Point3& n = hull.normals[static_cast<std::size_t>(v)];
        const float numbers[8] = {p.x, p.y, p.z, n.x, n.y, n.z, 0.0f, 0.0f};
        out.PutInt3(bone.bone);
        PutNumbers(out, numbers, 8);
        out.Put(" 1 ");
        out.PutInt(bone.bone);
        out.Put(" 1.000000\n");
      }
    }
  }
  out.Put("end\n");
  return true;
}

}  // namespace kw::collision
