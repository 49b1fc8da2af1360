#include "collision/hull_expansion.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <map>

namespace kw::collision {

namespace {

// Slack on a factor, so that corners rounded to float still hold their points.
constexpr double kFactorMargin = 1e-6;

}  // namespace

std::vector<double> ExpandToContain(const std::vector<double>& xyz, const QhullFacets& hull) {
  std::map<int, double> factorOf;  // corner: its factor
  for (const std::array<int, 3>& triangle : hull.triangles) {
    for (int corner : triangle) factorOf[corner] = 1.0;
  }
  double centre[3] = {0, 0, 0};
  for (const auto& entry : factorOf) {
    for (int a = 0; a < 3; ++a) centre[a] += xyz[3 * static_cast<std::size_t>(entry.first) + a];
  }
  for (double& c : centre) c /= static_cast<double>(factorOf.size());

  // qhull splits a merged face into triangles that keep its plane, so a ray
  // leaves by the plane, not by one triangle: the corners of all its
  // triangles move together.
  std::map<std::array<double, 4>, std::size_t> planeIndex;
  std::vector<std::vector<int>> cornersOn;
  std::vector<std::array<double, 4>> planes;
  for (std::size_t t = 0; t < hull.planes.size(); ++t) {
    const auto found = planeIndex.emplace(hull.planes[t], planes.size());
    if (found.second) {
      planes.push_back(hull.planes[t]);
      cornersOn.emplace_back();
    }
    std::vector<int>& corners = cornersOn[found.first->second];
    corners.insert(corners.end(), hull.triangles[t].begin(), hull.triangles[t].end());
  }
  const std::size_t faces = planes.size();
  // Distance from the centre in to each plane: positive, as the centre is
  // inside a hull of at least four corners not on one plane.
  std::vector<double> depth(faces);
  for (std::size_t f = 0; f < faces; ++f) {
    const std::array<double, 4>& plane = planes[f];
    depth[f] = -(plane[0] * centre[0] + plane[1] * centre[1] + plane[2] * centre[2] + plane[3]);
    if (!(depth[f] > 0)) return {};  // cannot happen for a solid hull; keep it as qhull gave it
  }
  std::vector<double> need(faces, 1.0);
  bool outside = false;
  for (std::size_t i = 0; i < xyz.size() / 3; ++i) {
    const double* p = &xyz[3 * i];
    double best = 0;
    std::size_t exit = 0;
    for (std::size_t f = 0; f < faces; ++f) {
      const std::array<double, 4>& plane = planes[f];
      const double ratio =
          (plane[0] * p[0] + plane[1] * p[1] + plane[2] * p[2] + plane[3]) / depth[f];
      if (ratio > best) {
        best = ratio;
        exit = f;
      }
    }
    // 1 + ratio is the factor that brings p onto the plane it leaves by.
    if (best > 1e-12) {
      outside = true;
      need[exit] = std::max(need[exit], 1.0 + best);
    }
  }
  if (!outside) return {};
  for (std::size_t f = 0; f < faces; ++f) {
    if (need[f] == 1.0) continue;
    for (int corner : cornersOn[f]) {
      factorOf[corner] = std::max(factorOf[corner], need[f] * (1.0 + kFactorMargin));
    }
  }
  std::vector<double> moved;
  moved.reserve(factorOf.size() * 3);
  for (const auto& entry : factorOf) {
    for (int a = 0; a < 3; ++a) {
      const double v = xyz[3 * static_cast<std::size_t>(entry.first) + a];
      moved.push_back(centre[a] + (v - centre[a]) * entry.second);
    }
  }
  return moved;
}

}  // namespace kw::collision
