#include "collision/merge_to_limit.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>

namespace kw::collision {

namespace {

struct Box {
  double low[3];
  double high[3];

  double Diagonal() const {
    double sum = 0;
    for (int a = 0; a < 3; ++a) sum += (high[a] - low[a]) * (high[a] - low[a]);
    return std::sqrt(sum);
  }
  double Centre(int a) const { return (low[a] + high[a]) / 2; }
};

Box BoxOf(const ConvexHull& hull) {
  Box box;
  for (int a = 0; a < 3; ++a) {
    box.low[a] = std::numeric_limits<double>::infinity();
    box.high[a] = -box.low[a];
  }
  for (const Point3& p : hull.vertices) {
    for (int a = 0; a < 3; ++a) {
      box.low[a] = std::min(box.low[a], static_cast<double>(p[a]));
      box.high[a] = std::max(box.high[a], static_cast<double>(p[a]));
    }
  }
  return box;
}

double Gap(const Box& a, const Box& b) {
  double sum = 0;
  for (int k = 0; k < 3; ++k) {
    const double apart = std::max({0.0, a.low[k] - b.high[k], b.low[k] - a.high[k]});
    sum += apart * apart;
  }
  return std::sqrt(sum);
}

double CentreDistance(const Box& a, const Box& b) {
  double sum = 0;
  for (int k = 0; k < 3; ++k) sum += (a.Centre(k) - b.Centre(k)) * (a.Centre(k) - b.Centre(k));
  return std::sqrt(sum);
}

}  // namespace

std::vector<MergedHull> MergeToLimit(const std::vector<ConvexHull>& hulls, int limit,
                                     const HullOptions& options) {
  std::vector<int> present;
  std::vector<Box> boxes(hulls.size());
  for (std::size_t i = 0; i < hulls.size(); ++i) {
    if (hulls[i].Empty()) continue;
    present.push_back(static_cast<int>(i));
    boxes[i] = BoxOf(hulls[i]);
  }
  const std::size_t keep = static_cast<std::size_t>(std::max(limit, 1));
  std::vector<MergedHull> merged;
  if (present.size() <= keep) {
    for (int i : present) merged.push_back({hulls[static_cast<std::size_t>(i)], {i}});
    return merged;
  }
  std::vector<int> bySize = present;
  std::stable_sort(bySize.begin(), bySize.end(), [&](int a, int b) {
    return boxes[static_cast<std::size_t>(a)].Diagonal() >
           boxes[static_cast<std::size_t>(b)].Diagonal();
  });
  std::vector<int> staying(bySize.begin(), bySize.begin() + static_cast<std::ptrdiff_t>(keep));
  std::vector<std::vector<int>> groups(keep);
  for (std::size_t s = 0; s < keep; ++s) groups[s].push_back(staying[s]);
  for (std::size_t j = keep; j < bySize.size(); ++j) {
    const Box& box = boxes[static_cast<std::size_t>(bySize[j])];
    std::size_t nearest = 0;
    double bestGap = std::numeric_limits<double>::infinity();
    double bestCentre = bestGap;
    // Staying hulls come largest first: a tie goes to the larger.
    for (std::size_t s = 0; s < keep; ++s) {
      const Box& other = boxes[static_cast<std::size_t>(staying[s])];
      const double gap = Gap(box, other);
      const double centre = CentreDistance(box, other);
      if (gap < bestGap || (gap == bestGap && centre < bestCentre)) {
        nearest = s;
        bestGap = gap;
        bestCentre = centre;
      }
    }
    groups[nearest].push_back(bySize[j]);
  }
  for (std::vector<int>& group : groups) {
    std::sort(group.begin(), group.end());
    MergedHull piece;
    piece.sources = group;
    if (group.size() == 1) {
      piece.hull = hulls[static_cast<std::size_t>(group[0])];
    } else {
      std::vector<Point3> corners;
      for (int i : group) {
        const std::vector<Point3>& v = hulls[static_cast<std::size_t>(i)].vertices;
        corners.insert(corners.end(), v.begin(), v.end());
      }
      piece.hull = Hull(corners, options);
    }
    merged.push_back(std::move(piece));
  }
  std::sort(merged.begin(), merged.end(),
            [](const MergedHull& a, const MergedHull& b) { return a.sources[0] < b.sources[0]; });
  return merged;
}

}  // namespace kw::collision
