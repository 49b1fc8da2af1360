// Hulls of random clouds and of degenerate input: every hull made is sound
// (hull_properties.h); what cannot be a hull says why.
#include "collision/convex_hull.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "collision/hull_properties.h"

namespace {

using kw::collision::ConvexHull;
using kw::collision::Hull;
using kw::collision::HullOptions;
using kw::collision::test::ExpectSoundHull;

// 0: a cube, 1: a sphere, 2: a Gaussian, 3: a curved sheet 0.2% as thick as wide.
std::vector<Point3> RandomCloud(int shape, int count, unsigned seed, Point3 offset = {}) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> u(-1, 1);
  std::normal_distribution<float> g(0, 1);
  std::vector<Point3> points(static_cast<std::size_t>(count));
  for (Point3& p : points) {
    const Point3 even{u(random), u(random), u(random)};
    const Point3 normal{g(random), g(random), g(random)};
    p = shape == 0   ? even
        : shape == 1 ? normal.Normalize()
        : shape == 2 ? Point3(normal.x, 3 * normal.y, 0.5f * normal.z)
                     : Point3(even.x, even.y, 0.2f * even.x * even.x + 0.002f * even.z);
    p = p + offset;
  }
  return points;
}

TEST(Hull, RandomCloudsGiveSoundSimplifiedHulls) {
  for (int shape = 0; shape < 4; ++shape) {
    for (unsigned seed = 1; seed <= 4; ++seed) {
      SCOPED_TRACE(testing::Message() << "shape " << shape << " seed " << seed);
      // Far from the origin too, where floats are coarse for the part's size.
      const Point3 offset = seed == 4 ? Point3(3000, -500, 1200) : Point3();
      const std::vector<Point3> points = RandomCloud(shape, 2000, seed, offset);
      const ConvexHull hull = Hull(points);
      ExpectSoundHull(hull, points);
      EXPECT_TRUE(hull.simplified);
      EXPECT_FALSE(hull.thickened);
    }
  }
  // Other budgets keep their bound.
  const std::vector<Point3> sphere = RandomCloud(1, 3000, 9);
  for (int corners : {4, 8, 40}) {
    HullOptions options;
    options.maxVertices = corners;
    ExpectSoundHull(Hull(sphere, options), sphere, corners);
  }
}

TEST(Hull, FewCornersStayExactWithSmoothNormals) {
  // A cube sampled on its faces and edges, twice over: its 8 corners, 12 triangles.
  std::vector<Point3> cube;
  for (float x : {-1.0f, 0.0f, 0.5f, 1.0f}) {
    for (float y : {-1.0f, 0.0f, 1.0f}) {
      for (float z : {-1.0f, 1.0f}) cube.insert(cube.end(), {{x, y, z}, {z, x, y}, {x, y, z}});
    }
  }
  ConvexHull hull = Hull(cube);
  ExpectSoundHull(hull, cube);
  EXPECT_FALSE(hull.simplified);
  EXPECT_EQ(hull.vertices.size(), 8u);
  EXPECT_EQ(hull.triangles.size(), 12u);
  EXPECT_NEAR(Volume(hull), 8.0, 1e-9);

  // A prism over the triangle (0,0) (2,0) (0,2), 1 high: faces -z, +z, -y,
  // -x and (1,1,0)/sqrt 2. A rectangle split in two counts once at each of
  // its corners, which no split of it can make symmetric.
  const std::vector<Point3> prism = {{0, 0, 0}, {2, 0, 0}, {0, 2, 0},
                                     {0, 0, 1}, {2, 0, 1}, {0, 2, 1}};
  hull = Hull(prism);
  ExpectSoundHull(hull, prism);
  ASSERT_EQ(hull.vertices.size(), 6u);
  const float s = 1 / std::sqrt(2.0f);
  for (std::size_t v = 0; v < 6; ++v) {
    const Point3& p = hull.vertices[v];
    const Point3 sides = p.x == 0 && p.y == 0 ? Point3(-1, -1, 0)
                         : p.x == 2           ? Point3(s, s - 1, 0)
                                              : Point3(s - 1, s, 0);
    const Point3 expected = (Point3(0, 0, p.z == 0 ? -1.0f : 1.0f) + sides).Normalize();
    for (int a = 0; a < 3; ++a) EXPECT_NEAR(hull.normals[v][a], expected[a], 1e-6) << v;
  }
}

TEST(Hull, FlatAndStraightPointsGetAThinSolidOrNone) {
  std::vector<Point3> square;  // on the plane x + y + z = 1
  for (int i = 0; i < 5; ++i) {
    for (int j = 0; j < 5; ++j) square.push_back({float(i), float(j), 1.0f - i - j});
  }
  // On a plane floats cannot hold exactly: off it by rounding alone.
  std::vector<Point3> tilted;
  for (int i = 0; i < 7; ++i) {
    for (int j = 0; j < 7; ++j) tilted.push_back({i / 7.0f, j / 3.0f, 0.1f * i + j / 7.0f});
  }
  // A plate 1000 wide with one bump of 0.001: above float rounding, under a
  // millionth of its size.
  std::vector<Point3> bumped = {{0, 0, 0}, {1000, 0, 0}, {0, 1000, 0}, {1000, 1000, 0}};
  bumped.push_back({500, 500, 0.001f});
  const std::vector<Point3> three = {{0, 0, 0}, {2, 0, 0}, {0, 1, 0}};
  const std::vector<Point3> line = {{0, 0, 0}, {1, 2, 3}, {2, 4, 6}, {0.5f, 1, 1.5f}};
  const std::vector<Point3> two = {{5, 5, 5}, {5, 5, 9}};
  for (const std::vector<Point3>& points : {square, tilted, bumped, three, line, two}) {
    const ConvexHull hull = Hull(points);
    ExpectSoundHull(hull, points);
    EXPECT_TRUE(hull.thickened);
  }
  // A slab 1% of the diagonal (sqrt 5) thick under a triangle of area 1.
  EXPECT_NEAR(Volume(Hull(three)), 0.01 * std::sqrt(5.0), 1e-6);
  HullOptions solidOnly;
  solidOnly.thickenFlat = false;
  EXPECT_EQ(Hull(square, solidOnly).problem, "the points lie on one plane");
  EXPECT_EQ(Hull(line, solidOnly).problem, "the points lie on one line");
  EXPECT_TRUE(Hull(square, solidOnly).Empty());
}

TEST(Hull, InputThatCannotBeAHullSaysWhy) {
  EXPECT_EQ(Hull({}).problem, "no points");
  EXPECT_EQ(Hull({{1, 2, 3}}).problem, "the points are all at one place");
  EXPECT_EQ(Hull({{1, 2, 3}, {1, 2, 3}, {1, 2, 3}, {1, 2, 3}, {1, 2, 3}}).problem,
            "the points are all at one place");
  std::vector<Point3> points = RandomCloud(0, 50, 3);
  points[17].y = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(Hull(points).problem, "point 17 is not a finite number");
  points[17].y = std::numeric_limits<float>::infinity();
  const ConvexHull refused = Hull(points);
  EXPECT_EQ(refused.problem, "point 17 is not a finite number");
  EXPECT_TRUE(refused.Empty());
  EXPECT_TRUE(refused.vertices.empty());
}

}  // namespace
