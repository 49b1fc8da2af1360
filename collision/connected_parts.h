// A mesh split into the pieces that hang together, one collision hull each.
#pragma once

#include <array>
#include <vector>

#include "geometry/geometry.h"

namespace kw::collision {

struct Part {
  std::vector<int> triangles;  // indices into the mesh's triangles, ascending
  std::vector<int> vertices;   // the vertices they use, ascending
};

// Triangles are joined when they share a vertex index, and with
// joinCoincident also when their vertices sit at the same position (bit for
// bit, +0 and -0 alike), as importers split a vertex at seams of texture
// coordinates or normals. Parts come in the order of their first triangle. A
// triangle with an index outside the vertices belongs to no part. Linear in
// the mesh, but for the sort of each part's vertices.
std::vector<Part> ConnectedParts(const std::vector<Point3>& vertices,
                                 const std::vector<std::array<int, 3>>& triangles,
                                 bool joinCoincident = true);

// The positions of a part's vertices, as Hull takes them.
std::vector<Point3> PointsOf(const Part& part, const std::vector<Point3>& vertices);

}  // namespace kw::collision
