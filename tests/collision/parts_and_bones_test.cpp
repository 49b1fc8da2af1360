// Splitting a mesh into parts, merging hulls down to a limit and grouping a
// character's vertices by bone, on small meshes worked out by hand.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "collision/bone_hulls.h"
#include "collision/connected_parts.h"
#include "collision/convex_hull.h"
#include "collision/hull_properties.h"
#include "collision/merge_to_limit.h"

namespace {

using namespace kw::collision;
using kw::collision::test::ExpectSoundHull;
using Triangles = std::vector<std::array<int, 3>>;

// The 8 corners of a box from low to high; x varies fastest.
std::vector<Point3> BoxCorners(Point3 low, Point3 high) {
  std::vector<Point3> corners;
  for (int k = 0; k < 8; ++k) {
    corners.push_back({k & 1 ? high.x : low.x, k & 2 ? high.y : low.y, k & 4 ? high.z : low.z});
  }
  return corners;
}

TEST(ConnectedParts, SharedIndicesAndCoincidentPositionsJoin) {
  // Triangles 0 and 1 share vertex 2; triangle 2 touches them only through
  // vertex 5, a copy of vertex 1's position (a seam); triangle 3 stands apart;
  // triangle 4 names a vertex that is not there.
  const std::vector<Point3> vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0},     {1, 1, 0},
                                        {2, 0, 0}, {1, 0, 0}, {2, 1, 0},     {5, 5, 5},
                                        {6, 5, 5}, {5, 6, 5}, {-0.0f, 0, 9}, {0, 0, 9}};
  const Triangles triangles = {{0, 1, 2}, {2, 1, 3}, {5, 4, 6}, {7, 8, 9}, {7, 8, 12}};
  std::vector<Part> parts = ConnectedParts(vertices, triangles);
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[0].triangles, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(parts[0].vertices, (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(parts[1].triangles, (std::vector<int>{3}));
  EXPECT_EQ(PointsOf(parts[1], vertices).size(), 3u);

  parts = ConnectedParts(vertices, triangles, false);
  ASSERT_EQ(parts.size(), 3u);
  EXPECT_EQ(parts[0].triangles, (std::vector<int>{0, 1}));
  EXPECT_EQ(parts[1].triangles, (std::vector<int>{2}));

  // +0 and -0 are one position.
  parts = ConnectedParts(vertices, {{10, 0, 1}, {11, 7, 8}});
  EXPECT_EQ(parts.size(), 1u);
}

TEST(MergeToLimit, TheSmallestJoinTheirNearestLargeHull) {
  // Three large boxes: 0 long and thin, 1 and 2 cubes. Small ones: 3 just
  // past the end of box 0 (its centre nearer box 1's), 4 inside box 2, 5
  // between boxes 1 and 2 but nearer 1.
  const std::vector<std::vector<Point3>> boxes = {
      BoxCorners({0, 0, 0}, {10, 1, 1}),        BoxCorners({12, 0, 0}, {15, 3, 3}),
      BoxCorners({40, 0, 0}, {45, 5, 5}),       BoxCorners({10.5f, 0, 0}, {11, 1, 1}),
      BoxCorners({41, 1, 1}, {41.5f, 2, 1.5f}), BoxCorners({25, 0, 0}, {25.5f, 0.5f, 0.5f})};
  std::vector<ConvexHull> hulls;
  for (const auto& corners : boxes) hulls.push_back(Hull(corners));
  hulls.push_back(ConvexHull());  // a part with no hull: left out

  std::vector<MergedHull> merged = MergeToLimit(hulls, 3);
  ASSERT_EQ(merged.size(), 3u);
  EXPECT_EQ(merged[0].sources, (std::vector<int>{0, 3}));
  EXPECT_EQ(merged[1].sources, (std::vector<int>{1, 5}));
  EXPECT_EQ(merged[2].sources, (std::vector<int>{2, 4}));
  for (const MergedHull& piece : merged) {
    std::vector<Point3> covered;
    for (int source : piece.sources) {
      covered.insert(covered.end(), boxes[source].begin(), boxes[source].end());
    }
    ExpectSoundHull(piece.hull, covered);
  }
  // Box 4 sits inside box 2: their merged hull is box 2.
  EXPECT_NEAR(Volume(merged[2].hull), 125, 1e-4);

  // Room for all: nothing merges. Room for one: one hull of everything.
  merged = MergeToLimit(hulls, 20);
  ASSERT_EQ(merged.size(), 6u);
  EXPECT_EQ(merged[5].sources, (std::vector<int>{5}));
  merged = MergeToLimit(hulls, 0);
  ASSERT_EQ(merged.size(), 1u);
  EXPECT_EQ(merged[0].sources, (std::vector<int>{0, 1, 2, 3, 4, 5}));
}

TEST(PerBoneHulls, EachVertexGoesToItsHeaviestBone) {
  std::vector<SkinnedVertex> vertices;
  // Bone 3 carries a box of 2 x 2 x 4 (16), bone 1 a box of 2 x 2 x 2 (8);
  // their vertices also carry smaller weights of the other bone.
  for (const Point3& p : BoxCorners({0, 0, 0}, {2, 2, 4})) {
    vertices.push_back({p, {{1, 0.3f}, {3, 0.7f}}});
  }
  for (const Point3& p : BoxCorners({0, 0, 5}, {2, 2, 7})) {
    vertices.push_back({p, {{3, 0.25f}, {1, 0.5f}, {7, 0.25f}}});
  }
  // A tie goes to the lower bone: these join bone 1's box, inside it.
  vertices.push_back({{1, 1, 6}, {{5, 0.5f}, {1, 0.5f}}});
  // Bone 4: a flat patch; bone 6: a grain of 1e-5 the others' volume.
  for (const Point3& p : {Point3(0, 0, 9), Point3(1, 0, 9), Point3(0, 1, 9), Point3(1, 1, 9)}) {
    vertices.push_back({p, {{4, 1}}});
  }
  for (const Point3& p : BoxCorners({9, 9, 9}, {9.1f, 9.1f, 9.024f})) {
    vertices.push_back({p, {{6, 1}}});
  }
  // No usable weight: in no hull.
  vertices.push_back({{50, 50, 50}, {}});
  vertices.push_back({{50, 50, 50}, {{2, 0}, {8, -1}}});

  const BoneHulls bones = PerBoneHulls(vertices);
  ASSERT_EQ(bones.hulls.size(), 2u);
  EXPECT_EQ(bones.hulls[0].bone, 1);
  EXPECT_NEAR(Volume(bones.hulls[0].hull), 8, 1e-4);
  EXPECT_EQ(bones.hulls[1].bone, 3);
  EXPECT_NEAR(Volume(bones.hulls[1].hull), 16, 1e-4);
  ASSERT_EQ(bones.leftOut.size(), 2u);
  EXPECT_EQ(bones.leftOut[0].bone, 4);
  EXPECT_EQ(bones.leftOut[0].vertices, 4);
  EXPECT_EQ(bones.leftOut[0].reason, "the points lie on one plane");
  EXPECT_EQ(bones.leftOut[1].bone, 6);
  EXPECT_EQ(bones.leftOut[1].vertices, 8);
  EXPECT_EQ(bones.leftOut[1].reason,
            "its hull holds 0.001% of the volume of all bones' hulls, under 0.1%");
  EXPECT_EQ(bones.unweighted, 2);
}

}  // namespace
