// What a mesh's morph targets are called and how far they move it, asked
// through the scene-access interface, so that listing a scene and exporting
// its shapes agree on every host.
#pragma once

#include <string>

#include "scene/scene_access.h"

namespace kw {

// The name target goes by: its own, or "<meshName>_<target>" when it has
// none, so that unnamed targets of different meshes stay apart. Inline: the
// plug-in's build has the scene's headers only.
inline std::string MorphTargetName(const SceneMesh& mesh, const char* meshName, int target) {
  const char* name = mesh.GetMorphTargetName(target);
  if (name && *name) return name;
  return std::string(meshName ? meshName : "") + "_" + std::to_string(target);
}

// How much of the mesh a target moves.
struct MorphTargetSummary {
  // Vertices whose position differs from the mesh's.
  int movedVertices = 0;
  // The largest distance from a vertex of the mesh to it in the target.
  double largestDisplacement = 0.0;
};

// The mesh's data must have been initialised (SceneMesh::InitialiseData).
MorphTargetSummary SummarizeMorphTarget(const SceneMesh& mesh, int target);

}  // namespace kw
