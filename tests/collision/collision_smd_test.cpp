// The collision SMD: a whole file worked out by hand, read back by our reader
// and passed by the compiler's limits as `kestrelworks check` runs them.
#include "collision/collision_smd.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "collision/convex_hull.h"
#include "smd/limit_check.h"
#include "smd/smd_reader.h"

namespace {

using kw::collision::BoneHull;
using kw::collision::Hull;

bool Write(const std::vector<BoneHull>& hulls, std::string* text, std::string* error) {
  kw::TextStream out(std::make_unique<kw::StringSink>(text));
  const bool written = kw::collision::WriteCollisionSmd(
      out, {{0, "root", -1, 0}, {1, "spine", 0, 0}},
      {{0, {0, 0, 0}, {0, 0, 0}}, {1, {0, 0, 1.5f}, {0, 0, 1.5707963f}}}, hulls, error);
  EXPECT_TRUE(out.Close());
  return written;
}

// The unit tetrahedron on bone 1. Corners sorted: 0 (0,0,0), 1 (0,0,1),
// 2 (0,1,0), 3 (1,0,0). Faces counter-clockwise from outside, each from its
// lowest corner: x = 0 is 0 1 2 ((0,0,1) x (0,1,0) = -x), z = 0 is 0 2 3,
// y = 0 is 0 3 1, and the slanted face 1 3 2 ((1,0,-1) x (0,1,-1) = (1,1,1)).
// Corner 0 sums -x, -y, -z: -(1,1,1)/sqrt 3 = -0.577350 each. Corner 1 sums
// -x, -y and (1,1,1)/sqrt 3 = (-0.422650, -0.422650, 0.577350), length
// 0.831023: (-0.508590, -0.508590, 0.694747); corners 2 and 3 likewise. The
// point on the face x = 0 is no corner.
TEST(CollisionSmd, TetrahedronOnItsBone) {
  std::string text, error;
  ASSERT_TRUE(Write({{1, Hull({{0, 0, 1}, {1, 0, 0}, {0, 0, 0}, {0, 1, 0}, {0, 0.2f, 0.2f}})}},
                    &text, &error))
      << error;
  std::ifstream golden(std::string(KW_TEST_DATA_DIR) + "/collision/golden/tetrahedron_phys.smd");
  std::ostringstream expected;
  expected << golden.rdbuf();
  EXPECT_EQ(text, expected.str());

  kw::smd::File file;
  ASSERT_TRUE(kw::smd::ParseSmd(text, "phys.smd", &file, &error)) << error;
  EXPECT_TRUE(file.problems.empty());
  EXPECT_EQ(file.triangles.size(), 4u);
  EXPECT_TRUE(kw::smd::CheckLimits(file).empty());
}

TEST(CollisionSmd, RefusesWhatWouldBeABrokenFile) {
  std::string text, error;
  EXPECT_FALSE(Write({{7, Hull({{0, 0, 1}, {1, 0, 0}, {0, 0, 0}, {0, 1, 0}})}}, &text, &error));
  EXPECT_EQ(error, "a collision hull is on bone 7, which is not among the nodes");
  EXPECT_FALSE(Write({{0, Hull({{1, 1, 1}})}}, &text, &error));
  EXPECT_EQ(error, "no collision hull to write");
  EXPECT_EQ(text, "");
}

}  // namespace
