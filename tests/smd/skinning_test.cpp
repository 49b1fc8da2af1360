#include "smd/skinning.h"

#include <gtest/gtest.h>

#include <string>

#include "smd/smd_reader.h"

namespace {

using kw::smd::File;

File Parse(const std::string& text) {
  File file;
  std::string error;
  EXPECT_TRUE(kw::smd::ParseSmd(text, "x", &file, &error)) << error;
  EXPECT_TRUE(file.problems.empty());
  return file;
}

void ExpectNear(const Point3& p, float x, float y, float z) {
  EXPECT_NEAR(p.x, x, 1e-6f);
  EXPECT_NEAR(p.y, y, 1e-6f);
  EXPECT_NEAR(p.z, z, 1e-6f);
}

// A root at the origin and a bone one unit along x; three vertices at x = 2:
// on the bone, on the root, and half on each.
const char kReference[] =
    "version 1\nnodes\n0 \"root\" -1\n1 \"bone\" 0\nend\n"
    "skeleton\ntime 0\n0 0 0 0 0 0 0\n1 1 0 0 0 0 0\nend\n"
    "triangles\nm\n"
    "1 2 0 0 1 0 0 0 0\n"
    "0 2 0 0 1 0 0 0 0 1 1 0\n"  // its one link, of weight 0, gives it no bone at all
    "0 2 0 0 1 0 0 0 0 2 0 0.25 1 0.25\n"
    "end\n";

TEST(Skinning, ABoneTurnedAQuarterCarriesItsVertex) {
  const File reference = Parse(kReference);
  // Frame 1 turns the bone 90 degrees about z; it leaves out the root, which
  // keeps its pose of frame 0.
  const File sequence = Parse(
      "version 1\nnodes\n0 \"root\" -1\n1 \"bone\" 0\nend\nskeleton\n"
      "time 0\n0 0 0 0 0 0 0\n1 1 0 0 0 0 0\ntime 1\n1 1 0 0 0 0 1.5707963\nend\n");
  const auto referenceWorld = kw::smd::WorldTransforms(reference, reference.frames[0]);
  const auto frameWorld = kw::smd::WorldTransforms(sequence, sequence.frames[1]);
  const auto skinning = kw::smd::SkinningMatrices(referenceWorld, frameWorld);
  const auto& corners = reference.triangles.at(0).corners;

  ExpectNear(kw::smd::SkinnedPosition(reference, corners[0], skinning), 1, 1, 0);
  ExpectNear(kw::smd::SkinnedPosition(reference, corners[0], referenceWorld, frameWorld), 1, 1, 0);
  ExpectNear(kw::smd::SkinnedNormal(reference, corners[0], skinning), 0, 1, 0);
  ExpectNear(kw::smd::SkinnedPosition(reference, corners[1], skinning), 2, 0, 0);
  ExpectNear(kw::smd::SkinnedPosition(reference, corners[2], skinning), 1.5f, 0.5f, 0);
  ExpectNear(kw::smd::SkinnedNormal(reference, corners[2], skinning), 0.5f, 0.5f, 0);
}

TEST(Skinning, AChildFollowsItsTurnedParent) {
  // The parent comes after its child in the file, and nodes 2 and 3 are each
  // other's parent: the loop is cut where it closes.
  const File file = Parse(
      "version 1\nnodes\n0 \"child\" 1\n1 \"root\" -1\n2 \"a\" 3\n3 \"b\" 2\nend\n"
      "skeleton\ntime 0\n0 1 0 0 0 0 0\n1 0 0 5 0 0 1.5707963\n2 1 0 0 0 0 0\n3 0 1 0 0 0 0\n"
      "end\n");
  const auto world = kw::smd::WorldTransforms(file, file.frames[0]);
  ASSERT_EQ(world.size(), 4u);
  ExpectNear(world[0].GetTrans(), 0, 1, 5);
  ExpectNear(world[0].GetRow(0), 0, 1, 0);
  ExpectNear(world[2].GetTrans() + world[3].GetTrans(), 1, 2, 0);
}

}  // namespace
