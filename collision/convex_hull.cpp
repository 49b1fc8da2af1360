#include "collision/convex_hull.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <tuple>

#include "collision/flat_points.h"
#include "collision/hull_expansion.h"
#include "collision/qhull_run.h"

namespace kw::collision {

namespace {

bool Finite(const Point3& p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

// The hull as floats: corners sorted and shared, triangles in a fixed order,
// smooth normals.
void Fill(const std::vector<double>& xyz, const QhullFacets& facets, ConvexHull* hull) {
  // A corner by its float position: two that round alike become one.
  std::map<std::tuple<float, float, float>, int> indexOf;
  auto corner = [&](int id) {
    const std::size_t at = 3 * static_cast<std::size_t>(id);
    return std::make_tuple(static_cast<float>(xyz[at]), static_cast<float>(xyz[at + 1]),
                           static_cast<float>(xyz[at + 2]));
  };
  for (const std::array<int, 3>& triangle : facets.triangles) {
    for (int id : triangle) indexOf.emplace(corner(id), 0);
  }
  for (auto& entry : indexOf) {
    entry.second = static_cast<int>(hull->vertices.size());
    hull->vertices.emplace_back(std::get<0>(entry.first), std::get<1>(entry.first),
                                std::get<2>(entry.first));
  }
  // Distinct face normals per corner: a face qhull split in two counts once.
  std::vector<std::vector<std::array<double, 3>>> around(hull->vertices.size());
  for (std::size_t f = 0; f < facets.triangles.size(); ++f) {
    std::array<int, 3> t;
    for (int k = 0; k < 3; ++k) t[k] = indexOf[corner(facets.triangles[f][k])];
    if (t[0] == t[1] || t[1] == t[2] || t[0] == t[2]) continue;
    std::rotate(t.begin(), std::min_element(t.begin(), t.end()), t.end());
    hull->triangles.push_back(t);
    const std::array<double, 3> normal = {facets.planes[f][0], facets.planes[f][1],
                                          facets.planes[f][2]};
    for (int v : t) {
      std::vector<std::array<double, 3>>& normals = around[static_cast<std::size_t>(v)];
      const bool known = std::any_of(normals.begin(), normals.end(), [&](const auto& n) {
        return n[0] * normal[0] + n[1] * normal[1] + n[2] * normal[2] > 1 - 1e-9;
      });
      if (!known) normals.push_back(normal);
    }
  }
  std::sort(hull->triangles.begin(), hull->triangles.end());
  for (const std::vector<std::array<double, 3>>& normals : around) {
    double sum[3] = {0, 0, 0};
    for (const std::array<double, 3>& n : normals) {
      for (int a = 0; a < 3; ++a) sum[a] += n[a];
    }
    const double length = std::sqrt(sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]);
    hull->normals.emplace_back(static_cast<float>(sum[0] / length),
                               static_cast<float>(sum[1] / length),
                               static_cast<float>(sum[2] / length));
  }
}

// A corner within a millionth of an edge's length of the line of two other
// corners adds nothing to the hull but a triangle of no area, which has no
// normal. qhull keeps such points of an edge as corners (they are within its
// rounding of the edge): they are dropped and the hull made again.
bool DropEdgeCorners(std::vector<double>* xyz, QhullFacets* facets, std::string* error) {
  for (int round = 0; round < 8; ++round) {
    std::set<int> corners;
    std::set<int> middle;
    for (const std::array<int, 3>& t : facets->triangles) {
      double p[3][3];
      for (int k = 0; k < 3; ++k) {
        corners.insert(t[k]);
        for (int a = 0; a < 3; ++a) p[k][a] = (*xyz)[3 * static_cast<std::size_t>(t[k]) + a];
      }
      // The longest edge is the one opposite corner k.
      int opposite = 0;
      double longest = 0;
      for (int k = 0; k < 3; ++k) {
        const double* u = p[(k + 1) % 3];
        const double* v = p[(k + 2) % 3];
        const double length = (u[0] - v[0]) * (u[0] - v[0]) + (u[1] - v[1]) * (u[1] - v[1]) +
                              (u[2] - v[2]) * (u[2] - v[2]);
        if (length > longest) {
          longest = length;
          opposite = k;
        }
      }
      double e[2][3];
      for (int a = 0; a < 3; ++a) {
        e[0][a] = p[1][a] - p[0][a];
        e[1][a] = p[2][a] - p[0][a];
      }
      const double cross[3] = {e[0][1] * e[1][2] - e[0][2] * e[1][1],
                               e[0][2] * e[1][0] - e[0][0] * e[1][2],
                               e[0][0] * e[1][1] - e[0][1] * e[1][0]};
      const double twiceArea =
          std::sqrt(cross[0] * cross[0] + cross[1] * cross[1] + cross[2] * cross[2]);
      if (twiceArea <= 1e-6 * longest) middle.insert(t[opposite]);
    }
    if (middle.empty()) return true;
    std::vector<double> kept;
    for (int id : corners) {
      if (middle.count(id) != 0) continue;
      for (int a = 0; a < 3; ++a) kept.push_back((*xyz)[3 * static_cast<std::size_t>(id) + a]);
    }
    if (!RunQhull(kept, 0, facets, error)) return false;
    xyz->swap(kept);
  }
  return true;
}

// Where corners are chosen and grown: p maps to (p - centre) * stretch.
struct Frame {
  double centre[3];
  double stretch[3];
};

// The corners, in threes, of a hull of at most budget corners that holds
// every point: qhull's greedy choice, grown over the points it left out.
bool GrownCorners(const std::vector<double>& xyz, int budget, const Frame& frame,
                  std::vector<double>* corners, bool* simplified, std::string* error) {
  std::vector<double> mapped(xyz.size());
  for (std::size_t i = 0; i < xyz.size(); ++i) {
    mapped[i] = (xyz[i] - frame.centre[i % 3]) * frame.stretch[i % 3];
  }
  QhullFacets facets;
  if (!RunQhull(mapped, budget, &facets, error)) return false;
  *corners = ExpandToContain(mapped, facets);
  *simplified = !corners->empty();
  if (corners->empty()) {
    std::set<int> ids;
    for (const std::array<int, 3>& t : facets.triangles) ids.insert(t.begin(), t.end());
    for (int id : ids) {
      for (int a = 0; a < 3; ++a) corners->push_back(mapped[3 * static_cast<std::size_t>(id) + a]);
    }
  }
  for (std::size_t i = 0; i < corners->size(); ++i) {
    (*corners)[i] = (*corners)[i] / frame.stretch[i % 3] + frame.centre[i % 3];
  }
  return true;
}

double Volume(const std::vector<double>& xyz, const QhullFacets& facets) {
  // Measured from the first corner: far from the origin, products of
  // coordinates would cancel.
  const double* o = &xyz[0];
  double volume = 0;
  for (const std::array<int, 3>& t : facets.triangles) {
    const double* a = &xyz[3 * static_cast<std::size_t>(t[0])];
    const double* b = &xyz[3 * static_cast<std::size_t>(t[1])];
    const double* c = &xyz[3 * static_cast<std::size_t>(t[2])];
    const double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    const double v[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
    volume += (a[0] - o[0]) * (u[1] * v[2] - u[2] * v[1]) +
              (a[1] - o[1]) * (u[2] * v[0] - u[0] * v[2]) +
              (a[2] - o[2]) * (u[0] * v[1] - u[1] * v[0]);
  }
  return volume / 6;
}

}  // namespace

ConvexHull Hull(const std::vector<Point3>& points, const HullOptions& options) {
  ConvexHull hull;
  if (points.empty()) {
    hull.problem = "no points";
    return hull;
  }
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (!Finite(points[i])) {
      hull.problem = "point " + std::to_string(i) + " is not a finite number";
      return hull;
    }
  }
  Point3 low = points[0];
  Point3 high = points[0];
  double largest = 0;
  std::vector<double> xyz;
  xyz.reserve(points.size() * 3);
  for (const Point3& p : points) {
    for (int a = 0; a < 3; ++a) {
      low[a] = std::min(low[a], p[a]);
      high[a] = std::max(high[a], p[a]);
      largest = std::max(largest, std::fabs(static_cast<double>(p[a])));
      xyz.push_back(p[a]);
    }
  }
  double size = 0;
  for (int a = 0; a < 3; ++a) {
    const double side = static_cast<double>(high[a]) - low[a];
    size += side * side;
  }
  size = std::sqrt(size);

  const SpreadOf spread = MeasureSpread(xyz, size, largest);
  if (spread.spread == Spread::kPoint) {
    hull.problem = "the points are all at one place";
    return hull;
  }
  if (spread.spread != Spread::kSolid) {
    if (!options.thickenFlat) {
      hull.problem = spread.spread == Spread::kFlat ? "the points lie on one plane"
                                                    : "the points lie on one line";
      return hull;
    }
    xyz = Thicken(xyz, spread, kThinShare * size);
    hull.thickened = true;
  }

  // The corners, grown as they are and in a frame where the points' box is a
  // cube (an affine map keeps a hull a hull and a point inside inside): a
  // long part grows by its thickness there rather than by its length, a
  // compact one often less as it is. The smaller volume stays.
  const int budget = std::max(options.maxVertices, 4);
  std::string error;
  const Frame world = {{0, 0, 0}, {1, 1, 1}};
  std::vector<double> corners;
  if (!GrownCorners(xyz, budget, world, &corners, &hull.simplified, &error)) {
    hull.problem = "qhull: " + error;
    return hull;
  }
  QhullFacets facets;
  if (!RunQhull(corners, 0, &facets, &error)) {
    hull.problem = "qhull: " + error;
    return hull;
  }
  if (hull.simplified) {
    Frame cube;
    for (int a = 0; a < 3; ++a) {
      cube.centre[a] = (static_cast<double>(low[a]) + high[a]) / 2;
      const double side = static_cast<double>(high[a]) - low[a];
      cube.stretch[a] = side > 0 ? 2 / side : 1;
    }
    std::vector<double> other;
    QhullFacets otherFacets;
    bool simplified = false;
    if (GrownCorners(xyz, budget, cube, &other, &simplified, &error) &&
        RunQhull(other, 0, &otherFacets, &error) &&
        Volume(other, otherFacets) < Volume(corners, facets)) {
      corners.swap(other);
      facets = std::move(otherFacets);
    }
  }
  xyz.swap(corners);
  if (!DropEdgeCorners(&xyz, &facets, &error)) {
    hull.problem = "qhull: " + error;
    return hull;
  }
  Fill(xyz, facets, &hull);
  return hull;
}

double Volume(const ConvexHull& hull) {
  if (hull.vertices.empty()) return 0;
  // Measured from a corner: far from the origin, products of coordinates
  // would cancel.
  const Point3& o = hull.vertices[0];
  auto from = [&](int v, double* d) {
    const Point3& p = hull.vertices[static_cast<std::size_t>(v)];
    for (int a = 0; a < 3; ++a) d[a] = static_cast<double>(p[a]) - o[a];
  };
  double volume = 0;
  for (const std::array<int, 3>& t : hull.triangles) {
    double a[3], b[3], c[3];
    from(t[0], a);
    from(t[1], b);
    from(t[2], c);
    volume += a[0] * (b[1] * c[2] - b[2] * c[1]) + a[1] * (b[2] * c[0] - b[0] * c[2]) +
              a[2] * (b[0] * c[1] - b[1] * c[0]);
  }
  return volume / 6;
}

}  // namespace kw::collision
