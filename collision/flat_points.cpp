#include "collision/flat_points.h"

#include <cmath>
#include <cstddef>

namespace kw::collision {

namespace {

struct Vec {
  double x, y, z;
};

Vec At(const std::vector<double>& xyz, std::size_t i) {
  return {xyz[3 * i], xyz[3 * i + 1], xyz[3 * i + 2]};
}
Vec Minus(const Vec& a, const Vec& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec Cross(const Vec& a, const Vec& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double Dot(const Vec& a, const Vec& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double Norm(const Vec& a) { return std::sqrt(Dot(a, a)); }
Vec Unit(const Vec& a) {
  const double n = Norm(a);
  return {a.x / n, a.y / n, a.z / n};
}

// The index of the point for which measure is largest.
template <typename Measure>
std::size_t Farthest(const std::vector<double>& xyz, Measure measure, double* best) {
  std::size_t found = 0;
  *best = -1;
  for (std::size_t i = 0; i < xyz.size() / 3; ++i) {
    const double m = measure(At(xyz, i));
    if (m > *best) {
      *best = m;
      found = i;
    }
  }
  return found;
}

void Store(const Vec& v, double* out) {
  out[0] = v.x;
  out[1] = v.y;
  out[2] = v.z;
}

}  // namespace

SpreadOf MeasureSpread(const std::vector<double>& xyz, double size, double largest) {
  SpreadOf result;
  if (xyz.size() < 3 || !(size > 0)) return result;
  const double tolerance = std::fmax(1e-6 * size, std::ldexp(largest, -21));
  // Extreme points as qhull's first simplex would take them, each the
  // farthest from what the earlier ones span.
  Vec low = At(xyz, 0);
  Vec high = low;
  for (std::size_t i = 0; i < xyz.size() / 3; ++i) {
    const Vec p = At(xyz, i);
    low = {std::fmin(low.x, p.x), std::fmin(low.y, p.y), std::fmin(low.z, p.z)};
    high = {std::fmax(high.x, p.x), std::fmax(high.y, p.y), std::fmax(high.z, p.z)};
  }
  const Vec middle = {(low.x + high.x) / 2, (low.y + high.y) / 2, (low.z + high.z) / 2};
  double reach = 0;
  const Vec a = At(xyz, Farthest(
                            xyz, [&](const Vec& p) { return Norm(Minus(p, middle)); }, &reach));
  const Vec b = At(xyz, Farthest(
                            xyz, [&](const Vec& p) { return Norm(Minus(p, a)); }, &reach));
  if (reach <= tolerance) return result;
  const Vec line = Unit(Minus(b, a));
  const Vec c =
      At(xyz, Farthest(
                  xyz, [&](const Vec& p) { return Norm(Cross(Minus(p, a), line)); }, &reach));
  if (reach <= tolerance) {
    result.spread = Spread::kLine;
    // Any direction square to the line: cross it with the axis it leans on least.
    const Vec axis =
        std::fabs(line.x) <= std::fabs(line.y) && std::fabs(line.x) <= std::fabs(line.z)
            ? Vec{1, 0, 0}
            : (std::fabs(line.y) <= std::fabs(line.z) ? Vec{0, 1, 0} : Vec{0, 0, 1});
    const Vec first = Unit(Cross(line, axis));
    Store(first, result.axes[0]);
    Store(Cross(line, first), result.axes[1]);
    return result;
  }
  const Vec normal = Unit(Cross(Minus(b, a), Minus(c, a)));
  Farthest(
      xyz, [&](const Vec& p) { return std::fabs(Dot(Minus(p, a), normal)); }, &reach);
  if (reach <= tolerance) {
    result.spread = Spread::kFlat;
    Store(normal, result.axes[0]);
    return result;
  }
  result.spread = Spread::kSolid;
  return result;
}

std::vector<double> Thicken(const std::vector<double>& xyz, const SpreadOf& spread,
                            double thickness) {
  std::vector<Vec> offsets;
  const double half = thickness / 2;
  const double* n = spread.axes[0];
  const double* m = spread.axes[1];
  if (spread.spread == Spread::kFlat) {
    offsets = {{half * n[0], half * n[1], half * n[2]}, {-half * n[0], -half * n[1], -half * n[2]}};
  } else if (spread.spread == Spread::kLine) {
    for (const double s : {-half, half}) {
      for (const double t : {-half, half}) {
        offsets.push_back({s * n[0] + t * m[0], s * n[1] + t * m[1], s * n[2] + t * m[2]});
      }
    }
  } else {
    return xyz;
  }
  std::vector<double> out;
  out.reserve(xyz.size() * offsets.size());
  for (std::size_t i = 0; i < xyz.size() / 3; ++i) {
    const Vec p = At(xyz, i);
    for (const Vec& o : offsets) {
      out.push_back(p.x + o.x);
      out.push_back(p.y + o.y);
      out.push_back(p.z + o.z);
    }
  }
  return out;
}

}  // namespace kw::collision
