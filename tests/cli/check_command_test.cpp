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
  // A sequence alone cannot tell which nodes its reference uses.
  const std::string kNodesFinding =
      "nodes.smd: too-many-nodes: 129 nodes; the compiler takes 128 of those its reference's "
      "vertices use, with their ancestors, which a sequence alone does not tell: check the "
      "reference\n";

  struct Case {
    std::vector<std::string> files;
    int status;
    std::string out;
    std::string err;
  } cases[] = {
      {{"clean.smd"}, 0, "clean.smd: clean (1 nodes, 0 frames, 0 triangles, 0 materials)\n", ""},
      {{"nodes.smd", "clean.smd"},
       4,
       kNodesFinding + "clean.smd: clean (1 nodes, 0 frames, 0 triangles, 0 materials)\n",
       ""},
      {{"picture.smd", "nodes.smd", "gone.smd"},
       3,
       kNodesFinding,
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
  EXPECT_NE(exported.err.find("warning: model.smd: 129 nodes in use (bound to vertices, or their "
                              "ancestors), more than the 128 the compiler takes\n"),
            std::string::npos)
      << exported.err;
  const kw::test::RunResult check = RunCli(folder, {"check", "model.smd"});
  EXPECT_EQ(check.status, 4);
  EXPECT_NE(check.out.find("model.smd: too-many-nodes: 129 nodes in use"), std::string::npos)
      << check.out;

  // What goes to stdout is checked as it goes.
  const kw::test::RunResult piped = RunCli(folder, {"export", model, "-o", "-"});
  EXPECT_EQ(piped.status, 0) << piped.err;
  EXPECT_NE(piped.err.find("warning: stdout: 129 nodes in use"), std::string::npos) << piped.err;

  const kw::test::RunResult strict =
      RunCli(folder, {"export", model, "-o", "strict.smd", "--strict"});
  EXPECT_EQ(strict.status, 4) << kw::test::Describe(strict);
  EXPECT_EQ(kw::test::ListFolder(folder.Path()), (std::vector<std::string>{"model.smd"}));
}

// A glTF of one triangle and 149 empty nodes: the compiler leaves the
// unused ones out, so neither check nor --strict may refuse it.
TEST(CheckCommand, NodesNoVertexUsesDoNotCount) {
  ScratchFolder folder;
  std::string nodes = R"({"name": "tri", "mesh": 0})";
  std::string roots = "0";
  for (int i = 1; i <= 149; ++i) {
    nodes += FormatText(R"(, {"name": "empty%d", "translation": [%d, 0, 0]})", i, i);
    roots += FormatText(", %d", i);
  }
  kw::test::WriteFile(
      folder / "unused.gltf",
      R"({"asset": {"version": "2.0"}, "buffers": [{"byteLength": 68, "uri": )"
      R"("data:application/octet-stream;base64,AAAAAAAAAAAAAAAAAACAPwAAAAAAAAAAAAAAAAAAgD8AAAAAAAAA)"
      R"(AAAAAAAAAIA/AAAAAAAAAAAAAIA/AAABAAIAAAA="}], "bufferViews": [)"
      R"({"buffer": 0, "byteOffset": 0, "byteLength": 36}, {"buffer": 0, "byteOffset": 36, )"
      R"("byteLength": 24}, {"buffer": 0, "byteOffset": 60, "byteLength": 6}], "accessors": [)"
      R"({"bufferView": 0, "componentType": 5126, "count": 3, "type": "VEC3", "min": [0, 0, 0], )"
      R"("max": [1, 1, 0]}, {"bufferView": 1, "componentType": 5126, "count": 3, "type": "VEC2"}, )"
      R"({"bufferView": 2, "componentType": 5123, "count": 3, "type": "SCALAR"}], "meshes": [)"
      R"({"primitives": [{"attributes": {"POSITION": 0, "TEXCOORD_0": 1}, "indices": 2}]}], )"
      R"("nodes": [)" +
          nodes + R"(], "scenes": [{"nodes": [)" + roots + R"(]}], "scene": 0})");
  const kw::test::RunResult exported =
      RunCli(folder, {"export", "unused.gltf", "-o", "unused.smd", "--strict"});
  EXPECT_EQ(exported.status, 0) << kw::test::Describe(exported);
  const kw::test::RunResult check = RunCli(folder, {"check", "unused.smd"});
  EXPECT_EQ(check.status, 0) << check.out;
  EXPECT_EQ(check.out,
            "unused.smd: clean (151 nodes (149 unused), 1 frames, 1 triangles, 1 materials)\n");
}

// Files from other tools: what the compiler refuses or misfiles, and lines
// that must not reach the terminal raw.
TEST(CheckCommand, BogusBonesTimesAndEscapedLines) {
  ScratchFolder folder;
  kw::test::WriteFile(folder / "odd\x1b[2J.smd",
                      "version 1\nnodes\n0 \"root\" -1\n1 \"arm\" 4\nend\nskeleton\ntime 0\n"
                      "0 0 0 0 0 0 0\n1 0 0 0 0 0 0\ntime 2\n0 0 0 0 0 0 0\n1 0 0 0 0 0 0\nend\n"
                      "\x1b]0;title\x07\x9b"
                      "31m\xc2\x9b"
                      "1m\n"
                      "triangles\nm\n0 0 0 0 0 0 1 0 0 2 0 0.5 6 0.5\n0 1 0 0 0 0 1 0 0\n"
                      "3 0 1 0 0 0 1 0 0\nend\n");
  const kw::test::RunResult check = RunCli(folder, {"check", "odd\x1b[2J.smd"});
  EXPECT_EQ(check.status, 4);
  const std::string name = "odd\\u001b[2J.smd: ";
  EXPECT_EQ(check.out,
            name +
                "unparsed-line: line 14: \"\\u001b]0;title\\u0007\\x9b31m\\u009b1m\" is not a "
                "section of an SMD\n" +
                name +
                "bogus-bone-index: 2 vertices name a bone the nodes section does not have, "
                "which the compiler refuses (\"bogus bone index\"); the first, line 17, "
                "names bone 6\n" +
                name +
                "bogus-bone-index: 1 node names a parent the nodes section does not have, "
                "which the compiler refuses (\"bogus bone index\"); the first, node 1 "
                "\"arm\" (line 4), names 4\n" +
                name +
                "irregular-time: 1 time goes back or skips a frame; the first, time 2 "
                "after time 0 (line 10)\n");
}

// The same definition of what the 3-link limit costs as --max-links reports,
// in the same words, on the model whose figures once disagreed.
TEST(CheckCommand, TheLinksFindingAgreesWithMaxLinks) {
  const std::string model = "/usr/share/assimp/models/FBX/animation_with_skeleton.fbx";
  if (!kw::test::Exists(model)) GTEST_SKIP() << "assimp-testmodels is not installed";
  ScratchFolder folder;
  ASSERT_EQ(RunCli(folder, {"export", model, "-o", "model.smd"}).status, 0);
  const kw::test::RunResult check = RunCli(folder, {"check", "model.smd"});
  const kw::test::RunResult trimmed =
      RunCli(folder, {"export", model, "-o", "trimmed.smd", "--max-links", "3"});
  const auto figure = [](const std::string& text) {
    const std::size_t end = text.find("% of a vertex's weight");
    const std::size_t start = text.rfind(' ', end);
    return end == std::string::npos ? std::string("none") : text.substr(start + 1, end - start);
  };
  EXPECT_EQ(figure(check.out), "18.8%") << check.out;
  EXPECT_EQ(figure(trimmed.err), figure(check.out)) << trimmed.err;
  EXPECT_NE(check.out.find("export with --max-links 3"), std::string::npos);
  EXPECT_EQ(RunCli(folder, {"check", "trimmed.smd"}).status, 0);
}

// The report is the command's product: a full device or a closed pipe is a
// failure (exit 1), and a FIFO or an empty name is refused before anything
// is read.
TEST(CheckCommand, ReportsThatCannotBeWrittenAndInputsThatAreNoFiles) {
  ScratchFolder folder;
  kw::test::WriteFile(folder / "clean.smd", "version 1\nnodes\n0 \"root\" -1\nend\n");
  ASSERT_EQ(::mkfifo((folder / "fifo.smd").c_str(), 0600), 0);
  const kw::test::RunResult fifo = RunCli(folder, {"check", "fifo.smd"});
  EXPECT_EQ(fifo.status, 3) << kw::test::Describe(fifo);
  EXPECT_EQ(fifo.err,
            "kestrelworks: fifo.smd: it is a FIFO, not a regular file; give an SMD file\n");
  const kw::test::RunResult empty = RunCli(folder, {"check", "clean.smd", ""});
  EXPECT_EQ(empty.status, 2);
  EXPECT_EQ(empty.out, "");
  EXPECT_EQ(empty.err, "kestrelworks: check: a file name is empty (see --help)\n");

  kw::test::RunOptions closed;
  closed.stdoutToClosedPipe = true;
  const kw::test::RunResult pipe = RunCli(folder, {"check", "clean.smd"}, closed);
  EXPECT_EQ(pipe.status, 1) << kw::test::Describe(pipe);
  EXPECT_EQ(pipe.err, "kestrelworks: stdout: the report cannot be written: Broken pipe\n");

  // stdout on a full device.
  const pid_t child = ::fork();
  if (child == 0) {
    const int full = ::open("/dev/full", O_WRONLY);
    const int null = ::open("/dev/null", O_WRONLY);
    if (full < 0 || null < 0 || ::dup2(full, 1) < 0 || ::dup2(null, 2) < 0 ||
        ::chdir(folder.Path().c_str()) != 0) {
      ::_exit(125);
    }
    ::execl(KW_CLI_PATH, KW_CLI_PATH, "check", "clean.smd", static_cast<char*>(nullptr));
    ::_exit(126);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
}

}  // namespace

// A VTA by hand: its numbers against the reference given before it, its
// times, and its shape lines against time 0.
TEST(CheckCommand, ShapesOfAVtaWithAndWithoutTheirReference) {
  ScratchFolder folder;
  kw::test::WriteFile(folder / "ref.smd",
                      "version 1\nnodes\n0 \"root\" -1\nend\nskeleton\ntime 0\n0 0 0 0 0 0 0\nend\n"
                      "triangles\nmat\n0 0 0 0 0 0 1 0 0\n0 1 0 0 0 0 1 1 0\n0 0 1 0 0 0 1 0 1\n"
                      "end\n");
  const std::string head =
      "version 1\nnodes\n0 \"root\" -1\nend\nskeleton\ntime 0\ntime 1\n"
      "time 2\nend\nvertexanimation\ntime 0\n0 0 0 0 0 0 1\n1 1 0 0 0 0 1\n"
      "2 0 1 0 0 0 1\n";
  kw::test::WriteFile(folder / "good.vta",
                      head + "time 1\n2 0 1 0.5 0 0 1\ntime 2\n1 1.5 0 0 0 0 1\nend\n");
  // Line 16 names vertex 7, which neither time 0 nor the reference has;
  // line 17 goes back to time 1. No extension: known by its section.
  kw::test::WriteFile(folder / "bad.txt",
                      head + "time 2\n7 0 1 0.5 0 0 1\ntime 1\n1 1.5 0 0 0 0 1\nend\n");
  const std::string kRef = "ref.smd: clean (1 nodes, 1 frames, 1 triangles, 1 materials)\n";
  const std::string kBadTimes =
      "bad.txt: irregular-shape-time: 2 vertex animation frames do not follow the one before "
      "(0, 1, 2, ...); the first, line 15, is time 2 after time 0\n"
      "bad.txt: vertex-not-in-base: 1 shape vertex lines name a vertex that time 0 does not "
      "list; the first, line 16 (time 2), names 7\n"
      "bad.txt: shape-times-mismatch: the skeleton's times (0 1 2) are not the vertex "
      "animation's (0 2 1)\n";
  struct Case {
    std::vector<std::string> files;
    int status;
    std::string out;
  } cases[] = {
      {{"good.vta"},
       0,
       "good.vta: clean (1 nodes, 2 shapes, 5 vertex lines; no reference given)\n"},
      {{"ref.smd", "good.vta"}, 0, kRef + "good.vta: clean (1 nodes, 2 shapes, 5 vertex lines)\n"},
      {{"bad.txt"}, 4, kBadTimes},
      {{"ref.smd", "bad.txt"},
       4,
       kRef +
           "bad.txt: bad-vertex-number: 1 vertex lines name a vertex not there (the reference "
           "has vertices 0 to 2); the first, line 16, names 7\n" +
           kBadTimes},
  };
  for (const Case& c : cases) {
    std::vector<std::string> arguments = {"check"};
    arguments.insert(arguments.end(), c.files.begin(), c.files.end());
    const kw::test::RunResult run = RunCli(folder, arguments);
    EXPECT_EQ(run.status, c.status) << kw::test::Describe(run);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, "");
  }
}
