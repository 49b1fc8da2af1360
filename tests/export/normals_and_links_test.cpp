// Corner normals by smoothing group and the bone-link list of a vertex line.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "export/node_registry.h"
#include "export/normals_and_links.h"
#include "smd/text_output.h"
#include "scene/memory_scene.h"

using kw::MemoryScene;
using kw::MemorySkin;
using kw::NodeRegistry;
using kw::SelectVertexNormal;
using kw::StringSink;
using kw::TextStream;
using kw::WriteBoneLinks;

namespace {

const Point3 kNone(7, 7, 7);

RenderVertex Normals(std::uint32_t flags, std::vector<RenderNormal> normals) {
  RenderVertex vertex;
  vertex.flags = flags;
  vertex.extraNormals = std::move(normals);
  return vertex;
}

TEST(SelectVertexNormalTest, FirstNormalSharingAGroupBitWinsElseTheFirst) {
  const RenderVertex vertex = Normals(3, {{{1, 0, 0}, 1}, {{0, 1, 0}, 6}, {{0, 0, 1}, 4}});
  EXPECT_EQ(SelectVertexNormal(vertex, 4, kNone), Point3(0, 1, 0));
  EXPECT_EQ(SelectVertexNormal(vertex, 8, kNone), Point3(1, 0, 0));
  EXPECT_EQ(SelectVertexNormal(vertex, 0x80000004u, kNone), Point3(0, 1, 0));
  // Only the low 8 bits of the flags count: 0x102 is two normals.
  EXPECT_EQ(SelectVertexNormal(Normals(0x102u, {{{1, 0, 0}, 1}, {{0, 1, 0}, 2}, {{0, 0, 1}, 4}}), 4,
                               kNone),
            Point3(1, 0, 0));
}

TEST(SelectVertexNormalTest, SingleNormalServesEveryGroup) {
  RenderVertex vertex = Normals(0x301u, {{{1, 0, 0}, 2}});
  vertex.singleNormal = {{0, 1, 0}, 16};
  EXPECT_EQ(SelectVertexNormal(vertex, 2, kNone), Point3(0, 1, 0));
}

// Hand-made vertices whose count and list disagree: only entries both name
// are read, and a vertex with none gets the fallback.
TEST(SelectVertexNormalTest, ReadsOnlyEntriesTheCountAndTheListBothHold) {
  EXPECT_EQ(SelectVertexNormal(Normals(0, {{{1, 0, 0}, 1}}), 1, kNone), kNone);
  EXPECT_EQ(SelectVertexNormal(Normals(255, {}), 1, kNone), kNone);
  EXPECT_EQ(SelectVertexNormal(Normals(5, {{{1, 0, 0}, 1}, {{0, 1, 0}, 2}}), 2, kNone),
            Point3(0, 1, 0));
  EXPECT_EQ(SelectVertexNormal(Normals(5, {{{1, 0, 0}, 1}, {{0, 1, 0}, 2}}), 8, kNone),
            Point3(1, 0, 0));
}

// A skin that answers whatever the test sets, including what a well-formed
// skin never says.
class ScriptedSkin : public IGameSkin {
 public:
  int count = 0;
  std::vector<int> boneIds;
  std::vector<float> weights;
  int GetBoneCount(int) const override { return count; }
  int GetBoneNodeId(int, int k) const override { return boneIds.at(static_cast<std::size_t>(k)); }
  float GetWeight(int, int k) const override { return weights.at(static_cast<std::size_t>(k)); }
};

// A node registry that holds bones with ids 100 + i at index i for
// i < boneCount, collected from an in-memory scene as an export would.
class BoneLinksTest : public ::testing::Test {
 protected:
  void Register(int boneCount) {
    for (int i = 0; i < boneCount; ++i) {
      scene_.MakeObject(scene_.AddNode(100 + i, "bone" + std::to_string(i)), kObjectBone);
    }
    scene_.MakeObject(scene_.AddNode(999, "not exported"), 4);
    scene_.Initialise(false);
    nodes_.CollectNodes(scene_, false);
    ASSERT_EQ(nodes_.LookupNodeIndex(100 + boneCount - 1), boneCount - 1);
    ASSERT_EQ(nodes_.LookupNodeIndex(999), -1);
  }

  std::string Links(int vertex, const IGameSkin* skin, int ownIndex) {
    std::string text;
    {
      TextStream out(std::make_unique<StringSink>(&text));
      WriteBoneLinks(out, nodes_, vertex, skin, ownIndex);
    }
    return text;
  }

  MemoryScene scene_;
  NodeRegistry nodes_;
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
