// What studiomdl builds from our files, against the source: every sequence
// the tool writes is played on the reference it writes (read back with our
// SMD reader, skinned as a compiler skins), and each vertex must land where
// assimp's own skinning of the source puts it. A reference in any pose other
// than the bind pose moves the vertices blended over several bones.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_runner.h"
#include "readers/model_import/source_reference.h"
#include "smd/skinning.h"
#include "smd/smd_reader.h"

namespace {

using kw::test::kModelDir;

// Of the model's size (its bounding box's diagonal): six decimals in the
// file and single precision on both sides leave some 1e-6.
constexpr double kTolerance = 1e-4;

struct Case {
  const char* file;
  std::vector<std::string> extra;  // arguments for both exports
  const char* animation;           // the animation the sequence plays
};

const Case kCases[] = {
    {"FBX/animation_with_skeleton.fbx", {}, "Armature|ArmatureAction"},
    {"X/Testwuson.X", {}, "Wuson_Run"},
    {"X/Testwuson.X", {"--animation", "Wuson_Run"}, "Wuson_Run"},
    {"X/Testwuson.X", {"--animation", "Wuson_Walk"}, "Wuson_Walk"},
    {"X/BCN_Epileptic.X", {}, "Epileptisch"},
    {"Collada/box_nested_animation.dae", {}, "Armature"},
    // Its reader lists every bone under one node, each relative to its mParent.
    {"MDL/MDL (HL1)/man.mdl", {"--animation", "walk"}, "walk"},
};

kw::smd::File Read(const std::string& path) {
  kw::smd::File file;
  std::string error;
  EXPECT_TRUE(kw::smd::ReadSmd(path, &file, &error)) << error;
  EXPECT_TRUE(file.problems.empty())
      << path << ": line " << file.problems.front().line << ": " << file.problems.front().message;
  return file;
}

// Every triangle corner of the source at a time of the animation, in the
// order the reference lists them.
std::vector<aiVector3D> SourceCorners(const aiScene& scene, const aiAnimation& animation,
                                      double seconds) {
  const double rate = animation.mTicksPerSecond > 0 ? animation.mTicksPerSecond : 25.0;
  const std::vector<aiMatrix4x4> world =
      kw::test::WorldPose(scene, &animation, seconds * rate, kw::test::Upright('y'));
  std::vector<aiVector3D> corners;
  for (const aiNode* node : kw::test::PreOrder(scene)) {
    const std::vector<aiVector3D> own = kw::test::PosedCorners(scene, *node, world);
    corners.insert(corners.end(), own.begin(), own.end());
  }
  return corners;
}

double Diagonal(const std::vector<aiVector3D>& points) {
  aiVector3D low(1e30f, 1e30f, 1e30f), high(-1e30f, -1e30f, -1e30f);
  for (const aiVector3D& p : points) {
    low = aiVector3D(std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z));
    high = aiVector3D(std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z));
  }
  return (high - low).Length();
}

// The largest distance, as a share of the model's size, between a corner
// played on the reference and the source's; a mirrored node has two corners
// swapped, so corners are matched within their triangle.
double Deviation(const kw::smd::File& reference, const kw::smd::File& sequence, std::size_t frame,
                 const std::vector<aiVector3D>& expected) {
  const auto referenceWorld = kw::smd::WorldTransforms(reference, reference.frames.at(0));
  const auto frameWorld = kw::smd::WorldTransforms(sequence, sequence.frames.at(frame));
  const auto skinning = kw::smd::SkinningMatrices(referenceWorld, frameWorld);
  EXPECT_EQ(expected.size(), 3 * reference.triangles.size());
  if (expected.size() != 3 * reference.triangles.size()) return 1.0;
  double worst = 0.0;
  for (std::size_t t = 0; t < reference.triangles.size(); ++t) {
    for (const kw::smd::Vertex& corner : reference.triangles[t].corners) {
      const Point3 p = kw::smd::SkinnedPosition(reference, corner, skinning);
      double nearest = 1e30;
      for (std::size_t c = 3 * t; c < 3 * t + 3; ++c) {
        nearest =
            std::min(nearest, double(kw::test::Distance(aiVector3D(p.x, p.y, p.z), expected[c])));
      }
      worst = std::max(worst, nearest);
    }
  }
  return worst / Diagonal(expected);
}

TEST(SkinnedPlayback, EverySequencePlayedOnTheReferenceMovesTheVerticesAsTheSource) {
  for (const Case& entry : kCases) {
    const std::string model = kModelDir + entry.file;
    std::string where = entry.file;
    for (const std::string& argument : entry.extra) where += " " + argument;
    kw::test::ScratchFolder folder;
    std::vector<std::string> reference{"export", model, "-o", "ref.smd"};
    std::vector<std::string> sequence{"export", model, "-o", "seq.smd", "--sequence"};
    reference.insert(reference.end(), entry.extra.begin(), entry.extra.end());
    sequence.insert(sequence.end(), entry.extra.begin(), entry.extra.end());
    for (const auto& arguments : {reference, sequence}) {
      const kw::test::RunResult run = kw::test::RunCli(folder, arguments);
      ASSERT_EQ(run.status, 0) << where << ": " << kw::test::Describe(run);
    }

    Assimp::Importer importer;
    const aiScene* source = kw::test::ReadSource(importer, model);
    ASSERT_NE(source, nullptr);
    const aiAnimation* animation = nullptr;
    for (unsigned a = 0; a < source->mNumAnimations; ++a) {
      if (source->mAnimations[a]->mName == aiString(entry.animation))
        animation = source->mAnimations[a];
    }
    ASSERT_NE(animation, nullptr) << where;

    const kw::smd::File referenceFile = Read(folder / "ref.smd");
    const kw::smd::File sequenceFile = Read(folder / "seq.smd");
    const std::size_t frames = sequenceFile.frames.size();
    ASSERT_GT(frames, 2u) << where;
    double worst = 0.0;
    for (std::size_t frame : {std::size_t(0), frames / 2, frames - 1}) {
      // 30 frames a second, from 0: the tool's default and these files' start.
      const std::vector<aiVector3D> expected = SourceCorners(*source, *animation, frame / 30.0);
      const double deviation = Deviation(referenceFile, sequenceFile, frame, expected);
      EXPECT_LT(deviation, kTolerance) << where << " frame " << frame;
      worst = std::max(worst, deviation);
    }
    std::printf("%s: largest deviation %.2e of the model's size\n", where.c_str(), worst);
  }
}

}  // namespace
