// The check of a VTA (a vertexanimation section: flex shapes) as read: what
// the compiler would misread or refuse, beside the SMD limits of its nodes
// and skeleton (smd/limit_check.h).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "diagnostics/warning.h"
#include "smd/smd_file.h"

namespace kw::smd {

struct VtaFinding {
  WarningKind kind;
  std::string message;  // one line, without the file's name
};

// Unknown when the reference was not given.
constexpr std::size_t kUnknownVertexCount = static_cast<std::size_t>(-1);

// referenceVertices: 3 x the reference's triangles, the numbers a VTA may
// use. n log n in the shape lines.
std::vector<VtaFinding> CheckVta(const File& file,
                                 std::size_t referenceVertices = kUnknownVertexCount);

// The reference's corners as shape frame `shape` (a place in file.shapeFrames)
// moves them: position of corner 3t+c, for every corner of reference.
// Corners the frame does not list stay where the reference has them.
struct CornerPosition {
  float position[3];
};
std::vector<CornerPosition> ShapedCorners(const File& reference, const File& vta,
                                          std::size_t shape);

}  // namespace kw::smd
