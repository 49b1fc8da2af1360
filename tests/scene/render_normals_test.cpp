#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>

#include "scene/memory_scene.h"
#include "support/scene_test_support.h"

using kw::MemoryMesh;

namespace {

using kw::test::ExpectPointNear;

constexpr float kInvSqrt3 = 0.57735027f;

MeshFace Face(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t group) {
  MeshFace face;
  face.vertex[0] = a;
  face.vertex[1] = b;
  face.vertex[2] = c;
  face.smoothingGroup = group;
  return face;
}

// Unit cube [0,1]^3, two outward triangles per side. groupOfSide(s) gives the
// mask of side s: -x, +x, -y, +y, -z, +z.
template <typename GroupOf>
MemoryMesh Cube(GroupOf groupOfSide) {
  MemoryMesh mesh;
  for (int i = 0; i < 8; ++i) {
    mesh.vertices.push_back(Point3(static_cast<float>(i & 1), static_cast<float>((i >> 1) & 1),
                                   static_cast<float>((i >> 2) & 1)));
  }
  // Each quad counter-clockwise seen from outside.
  const std::uint32_t quads[6][4] = {{0, 4, 6, 2}, {1, 3, 7, 5}, {0, 1, 5, 4},
                                     {2, 6, 7, 3}, {0, 2, 3, 1}, {4, 5, 7, 6}};
  for (int s = 0; s < 6; ++s) {
    const std::uint32_t* q = quads[s];
    mesh.faces.push_back(Face(q[0], q[1], q[2], groupOfSide(s)));
    mesh.faces.push_back(Face(q[0], q[2], q[3], groupOfSide(s)));
  }
  return mesh;
}

const Point3 kSideNormal[6] = {Point3(-1, 0, 0), Point3(1, 0, 0),  Point3(0, -1, 0),
                               Point3(0, 1, 0),  Point3(0, 0, -1), Point3(0, 0, 1)};

Point3 Corner(int i) {
  return Point3((i & 1) ? kInvSqrt3 : -kInvSqrt3, ((i >> 1) & 1) ? kInvSqrt3 : -kInvSqrt3,
                ((i >> 2) & 1) ? kInvSqrt3 : -kInvSqrt3);
}

TEST(ComputeNormals, FaceNormalsFollowTheWinding) {
  MemoryMesh mesh = Cube([](int) { return 1u; });
  mesh.ComputeNormals();
  ASSERT_EQ(mesh.hostMesh.faceNormals.size(), 12u);
  for (int f = 0; f < 12; ++f) {
    SCOPED_TRACE(f);
    ExpectPointNear(mesh.hostMesh.faceNormals[static_cast<std::size_t>(f)], kSideNormal[f / 2]);
  }
}

// Every side meets a corner at 90 degrees in all, whether one triangle or two
// touch it, so the angle-weighted normal is the exact diagonal.
TEST(ComputeNormals, OneSmoothingGroupGivesEachCubeCornerTheDiagonal) {
  MemoryMesh mesh = Cube([](int) { return 1u; });
  mesh.ComputeNormals();
  ASSERT_EQ(mesh.hostMesh.renderVertices.size(), 8u);
  for (int v = 0; v < 8; ++v) {
    SCOPED_TRACE(v);
    const RenderVertex& vertex = mesh.hostMesh.renderVertices[static_cast<std::size_t>(v)];
    EXPECT_EQ(vertex.flags, 1u);
    EXPECT_TRUE(vertex.extraNormals.empty());
    ExpectPointNear(vertex.singleNormal.normal, Corner(v));
    EXPECT_EQ(vertex.singleNormal.smoothingGroup, 1u);
  }
}

TEST(ComputeNormals, SmoothingGroupPerSideGivesThreeSharpNormalsPerCorner) {
  MemoryMesh mesh = Cube([](int side) { return 1u << side; });
  mesh.ComputeNormals();
  for (int v = 0; v < 8; ++v) {
    SCOPED_TRACE(v);
    const RenderVertex& vertex = mesh.hostMesh.renderVertices[static_cast<std::size_t>(v)];
    ASSERT_EQ(vertex.flags, 3u);
    ASSERT_EQ(vertex.extraNormals.size(), 3u);
    // The sides at the corner, in the order of their first face.
    const int sides[3] = {(v & 1) ? 1 : 0, ((v >> 1) & 1) ? 3 : 2, ((v >> 2) & 1) ? 5 : 4};
    for (int k = 0; k < 3; ++k) {
      ExpectPointNear(vertex.extraNormals[static_cast<std::size_t>(k)].normal,
                      kSideNormal[sides[k]]);
      EXPECT_EQ(vertex.extraNormals[static_cast<std::size_t>(k)].smoothingGroup, 1u << sides[k]);
    }
  }
}

// Around vertex 0 at the origin:
//   f0 (0,1,2) group 1, +z     f1 (0,2,3) group 2, +z
//   f2 (0,2,4) group 4, +x     f3 (0,4,1) group 6, +y
//   f4 (0,5,1) group 0, +z     f5 names vertex 99
// f1 and f2 share no bit but both share one with f3, so they smooth together.
class SharedBits : public ::testing::Test {
 protected:
  void SetUp() override {
    mesh.vertices = {Point3(0, 0, 0),  Point3(1, 0, 0), Point3(0, 1, 0),
                     Point3(-1, 0, 0), Point3(0, 0, 1), Point3(0, -1, 0)};
    mesh.faces = {Face(0, 1, 2, 1), Face(0, 2, 3, 2), Face(0, 2, 4, 4),
                  Face(0, 4, 1, 6), Face(0, 5, 1, 0), Face(0, 1, 99, 1)};
    mesh.ComputeNormals();
  }
  MemoryMesh mesh;
};

TEST_F(SharedBits, GroupsJoinThroughAFaceThatSharesBitsWithBoth) {
  const RenderVertex& center = mesh.hostMesh.renderVertices[0];
  ASSERT_EQ(center.flags, 2u);
  ASSERT_EQ(center.extraNormals.size(), 2u);
  ExpectPointNear(center.extraNormals[0].normal, Point3(0, 0, 1));
  EXPECT_EQ(center.extraNormals[0].smoothingGroup, 1u);
  ExpectPointNear(center.extraNormals[1].normal, Point3(kInvSqrt3, kInvSqrt3, kInvSqrt3));
  EXPECT_EQ(center.extraNormals[1].smoothingGroup, 6u);
}

TEST_F(SharedBits, GroupingIsDecidedPerVertex) {
  // f3 does not touch vertex 2, so there f1 and f2 stay apart.
  const RenderVertex& v2 = mesh.hostMesh.renderVertices[2];
  ASSERT_EQ(v2.flags, 3u);
  EXPECT_EQ(v2.extraNormals[0].smoothingGroup, 1u);
  EXPECT_EQ(v2.extraNormals[1].smoothingGroup, 2u);
  EXPECT_EQ(v2.extraNormals[2].smoothingGroup, 4u);
  ExpectPointNear(v2.extraNormals[2].normal, Point3(1, 0, 0));
}

TEST_F(SharedBits, FacesWithoutGroupOrWithBadIndicesAddNoNormal) {
  // Vertex 5 is used only by the face of group 0.
  const RenderVertex& v5 = mesh.hostMesh.renderVertices[5];
  EXPECT_EQ(v5.flags, 0u);
  EXPECT_TRUE(v5.extraNormals.empty());
  // Group 0 still has its face normal; the face naming vertex 99 has none.
  ExpectPointNear(mesh.hostMesh.faceNormals[4], Point3(0, 0, 1));
  ExpectPointNear(mesh.hostMesh.faceNormals[5], Point3(0, 0, 0));
  // Vertex 1: f0 (group 1) and f3 (group 6); f5 would add group 1 again.
  const RenderVertex& v1 = mesh.hostMesh.renderVertices[1];
  ASSERT_EQ(v1.flags, 2u);
  EXPECT_EQ(v1.extraNormals[0].smoothingGroup, 1u);
  ExpectPointNear(v1.extraNormals[0].normal, Point3(0, 0, 1));
}

TEST(ComputeNormals, DegenerateFaceAddsNoDirectionAndDoesNotCrash) {
  MemoryMesh mesh;
  mesh.vertices = {Point3(0, 0, 0), Point3(1, 0, 0), Point3(0, 1, 0)};
  mesh.faces = {Face(0, 0, 1, 1), Face(0, 1, 2, 1)};
  mesh.ComputeNormals();
  ExpectPointNear(mesh.hostMesh.faceNormals[0], Point3(0, 0, 0));
  EXPECT_EQ(mesh.hostMesh.renderVertices[0].flags, 1u);
  ExpectPointNear(mesh.hostMesh.renderVertices[0].singleNormal.normal, Point3(0, 0, 1));
}

TEST(ComputeNormals, RunningAgainReplacesEarlierResults) {
  MemoryMesh mesh = Cube([](int side) { return 1u << side; });
  mesh.ComputeNormals();
  for (MeshFace& face : mesh.faces) face.smoothingGroup = 1;
  mesh.ComputeNormals();
  EXPECT_EQ(mesh.hostMesh.renderVertices[7].flags, 1u);
  EXPECT_TRUE(mesh.hostMesh.renderVertices[7].extraNormals.empty());
}

// Property: on random meshes every normal is unit length or zero, each
// vertex's groups have disjoint masks whose union is the union of the bits
// of the faces around it, and the count matches the stored normals.
TEST(ComputeNormals, RandomMeshesGiveDisjointGroupsCoveringTheFaceBits) {
  std::mt19937 random(12345);
  std::uniform_real_distribution<float> coordinate(-1.0f, 1.0f);
  for (int round = 0; round < 20; ++round) {
    MemoryMesh mesh;
    const std::uint32_t vertexCount = 12;
    for (std::uint32_t v = 0; v < vertexCount; ++v) {
      mesh.vertices.push_back(Point3(coordinate(random), coordinate(random), coordinate(random)));
    }
    std::vector<std::uint32_t> bitsAround(vertexCount, 0);
    for (int f = 0; f < 40; ++f) {
      const std::uint32_t group =
          random() % 4 == 0 ? 0u : (1u << (random() % 8)) | (1u << (random() % 8));
      const MeshFace face =
          Face(random() % vertexCount, random() % vertexCount, random() % vertexCount, group);
      mesh.faces.push_back(face);
      for (std::uint32_t v : face.vertex) bitsAround[v] |= group;
    }
    mesh.ComputeNormals();
    for (std::uint32_t v = 0; v < vertexCount; ++v) {
      const RenderVertex& vertex = mesh.hostMesh.renderVertices[v];
      const std::uint32_t count = vertex.flags & 0xFFu;
      std::vector<RenderNormal> normals;
      if (count == 1) normals.push_back(vertex.singleNormal);
      if (count > 1) normals = vertex.extraNormals;
      ASSERT_EQ(normals.size(), count);
      ASSERT_EQ(count > 1, !vertex.extraNormals.empty());
      std::uint32_t covered = 0;
      for (const RenderNormal& normal : normals) {
        EXPECT_NE(normal.smoothingGroup, 0u);
        EXPECT_EQ(covered & normal.smoothingGroup, 0u);
        covered |= normal.smoothingGroup;
        const float length = Length(normal.normal);
        EXPECT_TRUE(std::fabs(length - 1.0f) < 1e-4f || length == 0.0f) << length;
      }
      EXPECT_EQ(covered, bitsAround[v]);
    }
  }
}

}  // namespace

// Big meshes share the work between threads: many disjoint copies of one
// small mesh, in one mesh, must each get exactly the normals of the small one.
TEST(ComputeNormals, ABigMeshOfCopiesGivesEachCopyTheNormalsOfOne) {
  std::mt19937 random(777);
  std::uniform_real_distribution<float> coordinate(-1.0f, 1.0f);
  MemoryMesh one;
  const std::uint32_t vertexCount = 12;
  for (std::uint32_t v = 0; v < vertexCount; ++v)
    one.vertices.push_back(Point3(coordinate(random), coordinate(random), coordinate(random)));
  for (int f = 0; f < 40; ++f) {
    const std::uint32_t group = random() % 4 == 0 ? 0u : (1u << (random() % 6));
    one.faces.push_back(
        Face(random() % vertexCount, random() % vertexCount, random() % vertexCount, group));
  }
  MemoryMesh many;
  const std::uint32_t copies = 3000;  // 120,000 faces and 36,000 vertices
  for (std::uint32_t c = 0; c < copies; ++c) {
    many.vertices.insert(many.vertices.end(), one.vertices.begin(), one.vertices.end());
    for (MeshFace face : one.faces) {
      for (std::uint32_t& v : face.vertex) v += c * vertexCount;
      many.faces.push_back(face);
    }
  }
  one.ComputeNormals();
  many.ComputeNormals();
  const auto same = [](const Point3& a, const Point3& b) {
    return a.x == b.x && a.y == b.y && a.z == b.z;
  };
  for (std::size_t f = 0; f < many.faces.size(); ++f) {
    ASSERT_TRUE(same(many.hostMesh.faceNormals[f], one.hostMesh.faceNormals[f % one.faces.size()]))
        << "face " << f;
  }
  for (std::size_t v = 0; v < many.vertices.size(); ++v) {
    const RenderVertex& got = many.hostMesh.renderVertices[v];
    const RenderVertex& want = one.hostMesh.renderVertices[v % vertexCount];
    ASSERT_EQ(got.flags, want.flags) << "vertex " << v;
    ASSERT_TRUE(same(got.singleNormal.normal, want.singleNormal.normal)) << "vertex " << v;
    ASSERT_EQ(got.extraNormals.size(), want.extraNormals.size()) << "vertex " << v;
    for (std::size_t g = 0; g < got.extraNormals.size(); ++g) {
      ASSERT_TRUE(same(got.extraNormals[g].normal, want.extraNormals[g].normal)) << "vertex " << v;
      ASSERT_EQ(got.extraNormals[g].smoothingGroup, want.extraNormals[g].smoothingGroup);
    }
  }
}
