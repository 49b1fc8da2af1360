// The "triangles" section of a reference export: per face of every mesh its
// texture name and three vertex lines (bone, position, normal, u, v, bone
// links). A bad face, or a mesh that cannot be read, is reported and left out.
#pragma once

#include "export/section_input.h"

namespace kw {

// Writes nothing for a sequence export.
void WriteTriangles(const SectionInput& input);

// True exactly when the material's class name is the whole string "Standard".
bool IsStandardMaterial(const SceneMaterial* material);

}  // namespace kw
