// The collision model's SMD, <model>_phys.smd: a reference whose triangles are
// the hulls, each corner on its hull's bone alone, with the render reference's
// own nodes and pose so that the compiler matches the bones by name.
#pragma once

#include <string>
#include <vector>

#include "collision/bone_hulls.h"
#include "smd/smd_file.h"
#include "smd/text_output.h"

namespace kw::collision {

// Every hull triangle's texture name; the compiler ignores it for a
// collision model, but a reference line must name one.
constexpr const char* kCollisionMaterial = "phys";

// Writes version, nodes, the skeleton at time 0 (skeleton as given, in its
// order) and the triangles, numbers as the export writes them (%f). A prop
// puts every hull on its single bone, 0. False with a one-line *error, and
// nothing written, when there is no triangle to write or a hull's bone is not
// among the nodes. A name holding '"' or a line break is written with '_'
// instead (smd/quotable_name.h).
bool WriteCollisionSmd(TextStream& out, const std::vector<smd::Node>& nodes,
                       const std::vector<smd::Pose>& skeleton, const std::vector<BoneHull>& hulls,
                       std::string* error);

}  // namespace kw::collision
