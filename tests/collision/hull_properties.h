// What every collision hull must be: closed (each edge once each way), convex
// (each face plane against every corner), wound outward (positive volume),
// holding every input point within the tolerance convex_hull.h states, with
// unit corner normals pointing out and no more triangles than the bound.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <map>
#include <vector>

#include "collision/convex_hull.h"

namespace kw::collision::test {

// n . p - d: above the plane of triangle t, in double.
inline double Above(const ConvexHull& hull, const std::array<int, 3>& t, const Point3& p) {
  const Point3* c[3];
  for (int k = 0; k < 3; ++k) c[k] = &hull.vertices[static_cast<std::size_t>(t[k])];
  double u[3], v[3], w[3];
  for (int a = 0; a < 3; ++a) {
    u[a] = double((*c[1])[a]) - (*c[0])[a];
    v[a] = double((*c[2])[a]) - (*c[0])[a];
    w[a] = double(p[a]) - (*c[0])[a];
  }
  const double n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2],
                       u[0] * v[1] - u[1] * v[0]};
  return (n[0] * w[0] + n[1] * w[1] + n[2] * w[2]) /
         std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
}

inline void ExpectSoundHull(const ConvexHull& hull, const std::vector<Point3>& points,
                            int maxVertices = kDefaultMaxVertices) {
  ASSERT_FALSE(hull.Empty()) << hull.problem;
  ASSERT_EQ(hull.normals.size(), hull.vertices.size());
  EXPECT_LE(hull.triangles.size(), static_cast<std::size_t>(2 * maxVertices - 4));
  double low[3] = {INFINITY, INFINITY, INFINITY}, high[3] = {-INFINITY, -INFINITY, -INFINITY};
  double largest = 0, size = 0;
  for (const Point3& p : points) {
    for (int a = 0; a < 3; ++a) {
      low[a] = std::fmin(low[a], p[a]);
      high[a] = std::fmax(high[a], p[a]);
      largest = std::fmax(largest, std::fabs(p[a]));
    }
  }
  for (int a = 0; a < 3; ++a) size += (high[a] - low[a]) * (high[a] - low[a]);
  const double tolerance = kContainShare * std::sqrt(size) + 4 * std::ldexp(largest, -23);

  std::map<std::array<int, 2>, int> edges;
  for (const std::array<int, 3>& t : hull.triangles) {
    for (int k = 0; k < 3; ++k) ++edges[{t[k], t[(k + 1) % 3]}];
    for (const Point3& corner : hull.vertices) ASSERT_LE(Above(hull, t, corner), tolerance);
    for (const Point3& p : points) ASSERT_LE(Above(hull, t, p), tolerance) << "a point outside";
  }
  for (const auto& edge : edges) {
    EXPECT_EQ(edge.second, 1);
    EXPECT_EQ(edges.count({edge.first[1], edge.first[0]}), 1u) << "an open edge";
  }
  EXPECT_GT(Volume(hull), 0);
  // A sum of outward face normals points away from the centre, which is
  // below every face.
  Point3 centre;
  for (const Point3& v : hull.vertices) centre = centre + v * (1.0f / hull.vertices.size());
  for (std::size_t v = 0; v < hull.vertices.size(); ++v) {
    EXPECT_NEAR(Length(hull.normals[v]), 1, 1e-6);
    EXPECT_GT(DotProd(hull.normals[v], hull.vertices[v] - centre), 0) << "normal points in";
  }
}

}  // namespace kw::collision::test
