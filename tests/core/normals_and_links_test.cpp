// Corner normals by smoothing group and the bone-link list of a vertex line.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/kestrelworks.h"
#include "core/normals_and_links.h"
#include "core/text_output.h"
#include "scene/memory_scene.h"

namespace {

const Point3 kNone(7, 7, 7);

RenderVertex Normals(std::uint32_t flags, std::vector<RenderNormal> normals) {
  RenderVertex vertex;
  vertex.flags = flags;
  vertex.extraNormals = std::move(normals);
  return vertex;
}

TEST(SelectVertexNormalTest, SingleNormalServesEveryGroup) {
  RenderVertex vertex;
  vertex.flags = 1;
  vertex.singleNormal = {{0, 1, 0}, 16};
  vertex.extraNormals = {{{1, 0, 0}, 1}};
  EXPECT_EQ(SelectVertexNormal(vertex, 1, kNone), Point3(0, 1, 0));
  EXPECT_EQ(SelectVertexNormal(vertex, 16, kNone), Point3(0, 1, 0));
}

TEST(SelectVertexNormalTest, FirstNormalSharingAGroupBitWinsElseTheFirstNormal) {
  const RenderVertex vertex = Normals(3, {{{1, 0, 0}, 1}, {{0, 1, 0}, 6}, {{0, 0, 1}, 4}});
  EXPECT_EQ(SelectVertexNormal(vertex, 4, kNone), Point3(0, 1, 0));
  EXPECT_EQ(SelectVertexNormal(vertex, 8, kNone), Point3(1, 0, 0));
  EXPECT_EQ(SelectVertexNormal(vertex, 1, kNone), Point3(1, 0, 0));
  EXPECT_EQ(SelectVertexNormal(vertex, 0x80000002u, kNone), Point3(0, 1, 0));
}

TEST(SelectVertexNormalTest, CountIsTheLowEightBitsOfTheFlags) {
  const RenderVertex vertex = Normals(0x12345602u, {{{1, 0, 0}, 1}, {{0, 1, 0}, 2}});
  EXPECT_EQ(SelectVertexNormal(vertex, 2, kNone), Point3(0, 1, 0));
  // 0x101 counts one normal: the single one, not the list.
  RenderVertex single = Normals(0x101u, {{{1, 0, 0}, 2}});
  single.singleNormal = {{0, 0, 1}, 1};
  EXPECT_EQ(SelectVertexNormal(single, 2, kNone), Point3(0, 0, 1));
}

TEST(SelectVertexNormalTest, VertexWithoutNormalsGetsTheGivenFallback) {
  EXPECT_EQ(SelectVertexNormal(Normals(0, {}), 1, kNone), kNone);
  // Entries the count does not cover are not read.
  EXPECT_EQ(SelectVertexNormal(Normals(0, {{{1, 0, 0}, 1}}), 1, kNone), kNone);
  EXPECT_EQ(SelectVertexNormal(Normals(2, {{{1, 0, 0}, 1}, {{0, 1, 0}, 2}, {{0, 0, 1}, 4}}), 4,
                               kNone),
            Point3(1, 0, 0));
}

TEST(SelectVertexNormalTest, CountAboveTheEntriesHeldReadsOnlyThoseHeld) {
  EXPECT_EQ(SelectVertexNormal(Normals(5, {{{1, 0, 0}, 1}, {{0, 1, 0}, 2}}), 2, kNone),
            Point3(0, 1, 0));
  EXPECT_EQ(SelectVertexNormal(Normals(5, {{{1, 0, 0}, 1}, {{0, 1, 0}, 2}}), 8, kNone),
            Point3(1, 0, 0));
  EXPECT_EQ(SelectVertexNormal(Normals(255, {}), 8, kNone), kNone);
}

// Any count, any list length and any mask: the answer is the first held
// entry sharing a bit, else the first held entry, else the fallback.
TEST(SelectVertexNormalTest, PropertyAnswerIsTheFirstMatchingHeldEntry) {
  std::mt19937 engine(20240611u);
  auto random = [&engine] { return static_cast<std::uint32_t>(engine()); };
  for (int round = 0; round < 2000; ++round) {
    const std::uint32_t flags = random();
    const std::size_t held = random() % 6;
    std::vector<RenderNormal> normals;
    for (std::size_t k = 0; k < held; ++k) {
      normals.push_back({{static_cast<float>(k), 0, 0}, random() & random() & random()});
    }
    RenderVertex vertex = Normals(flags, normals);
    vertex.singleNormal = {{-1, -1, -1}, 0};
    const std::uint32_t mask = random() & random();
    const Point3 chosen = SelectVertexNormal(vertex, mask, kNone);

    const std::size_t count = flags & 0xFFu;
    Point3 expected = kNone;
    if (count == 1) {
      expected = Point3(-1, -1, -1);
    } else if (count > 0 && held > 0) {
      const std::size_t usable = count < held ? count : held;
      expected = normals[0].normal;
      for (std::size_t k = 0; k < usable; ++k) {
        if (normals[k].smoothingGroup & mask) {
          expected = normals[k].normal;
          break;
        }
      }
    }
    ASSERT_EQ(chosen, expected) << "round " << round;
  }
}

TEST(CornerNormalsTest, SmoothingGroupZeroGivesTheFaceNormalAtEveryCorner) {
  HostMesh mesh;
  mesh.renderVertices = {Normals(1, {}), Normals(1, {}), Normals(1, {})};
  for (RenderVertex& vertex : mesh.renderVertices) vertex.singleNormal = {{1, 0, 0}, 1};
  mesh.faceNormals = {{0, 1, 0}, {0, 0, 1}};
  MeshFace face;
  face.vertex[0] = 0;
  face.vertex[1] = 1;
  face.vertex[2] = 2;
  face.smoothingGroup = 0;
  const std::array<Point3, 3> flat = CornerNormals(mesh, face, 1);
  for (const Point3& normal : flat) EXPECT_EQ(normal, Point3(0, 0, 1));

  face.smoothingGroup = 1;
  const std::array<Point3, 3> smooth = CornerNormals(mesh, face, 1);
  for (const Point3& normal : smooth) EXPECT_EQ(normal, Point3(1, 0, 0));
}

TEST(CornerNormalsTest, EachCornerReadsItsOwnVertexAndAVertexWithoutNormalsTheFaceNormal) {
  HostMesh mesh;
  mesh.renderVertices = {Normals(2, {{{1, 0, 0}, 1}, {{0, 1, 0}, 2}}), Normals(0, {}),
                         Normals(2, {{{0, 0, 1}, 4}, {{0, 0, -1}, 2}})};
  mesh.faceNormals = {{0.5f, 0.5f, 0}};
  MeshFace face;
  face.vertex[0] = 2;
  face.vertex[1] = 1;
  face.vertex[2] = 0;
  face.smoothingGroup = 2;
  const std::array<Point3, 3> normals = CornerNormals(mesh, face, 0);
  EXPECT_EQ(normals[0], Point3(0, 0, -1));
  EXPECT_EQ(normals[1], Point3(0.5f, 0.5f, 0));
  EXPECT_EQ(normals[2], Point3(0, 1, 0));
}

class StringSink : public ByteSink {
 public:
  explicit StringSink(std::string* text) : text_(text) {}
  bool Write(const char* data, std::size_t size, std::string*) override {
    text_->append(data, size);
    return true;
  }
  bool Finish(std::string*) override { return true; }

 private:
  std::string* text_;
};

// A skin that answers whatever the test sets, including what a well-formed
// skin never says.
class ScriptedSkin : public IGameSkin {
 public:
  int count = 0;
  std::vector<int> boneIds;
  std::vector<float> weights;
  int GetBoneCount(int) const override { return count; }
  int GetBoneNodeId(int, int k) const override {
    return boneIds.at(static_cast<std::size_t>(k));
  }
  float GetWeight(int, int k) const override { return weights.at(static_cast<std::size_t>(k)); }
};

// A session whose node registry holds bones with ids 100 + i at index i for
// i < boneCount, collected from an in-memory scene as an export would.
class BoneLinksTest : public ::testing::Test {
 protected:
  void Register(int boneCount) {
    for (int i = 0; i < boneCount; ++i) {
      scene_.MakeObject(scene_.AddNode(100 + i, "bone" + std::to_string(i)), kObjectBone);
    }
    scene_.MakeObject(scene_.AddNode(999, "not exported"), 4);
    scene_.Initialise(false);
    session_.scene = &scene_;
    session_.CollectNodes();
    ASSERT_EQ(session_.LookupNodeIndex(100 + boneCount - 1), boneCount - 1);
    ASSERT_EQ(session_.LookupNodeIndex(999), -1);
  }

  std::string Links(int vertex, const IGameSkin* skin, int ownIndex) {
    std::string text;
    {
      TextStream out(std::make_unique<StringSink>(&text));
      WriteBoneLinks(out, session_, vertex, skin, ownIndex);
    }
    return text;
  }

  MemoryScene scene_;
  Kestrelworks session_;
};

TEST_F(BoneLinksTest, NoSkinOrNoLinksBindsTheVertexWhollyToTheMesh) {
  Register(2);
  EXPECT_EQ(Links(0, nullptr, 7), " 1 7 1.000000");
  MemorySkin empty;
  EXPECT_EQ(Links(0, &empty, 12), " 1 12 1.000000");
  ScriptedSkin negative;
  negative.count = -3;
  EXPECT_EQ(Links(0, &negative, 1), " 1 1 1.000000");
}

TEST_F(BoneLinksTest, LinksAreWrittenAsTheSkinGivesThem) {
  Register(6);
  MemorySkin skin;
  skin.AddLink(4, 103, 0.25f);
  skin.AddLink(4, 105, 0.75f);
  skin.AddLink(5, 105, 0.5f);
  skin.AddLink(5, 100, 0.25f);
  skin.AddLink(5, 101, 0.0f);
  EXPECT_EQ(Links(4, &skin, 9), " 2 3 0.250000 5 0.750000");
  // Not normalised, not sorted, zero weights kept.
  EXPECT_EQ(Links(5, &skin, 9), " 3 5 0.500000 0 0.250000 1 0.000000");
}

TEST_F(BoneLinksTest, OneBoneOutsideTheExportMakesTheWholeVertexFallBack) {
  Register(6);
  MemorySkin skin;
  skin.AddLink(0, 103, 0.5f);
  skin.AddLink(0, 999, 0.5f);
  skin.AddLink(1, 12345, 1.0f);
  skin.AddLink(1, 103, 0.0f);
  EXPECT_EQ(Links(0, &skin, 8), " 1 8 1.000000");
  EXPECT_EQ(Links(1, &skin, 8), " 1 8 1.000000");
}

TEST_F(BoneLinksTest, VertexWithManyLinksWritesEveryOneInOrder) {
  Register(50);
  ScriptedSkin skin;
  skin.count = 45;
  std::string expected = " 45";
  for (int k = 0; k < skin.count; ++k) {
    const int bone = (k * 7) % 50;
    skin.boneIds.push_back(100 + bone);
    skin.weights.push_back(static_cast<float>(k) / 64.0f);
    char pair[64];
    std::snprintf(pair, sizeof pair, " %d %f", bone, static_cast<double>(k) / 64.0);
    expected += pair;
  }
  EXPECT_EQ(Links(0, &skin, 49), expected);

  // The last link fails the check: nothing of the list is written.
  skin.boneIds.back() = 999;
  EXPECT_EQ(Links(0, &skin, 49), " 1 49 1.000000");
}

}  // namespace
