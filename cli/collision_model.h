// The collision model of export --all, made from the reference SMD as it was
// written, so that its bones and positions are the reference's own: for a
// prop, convex hulls of the mesh on one bone; for a skinned model whose
// vertices several bones carry, one hull per bone (a ragdoll).
#pragma once

#include <string>
#include <vector>

#include "smd/smd_file.h"

namespace kw {

struct CollisionModel {
  enum class Kind { kNone, kProp, kRagdoll };
  Kind kind = Kind::kNone;
  std::string smd;  // the text of <model>_phys.smd
  int hulls = 0;
  int parts = 0;  // a prop's connected parts (--collision parts), before merging
  // A ragdoll: the bone it hangs from, and every other bone with a hull, in
  // the order of the nodes.
  std::string rootBone;
  std::vector<std::string> jointBones;
  // A ragdoll's bones without a hull, one line each: the name in quotes and why.
  std::vector<std::string> leftOut;
  // Why there is no collision model though the reference has triangles.
  std::string problem;
};

// mode: "hull" or "parts" ("none" makes none). skinned: a mesh of the scene
// has a skin; its vertices make a ragdoll when their largest weights fall on
// more than one bone. A reference without triangles gets none, and no problem.
CollisionModel MakeCollisionModel(const smd::File& reference, const std::string& mode,
                                  bool skinned);

}  // namespace kw
