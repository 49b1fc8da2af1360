#include "collision/connected_parts.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <unordered_map>

namespace kw::collision {

namespace {

class DisjointSets {
 public:
  explicit DisjointSets(std::size_t count) : parent_(count) {
    for (std::size_t i = 0; i < count; ++i) parent_[i] = static_cast<int>(i);
  }
  int Find(int v) {
    while (parent_[static_cast<std::size_t>(v)] != v) {
      int& up = parent_[static_cast<std::size_t>(v)];
      up = parent_[static_cast<std::size_t>(up)];  // halve the path
      v = up;
    }
    return v;
  }
  void Join(int a, int b) {
    a = Find(a);
    b = Find(b);
    if (a != b) parent_[static_cast<std::size_t>(std::max(a, b))] = std::min(a, b);
  }

 private:
  std::vector<int> parent_;
};

struct PositionKey {
  std::uint32_t bits[3];
  bool operator==(const PositionKey& o) const {
    return bits[0] == o.bits[0] && bits[1] == o.bits[1] && bits[2] == o.bits[2];
  }
};

struct PositionHash {
  std::size_t operator()(const PositionKey& k) const {
    std::uint64_t h = k.bits[0];
    h = h * 0x9E3779B97F4A7C15ull ^ k.bits[1];
    h = h * 0x9E3779B97F4A7C15ull ^ k.bits[2];
    return static_cast<std::size_t>(h ^ (h >> 29));
  }
};

PositionKey KeyOf(const Point3& p) {
  PositionKey key;
  for (int a = 0; a < 3; ++a) {
    const float value = p[a] + 0.0f;  // -0 becomes +0
    std::memcpy(&key.bits[a], &value, sizeof value);
  }
  return key;
}

}  // namespace

std::vector<Part> ConnectedParts(const std::vector<Point3>& vertices,
                                 const std::vector<std::array<int, 3>>& triangles,
                                 bool joinCoincident) {
  const int count = static_cast<int>(vertices.size());
  auto usable = [&](const std::array<int, 3>& t) {
    return t[0] >= 0 && t[0] < count && t[1] >= 0 && t[1] < count && t[2] >= 0 && t[2] < count;
  };
  DisjointSets sets(vertices.size());
  for (const std::array<int, 3>& t : triangles) {
    if (!usable(t)) continue;
    sets.Join(t[0], t[1]);
    sets.Join(t[0], t[2]);
  }
  if (joinCoincident) {
    std::unordered_map<PositionKey, int, PositionHash> first;
    for (const std::array<int, 3>& t : triangles) {
      if (!usable(t)) continue;
      for (int v : t) {
        const auto found = first.emplace(KeyOf(vertices[static_cast<std::size_t>(v)]), v);
        if (!found.second) sets.Join(found.first->second, v);
      }
    }
  }
  std::vector<Part> parts;
  std::unordered_map<int, std::size_t> partOf;  // root vertex: its part
  for (std::size_t i = 0; i < triangles.size(); ++i) {
    const std::array<int, 3>& t = triangles[i];
    if (!usable(t)) continue;
    const auto found = partOf.emplace(sets.Find(t[0]), parts.size());
    if (found.second) parts.emplace_back();
    Part& part = parts[found.first->second];
    part.triangles.push_back(static_cast<int>(i));
    part.vertices.insert(part.vertices.end(), t.begin(), t.end());
  }
  for (Part& part : parts) {
    std::sort(part.vertices.begin(), part.vertices.end());
    part.vertices.erase(std::unique(part.vertices.begin(), part.vertices.end()),
                        part.vertices.end());
  }
  return parts;
}

std::vector<Point3> PointsOf(const Part& part, const std::vector<Point3>& vertices) {
  std::vector<Point3> points;
  points.reserve(part.vertices.size());
  for (int v : part.vertices) points.push_back(vertices[static_cast<std::size_t>(v)]);
  return points;
}

}  // namespace kw::collision
