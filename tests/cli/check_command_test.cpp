// The check command as a user runs it, and the reader on our own exports.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/cli_runner.h"
#include "smd/text_format.h"
#include "smd/smd_reader.h"

using kw::smd::FormatText;

namespace {

using kw::test::RunCli;
using kw::test::ScratchFolder;

// The file again from what the reader took in, in our exporter's layout:
// "%f" text of a float reads back to a float that prints the same.
std::string WrittenAgain(const kw::smd::File& file) {
  std::string text = FormatText("version %d\nnodes\n", file.version);
  for (const auto& node : file.nodes) {
    text += FormatText("%3d \"%s\" %3d\n", node.index, node.name.c_str(), node.parent);
  }
  text += "end\nskeleton\n";
  for (const auto& frame : file.frames) {
    text += FormatText("time %d\n", frame.time);
    for (std::uint32_t i = 0; i < frame.poseCount; ++i) {
      const auto& pose = file.poses[frame.firstPose + i];
      text += FormatText("%3d %f %f %f %f %f %f\n", pose.node, pose.position[0], pose.position[1],
                         pose.position[2], pose.rotation[0], pose.rotation[1], pose.rotation[2]);
    }
  }
  text += "end\n";
  if (!file.hasTriangles) return text;
  text += "triangles\n";
  for (const auto& triangle : file.triangles) {
    text += file.materials[triangle.material] + "\n";
    for (const auto& v : triangle.corners) {
      text += FormatText("%3d %f %f %f %f %f %f %f %f %u", v.bone, v.position[0], v.position[1],
                         v.position[2], v.normal[0], v.normal[1], v.normal[2], v.uv[0], v.uv[1],
                         v.linkCount);
      for (std::uint32_t k = 0; k < v.linkCount; ++k) {
        text += FormatText(" %d %f", file.links[v.firstLink + k].bone,
                           file.links[v.firstLink + k].weight);
      }
      text += "\n";
    }
  }
  return text + "end\n";
}

TEST(CheckCommand, OurExportsOfTheSampleReadBackWhole) {
  ScratchFolder folder;
  const std::string scene = std::string(KW_SOURCE_DIR) + "/samples/figure.json";
  for (const bool sequence : {false, true}) {
    const std::string out = folder / (sequence ? "walk.smd" : "figure.smd");
    std::vector<std::string> arguments = {"export", scene, "-o", out};
    if (sequence) arguments.push_back("--sequence");
    ASSERT_EQ(RunCli(folder, arguments).status, 0);
    kw::smd::File file;
    std::string error;
    ASSERT_TRUE(kw::smd::ReadSmd(out, &file, &error)) << error;
    EXPECT_TRUE(file.problems.empty());
    EXPECT_EQ(file.hasTriangles, !sequence);
    EXPECT_GT(sequence ? file.frames.size() : file.triangles.size(), 10u);
    EXPECT_EQ(WrittenAgain(file), kw::test::ReadFile(out));

    const kw::test::RunResult check = RunCli(folder, {"check", out});
    EXPECT_EQ(check.status, 0) << check.out << check.err;
    EXPECT_NE(check.out.find(": clean ("), std::string::npos) << check.out;
  }
}

TEST(CheckCommand, ExitStatusAndOneLinePerFinding) {
  ScratchFolder folder;
  std::string manyNodes = "version 1\nnodes\n";
  for (int i = 0; i < 129; ++i) manyNodes += FormatText("%d \"b%d\" %d\n", i, i, i - 1);
  manyNodes += "end\n";
  kw::test::WriteFile(folder / "clean.smd", "version 1\r\nnodes\r\n0 \"root\" -1\r\nend\r\n");
  kw::test::WriteFile(folder / "nodes.smd", manyNodes);
  kw::test::WriteFile(folder / "picture.smd", "\x89PNG\r\n");

  struct Case {
    std::vector<std::string> files;
    int status;
    std::string out;
    std::string err;
  } cases[] = {
      {{"clean.smd"}, 0, "clean.smd: clean (1 nodes, 0 frames, 0 triangles, 0 materials)\n", ""},
      {{"nodes.smd", "clean.smd"},
       4,
       "nodes.smd: too-many-nodes: 129 nodes, more than the 128 the compiler takes\n"
       "clean.smd: clean (1 nodes, 0 frames, 0 triangles, 0 materials)\n",
       ""},
      {{"picture.smd", "nodes.smd", "gone.smd"},
       3,
       "nodes.smd: too-many-nodes: 129 nodes, more than the 128 the compiler takes\n",
       "kestrelworks: picture.smd: not an SMD file (it does not begin with a \"version\" line)\n"
       "kestrelworks: gone.smd: No such file or directory\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> arguments = {"check"};
    arguments.insert(arguments.end(), c.files.begin(), c.files.end());
    const kw::test::RunResult run = RunCli(folder, arguments);
    EXPECT_EQ(run.status, c.status) << kw::test::Describe(run);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, c.err);
  }
}

// A Collada file with 129 nodes, from assimp's test models.
TEST(CheckCommand, TheCompilersNodeLimitOnAModelExport) {
  const std::string model =
      "/usr/share/assimp/models/Collada/anims_with_full_rotations_between_keys.DAE";
  if (!kw::test::Exists(model)) GTEST_SKIP() << "assimp-testmodels is not installed";
  ScratchFolder folder;
  const kw::test::RunResult exported = RunCli(folder, {"export", model, "-o", "model.smd"});
  ASSERT_EQ(exported.status, 0) << kw::test::Describe(exported);
  EXPECT_NE(exported.err.find("warning: model.smd: 129 nodes, more than the 128 the compiler "
                              "takes\n"),
            std::string::npos)
      << exported.err;
  const kw::test::RunResult check = RunCli(folder, {"check", "model.smd"});
  EXPECT_EQ(check.status, 4);
  EXPECT_NE(check.out.find("model.smd: too-many-nodes: 129 nodes, more than the 128"),
            std::string::npos)
      << check.out;

  // What goes to stdout is checked as it goes.
  const kw::test::RunResult piped = RunCli(folder, {"export", model, "-o", "-"});
  EXPECT_EQ(piped.status, 0) << piped.err;
  EXPECT_NE(piped.err.find("warning: stdout: 129 nodes, more than the 128"), std::string::npos)
      << piped.err;

  const kw::test::RunResult strict =
      RunCli(folder, {"export", model, "-o", "strict.smd", "--strict"});
  EXPECT_EQ(strict.status, 4) << kw::test::Describe(strict);
  EXPECT_EQ(kw::test::ListFolder(folder.Path()), (std::vector<std::string>{"model.smd"}));
}

}  // namespace
