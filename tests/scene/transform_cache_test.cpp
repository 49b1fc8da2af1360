// Nodes keep the transform of the last tick asked: answers must not depend
// on which ticks were asked before, nor survive a change of keys.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "scene/memory_scene.h"

using kw::MemoryNode;
using kw::MemoryScene;

namespace {

Quat AboutZ(float degrees) {
  const float half = degrees * 3.14159265f / 360.0f;
  return Quat(0.0f, 0.0f, std::sin(half), std::cos(half));
}

// root -> parent -> child, every one animated.
struct Chain {
  MemoryScene scene;
  MemoryNode* root;
  MemoryNode* parent;
  MemoryNode* child;

  explicit Chain(float parentTurn = 120.0f) {
    root = &scene.AddNode(1, "root");
    parent = &scene.AddNode(2, "parent", root);
    child = &scene.AddNode(3, "child", parent);
    root->SetRotationKeys({{0, AboutZ(10.0f)}, {100, AboutZ(-35.0f)}});
    root->SetScaleKeys({{0, Point3(2.0f, 1.0f, 1.0f)}, {100, Point3(1.0f, 3.0f, 1.0f)}});
    parent->SetRotationKeys({{0, AboutZ(60.0f)}, {100, AboutZ(parentTurn)}});
    parent->SetPositionKeys({{0, Point3(1.0f, 2.0f, 3.0f)}, {100, Point3(-4.0f, 0.5f, 2.0f)}});
    child->SetRotationKeys({{0, AboutZ(-20.0f)}, {100, AboutZ(70.0f)}});
    child->SetPositionKeys({{0, Point3(1.0f, 0.0f, 0.0f)}});
  }
};

void ExpectSameBits(const Matrix3& actual, const Matrix3& expected) {
  for (int r = 0; r < 4; ++r) {
    EXPECT_EQ(actual.GetRow(r).x, expected.GetRow(r).x) << "row " << r;
    EXPECT_EQ(actual.GetRow(r).y, expected.GetRow(r).y) << "row " << r;
    EXPECT_EQ(actual.GetRow(r).z, expected.GetRow(r).z) << "row " << r;
  }
}

Matrix3 Fresh(int tick) { return Chain().child->GetNodeTransform(tick); }

TEST(TransformCache, AlternatingTicksAnswerAsAFreshScene) {
  Chain chain;
  for (const int tick : {50, 0, 50, 100, 37, 37, 50, -10, 250}) {
    // Ancestors asked at other ticks in between, as a writer does.
    chain.parent->GetNodeTransform(tick + 1);
    chain.root->GetLocalTransform(tick - 1);
    ExpectSameBits(chain.child->GetNodeTransform(tick), Fresh(tick));
  }
}

TEST(TransformCache, NewKeysOrAFixedMatrixReplaceWhatWasKept) {
  Chain chain;
  chain.child->GetNodeTransform(50);
  chain.parent->SetRotationKeys({{0, AboutZ(60.0f)}, {100, AboutZ(-90.0f)}});
  ExpectSameBits(chain.child->GetNodeTransform(50), Chain(-90.0f).child->GetNodeTransform(50));

  const Matrix3 moved(Point3(1, 0, 0), Point3(0, 1, 0), Point3(0, 0, 1), Point3(5, 6, 7));
  chain.root->SetLocalTransform(moved);
  ExpectSameBits(chain.root->GetNodeTransform(50), moved);
  chain.root->SetPositionKeys({{0, Point3(0.0f, 0.0f, 9.0f)}});
  EXPECT_EQ(chain.root->GetNodeTransform(50).GetTrans().z, 9.0f);
  chain.root->SetScaleKeys({{0, Point3(4.0f, 4.0f, 4.0f)}});
  EXPECT_EQ(chain.root->GetNodeTransform(50).GetRow(2).z, 4.0f);
}

}  // namespace
