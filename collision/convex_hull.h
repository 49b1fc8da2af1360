// The convex hull of a point set as a collision piece: few triangles, wound
// counter-clockwise seen from outside, with smooth corner normals.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "geometry/geometry.h"

namespace kw::collision {

// A hull has at most 2 * maxVertices - 4 triangles (Euler's formula for a
// closed triangulated surface); the default allows 48.
constexpr int kDefaultMaxVertices = 26;
// Flat or straight input becomes a slab or a square rod this thick, as a share
// of the diagonal of the points' bounding box.
constexpr double kThinShare = 0.01;
// Every input point lies inside every face plane of its hull, or outside by at
// most this share of that diagonal plus four float steps of the largest
// coordinate (the corners are stored as floats).
constexpr double kContainShare = 1e-5;

struct HullOptions {
  // More corners than this (at least 4) and the hull is simplified.
  int maxVertices = kDefaultMaxVertices;
  // Flat or straight points: a thin solid (true) or no hull (false).
  bool thickenFlat = true;
};

struct ConvexHull {
  std::vector<Point3> vertices;  // sorted by x, then y, then z
  // Per vertex: the normalised sum of the distinct normals of the faces
  // around it. Hard edges are refused in a collision mesh.
  std::vector<Point3> normals;
  // Counter-clockwise seen from outside; each starts at its lowest index and
  // they are sorted, so one input gives one output whatever qhull's order.
  std::vector<std::array<int, 3>> triangles;
  bool simplified = false;  // cut to maxVertices corners and grown back over the points
  bool thickened = false;   // the points were flat or on one line
  // Why there is no hull, one line; empty when there is one.
  std::string problem;

  bool Empty() const { return triangles.empty(); }
};

// Refuses (problem set, no triangles) an empty set, a coordinate that is not
// finite, points all at one place, and flat or straight points unless
// options.thickenFlat. Duplicates are harmless. n log n in the points, plus
// one pass of every point against each face when it simplifies.
ConvexHull Hull(const std::vector<Point3>& points, const HullOptions& options = {});

// Enclosed volume; 0 for an empty hull.
double Volume(const ConvexHull& hull);

}  // namespace kw::collision
