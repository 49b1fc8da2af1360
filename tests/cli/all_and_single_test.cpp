// export --all stands for the single exports of its files: on the same
// scene, both give the same exit status and say the same on stderr, the
// failures' lines included.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/exit_codes.h"
#include "tests/cli/cli_runner.h"

namespace kw::test {
namespace {

// A strip of triangles: 1000 make a reference of about 290 kB, of which the
// size estimate counts 224 kB.
std::string StripObj(int faces) {
  std::string obj;
  for (int i = 0; i < faces + 2; ++i)
    obj += "v " + std::to_string(i) + " " + std::to_string(i % 2) + " 0\n";
  for (int i = 1; i <= faces; ++i)
    obj +=
        "f " + std::to_string(i) + " " + std::to_string(i + 1) + " " + std::to_string(i + 2) + "\n";
  return obj;
}

// A triangle moved by an animation "run" of 30000 seconds: at 4800 frames a
// second, a sequence of about 18 GB.
void WriteLongRun(const ScratchFolder& folder) {
  const float data[17] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 30000, 0, 0, 0, 1, 0, 0};
  WriteFile(folder / "run.bin", std::string(reinterpret_cast<const char*>(data), sizeof data));
  WriteFile(folder / "long.gltf", R"({"asset": {"version": "2.0"}, "scene": 0,
    "scenes": [{"nodes": [0]}], "nodes": [{"mesh": 0, "name": "m"}],
    "meshes": [{"primitives": [{"attributes": {"POSITION": 0}}]}],
    "animations": [{"name": "run", "samplers": [{"input": 1, "output": 2}],
                    "channels": [{"sampler": 0, "target": {"node": 0, "path": "translation"}}]}],
    "buffers": [{"uri": "run.bin", "byteLength": 68}],
    "bufferViews": [{"buffer": 0, "byteLength": 36},
                    {"buffer": 0, "byteOffset": 36, "byteLength": 8},
                    {"buffer": 0, "byteOffset": 44, "byteLength": 24}],
    "accessors": [
      {"bufferView": 0, "componentType": 5126, "count": 3, "type": "VEC3",
       "min": [0, 0, 0], "max": [1, 1, 0]},
      {"bufferView": 1, "componentType": 5126, "count": 2, "type": "SCALAR",
       "min": [0], "max": [30000]},
      {"bufferView": 2, "componentType": 5126, "count": 2, "type": "VEC3"}]})");
}

std::string LastLine(const std::string& text) {
  const std::size_t end = text.size() < 2 ? 0 : text.rfind('\n', text.size() - 2);
  return end == std::string::npos ? text : text.substr(end + 1);
}

// `export SCENE` with single's arguments and with all's, each naming the
// same SMD in out/, so that their lines can be compared whole.
struct Case {
  const char* what;
  std::string scene;
  std::vector<std::string> single;
  std::vector<std::string> all;
  int status;
  std::string lastLine;  // how stderr's last line starts
};

class AllAndSingle : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(::mkdir((folder / "out").c_str(), 0755), 0); }

  void Expect(const Case& c, const RunOptions& options = RunOptions()) {
    std::vector<std::string> single = {"export", c.scene}, all = {"export", c.scene, "--all"};
    single.insert(single.end(), c.single.begin(), c.single.end());
    all.insert(all.end(), c.all.begin(), c.all.end());
    const RunResult one = RunCli(folder, single, options);
    const RunResult every = RunCli(folder, all, options);
    EXPECT_FALSE(one.hung || every.hung) << c.what;
    EXPECT_EQ(one.status, c.status) << c.what << ": " << Describe(one);
    EXPECT_EQ(every.status, c.status) << c.what << ", --all: " << Describe(every);
    EXPECT_EQ(every.err, one.err) << c.what;
    EXPECT_EQ(LastLine(one.err).rfind(c.lastLine, 0), 0u) << c.what << ": " << one.err;
  }

  ScratchFolder folder;
};

TEST_F(AllAndSingle, SameStatusAndLinesForTheSameScene) {
  WriteFile(folder / "far.obj", "v 1e10 0 0\nv 0 1 0\nv 0 0 1\nf 1 2 3\n");
  WriteFile(folder / "empty.json",
            R"({"version": 1, "time": {"start": 0, "end": 160, "ticksPerFrame": 160},
                "nodes": []})");
  WriteFile(folder / "nan.json",
            Replaced(SmallScene(), "\"euler\": [0, 0, 0]", "\"quat\": [1e-45, 0, 0, 0]"));
  const std::vector<Case> cases = {
      {"a vertex a scale sends past a float",
       "far.obj",
       {"-o", "out/far.smd", "--scale", "1e30"},
       {"-o", "out", "--scale", "1e30"},
       kExitUsage,
       "kestrelworks: far.obj: --scale 1e+30 sends vertex 0 of mesh"},
      {"no node",
       "empty.json",
       {"-o", "out/empty.smd"},
       {"-o", "out"},
       kExitSuccess,
       "warning: The scene holds no node to export: the SMD holds no nodes."},
      {"a pose that is not a number",
       "nan.json",
       {"-o", "out/nan.smd"},
       {"-o", "out"},
       kExitExportFailed,
       "kestrelworks: out/nan.smd: not written: it would hold numbers that are not finite"},
  };
  for (const Case& c : cases) Expect(c);
}

// The disk is a tmpfs of the runs' own.
TEST_F(AllAndSingle, SameStatusAndLinesOnAFullDisk) {
  if (!CanMountDisk(folder)) GTEST_SKIP() << "cannot mount a tmpfs (needs root)";
  WriteFile(folder / "strip.obj", StripObj(1000));
  RunOptions small;
  small.diskAt = folder / "out";
  small.diskBytes = 64 * 1024;
  Expect({"a disk smaller than the least size",
          "strip.obj",
          {"-o", "out/strip.smd"},
          {"-o", "out"},
          kExitExportFailed,
          "kestrelworks: out/strip.smd: the export needs at least 224 kB (1000 faces) and the "
          "file system has 66 kB free"},
         small);
  // Room enough by the estimate, but a file-size limit of 1 MB fills it as
  // a full disk would; going on to the end would take minutes.
  WriteLongRun(folder);
  RunOptions filling = small;
  filling.diskBytes = 1LL << 40;
  filling.fileSizeLimit = 1 << 20;
  filling.seconds = 20;
  Expect({"a disk that fills up early in a long sequence",
          "long.gltf",
          {"-o", "out/run.smd", "--sequence", "--fps", "4800"},
          {"-o", "out", "--fps", "4800"},
          kExitExportFailed,
          "kestrelworks: out/run.smd: cannot write: File too large"},
         filling);
}

}  // namespace
}  // namespace kw::test
