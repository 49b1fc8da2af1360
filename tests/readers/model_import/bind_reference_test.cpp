// The default reference of a skin is the pose the file binds it in: each bone
// where the inverse of its offset matrix puts it and each vertex where the
// file's own mesh data has it, in the space the format skins in. X skins in
// the scene's space whatever the mesh frame's transform; Collada in the
// file's, through its bind shape matrix.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/cli_runner.h"
#include "readers/model_import/source_reference.h"
#include "smd/skinning.h"
#include "smd/smd_reader.h"

namespace {

using kw::test::kModelDir;

// Of the model's size, the diagonal of its bounding box.
constexpr double kTolerance = 1e-5;

struct Bound {
  std::string bone;
  aiMatrix4x4 world;
};

struct Expected {
  std::vector<Bound> bones;
  std::vector<aiVector3D> corners;  // in the order the reference writes them
};

// X: bones at upright * offset^-1 (the first mesh that names one), every
// corner at upright * its position in the file.
Expected FromOffsets(const aiScene& scene) {
  const aiMatrix4x4 upright = kw::test::Upright('y');
  Expected expected;
  for (const aiNode* node : kw::test::PreOrder(scene)) {
    for (unsigned k = 0; k < node->mNumMeshes; ++k) {
      const aiMesh& mesh = *scene.mMeshes[node->mMeshes[k]];
      for (unsigned b = 0; b < mesh.mNumBones; ++b) {
        const std::string name = mesh.mBones[b]->mName.C_Str();
        bool known = false;
        for (const Bound& bound : expected.bones) known = known || bound.bone == name;
        if (!known)
          expected.bones.push_back(
              {name, upright * aiMatrix4x4(mesh.mBones[b]->mOffsetMatrix).Inverse()});
      }
      for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
        for (unsigned c = 0; c < 3; ++c)
          expected.corners.push_back(upright * mesh.mVertices[mesh.mFaces[f].mIndices[c]]);
      }
    }
  }
  return expected;
}

// Collada/box_nested_animation.dae, Z up like the SMD: the inverse of the
// file's INV_BIND_MATRIX puts the joint at (1, -1, 0), turned as its rest
// node "Bone" is; the bind shape matrix moves each corner of the cube by
// (-1, 1, 1).
Expected BoxFromTheFile(const aiScene& scene) {
  const aiMatrix4x4 inverseBind(0.7886752f, 0.2113248f, 0.5773504f, -0.5773504f,  //
                                -0.5773503f, 0.5773503f, 0.5773503f, 1.154701f,   //
                                -0.2113249f, -0.7886752f, 0.5773503f, -0.5773502f, 0, 0, 0, 1);
  Expected expected;
  expected.bones.push_back({"Armature_Bone", aiMatrix4x4(inverseBind).Inverse()});
  const aiMesh& mesh = *scene.mMeshes[0];
  for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
    for (unsigned c = 0; c < 3; ++c)
      expected.corners.push_back(mesh.mVertices[mesh.mFaces[f].mIndices[c]] + aiVector3D(-1, 1, 1));
  }
  return expected;
}

double Diagonal(const std::vector<aiVector3D>& points) {
  aiVector3D low(1e30f, 1e30f, 1e30f), high(-1e30f, -1e30f, -1e30f);
  for (const aiVector3D& p : points) {
    low = aiVector3D(std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z));
    high = aiVector3D(std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z));
  }
  return (high - low).Length();
}

TEST(BindReference, XAndColladaSkinsAreWrittenInThePoseTheFileBindsThem) {
  for (const char* file :
       {"X/Testwuson.X", "X/BCN_Epileptic.X", "Collada/box_nested_animation.dae"}) {
    kw::test::ScratchFolder folder;
    const kw::test::RunResult run =
        kw::test::RunCli(folder, {"export", kModelDir + file, "-o", "ref.smd"});
    ASSERT_EQ(run.status, 0) << file << ": " << kw::test::Describe(run);
    kw::smd::File smd;
    std::string error;
    ASSERT_TRUE(kw::smd::ReadSmd(folder / "ref.smd", &smd, &error)) << error;

    Assimp::Importer importer;
    const aiScene* source = kw::test::ReadSource(importer, kModelDir + file);
    ASSERT_NE(source, nullptr);
    const Expected expected =
        std::string(file).rfind("Collada", 0) == 0 ? BoxFromTheFile(*source) : FromOffsets(*source);
    const double size = Diagonal(expected.corners);

    const std::vector<Matrix3> world = kw::smd::WorldTransforms(smd, smd.frames.at(0));
    double worstBone = 0.0, worstAxis = 0.0;
    for (const Bound& bound : expected.bones) {
      int index = -1;
      for (const kw::smd::Node& node : smd.nodes) {
        if (node.name == bound.bone) index = node.index;
      }
      ASSERT_GE(index, 0) << file << ": " << bound.bone;
      const Matrix3& m = world[static_cast<std::size_t>(index)];
      const Point3 origin = m.GetRow(3);
      worstBone = std::max(
          worstBone,
          double(kw::test::Distance(aiVector3D(origin.x, origin.y, origin.z),
                                    aiVector3D(bound.world.a4, bound.world.b4, bound.world.c4))));
      for (unsigned axis = 0; axis < 3; ++axis) {
        const Point3 row = m.GetRow(static_cast<int>(axis));
        aiVector3D column(bound.world[0][axis], bound.world[1][axis], bound.world[2][axis]);
        worstAxis = std::max(worstAxis, double(kw::test::Distance(aiVector3D(row.x, row.y, row.z),
                                                                  column.Normalize())));
      }
    }
    ASSERT_EQ(3 * smd.triangles.size(), expected.corners.size()) << file;
    double worstCorner = 0.0;
    for (std::size_t t = 0; t < smd.triangles.size(); ++t) {
      for (const kw::smd::Vertex& corner : smd.triangles[t].corners) {
        // A mirrored node has two corners swapped: matched within the triangle.
        double nearest = 1e30;
        for (std::size_t c = 3 * t; c < 3 * t + 3; ++c) {
          nearest = std::min(
              nearest, double(kw::test::Distance(
                           aiVector3D(corner.position[0], corner.position[1], corner.position[2]),
                           expected.corners[c])));
        }
        worstCorner = std::max(worstCorner, nearest);
      }
    }
    EXPECT_LT(worstBone / size, kTolerance) << file;
    EXPECT_LT(worstAxis, kTolerance) << file;
    EXPECT_LT(worstCorner / size, kTolerance) << file;
    std::printf("%s: bones %.1e, axes %.1e, vertices %.1e of the model's size\n", file,
                worstBone / size, worstAxis, worstCorner / size);
  }
}

}  // namespace
