// Scene files the tool cannot read, and command lines it cannot run: one
// line on stderr naming the file and the cause, exit status 3 (scene) or 2
// (usage), and neither the earlier SMD nor the log file is touched.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cli/exit_codes.h"
#include "tests/cli/cli_runner.h"

namespace kw::test {
namespace {

class SceneFailures : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(folder / "out.smd", EarlierOutput());
    WriteFile(folder / "kestrelworks_log.txt", "earlier log\n");
  }

  // Exports path (relative to the scratch folder) and checks that the
  // refusal is one line naming the file and the cause, and that nothing was
  // written.
  void ExpectRefused(const std::string& path, const std::string& cause) {
    const RunResult run = RunCli(folder, {"export", path, "-o", "out.smd"});
    EXPECT_EQ(run.status, kExitSceneUnreadable) << Describe(run);
    EXPECT_FALSE(run.hung);
    EXPECT_TRUE(IsOneLine(run.err)) << Describe(run);
    EXPECT_EQ(run.err.rfind("kestrelworks: " + path + ":", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(cause), std::string::npos) << run.err;
    EXPECT_EQ(ReadFile(folder / "out.smd"), EarlierOutput());
    EXPECT_EQ(ReadFile(folder / "kestrelworks_log.txt"), "earlier log\n");
    std::vector<std::string> expected = {"kestrelworks_log.txt", "out.smd", path};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(ListFolder(folder.Path()), expected) << "only the scene, the SMD and the log";
  }

  ScratchFolder folder;
};

TEST_F(SceneFailures, MissingFile) {
  const RunResult run = RunCli(folder, {"export", "absent.json", "-o", "out.smd"});
  EXPECT_EQ(run.status, kExitSceneUnreadable);
  EXPECT_EQ(run.err,
            "kestrelworks: absent.json: cannot read the file: No such file or directory\n");
  EXPECT_EQ(ReadFile(folder / "out.smd"), EarlierOutput());

  const RunResult odd = RunCli(folder, {"export", "no\nsuch.json", "-o", "out.smd"});
  EXPECT_EQ(odd.status, kExitSceneUnreadable);
  EXPECT_EQ(odd.err,
            "kestrelworks: no\\u000asuch.json: cannot read the file: No such file or directory\n");
}

TEST_F(SceneFailures, DirectoryInsteadOfAFile) {
  ASSERT_EQ(::mkdir((folder / "dir.json").c_str(), 0755), 0);
  ExpectRefused("dir.json", "cannot read the file: Is a directory");
}

TEST_F(SceneFailures, EmptyFile) {
  WriteFile(folder / "empty.json", "");
  ExpectRefused("empty.json",
                "1:1: malformed JSON: syntax error while parsing value - unexpected end of input");
}

TEST_F(SceneFailures, BinaryFile) {
  std::string bytes;
  for (int i = 0; i < 512; ++i) bytes += static_cast<char>((i * 37 + 11) % 256);
  bytes[3] = '\0';
  WriteFile(folder / "binary.json", bytes);
  ExpectRefused("binary.json", "1:1: malformed JSON");
}

TEST_F(SceneFailures, TruncatedFile) {
  const std::string whole = SmallScene();
  // Cut inside the mesh's vertex list, on line 11, after "[1, ".
  WriteFile(folder / "cut.json", whole.substr(0, whole.find("[1, 0, 0]") + 4));
  ExpectRefused("cut.json",
                "cut.json:11:36: malformed JSON: syntax error while parsing value - "
                "unexpected end of input");
}

TEST_F(SceneFailures, HundredThousandLevelsOfNesting) {
  WriteFile(folder / "deep.json", "{\"version\": 1, \"nodes\": " + std::string(100000, '[') +
                                      std::string(100000, ']') + "}");
  ExpectRefused("deep.json", "deep.json:1:88: malformed scene: nested deeper than 64 levels");
}

TEST_F(SceneFailures, TicksPerFrameZero) {
  WriteFile(folder / "zero.json",
            Replaced(SmallScene(), "\"ticksPerFrame\": 160", "\"ticksPerFrame\": 0"));
  ExpectRefused("zero.json",
                "at /time/ticksPerFrame: expected an integer from 1 to 2147483647, found 0");
}

// JSON has no NaN or infinity; a number past single precision would become one.
TEST_F(SceneFailures, NotANumberOrInfiniteTransforms) {
  const std::string key = "\"euler\": [0, 0, 90]";
  WriteFile(folder / "nan.json", Replaced(SmallScene(), key, "\"euler\": [0, NaN, 90]"));
  ExpectRefused("nan.json", "malformed JSON: syntax error while parsing value - invalid literal");
  ::unlink((folder / "nan.json").c_str());

  WriteFile(folder / "huge.json", Replaced(SmallScene(), key, "\"euler\": [0, 1e39, 90]"));
  ExpectRefused("huge.json",
                "at /nodes/0/transform/rotation/1/euler/1: expected a finite number within "
                "single precision, found 1e+39");
  ::unlink((folder / "huge.json").c_str());

  WriteFile(folder / "inf.json", Replaced(SmallScene(), key, "\"euler\": [0, -Infinity, 90]"));
  ExpectRefused("inf.json", "malformed JSON");
}

// Control characters in what a refusal quotes (here a member name with line
// breaks, found by the scene-file fuzzer) are escaped: still one line.
TEST_F(SceneFailures, RefusalQuotingLineBreaksStaysOneLine) {
  WriteFile(folder / "breaks.json",
            "{\"version\": 1, \"ver\\nsion\\r\": 1, \"time\": {\"start\": 0, \"end\": 0, "
            "\"ticksPerFrame\": 1}}");
  ExpectRefused("breaks.json",
                "breaks.json: at /ver\\u000asion\\u000d: expected one of the members");
}

TEST_F(SceneFailures, UnknownModelFormat) {
  WriteFile(folder / "scene.xyz", "not a model\n");
  const RunResult run = RunCli(folder, {"export", "scene.xyz", "-o", "out.smd"});
  EXPECT_EQ(run.status, kExitSceneUnreadable) << Describe(run);
  EXPECT_TRUE(IsOneLine(run.err)) << Describe(run);
  EXPECT_EQ(run.err.rfind("kestrelworks: scene.xyz:", 0), 0u) << run.err;
  EXPECT_EQ(ReadFile(folder / "out.smd"), EarlierOutput());
}

// 118 bytes on which the model importer's SMD reader loops for ever (found
// by the model-file fuzzer). The deadline stops it with one line.
TEST_F(SceneFailures, ImporterThatNeverFinishesIsStoppedAtItsDeadline) {
  const char loop[] =
      "version 1\nnodes\000\000\000\000\000\000\000\000\n  0 \"root\" -1\nend\nskeleton\n"
      "time 0\n  0\nproperty floatd\ntri1.0\n  0 0 1 0 0 0 1 0 1 1 0 1.0\nend\n";
  // The name's escape sequence reaches the terminal escaped.
  WriteFile(folder / "lo\033[31mop.smd", std::string(loop, sizeof loop - 1));
  // A small file's own deadline is a few seconds, not a minute.
  for (const char* command : {"export", "info"}) {
    RunOptions options;
    options.seconds = 60;
    std::vector<std::string> arguments = {command, "lo\033[31mop.smd"};
    if (std::string(command) == "export") {
      arguments.insert(arguments.end(), {"-o", "out.smd", "--import-timeout", "2"});
    }
    const RunResult run = RunCli(folder, arguments, options);
    EXPECT_FALSE(run.hung) << command;
    EXPECT_EQ(run.status, kExitSceneUnreadable) << command << Describe(run);
    EXPECT_TRUE(IsOneLine(run.err)) << command << Describe(run);
    EXPECT_EQ(run.err,
              std::string("kestrelworks: lo\\u001b[31mop.smd: the importer did not finish in ") +
                  (std::string(command) == "export" ? "2" : "5") +
                  " seconds; the file may be damaged (--import-timeout sets the limit)\n");
  }
  EXPECT_EQ(ReadFile(folder / "out.smd"), EarlierOutput());
  EXPECT_EQ(ReadFile(folder / "kestrelworks_log.txt"), "earlier log\n");
}

// assimp's glTF reader recurses once per level: 20,000 levels once crashed
// the tool inside it. Such a tree is read and then refused, as in scene files.
TEST_F(SceneFailures, ModelNestedTwentyThousandLevelsDeepIsRefusedNotACrash) {
  constexpr int kLevels = 20000;
  std::string nodes;
  for (int i = 0; i + 1 < kLevels; ++i) {
    nodes += "{\"name\": \"n" + std::to_string(i) + "\", \"children\": [" + std::to_string(i + 1) +
             "]},";
  }
  nodes += "{\"name\": \"last\"}";
  WriteFile(folder / "deep.gltf", R"({"asset": {"version": "2.0"}, "scene": 0,
    "scenes": [{"nodes": [0]}], "nodes": [)" +
                                      nodes + "]}");
  const RunResult run = RunCli(folder, {"export", "deep.gltf", "-o", "out.smd"});
  EXPECT_EQ(run.signal, 0) << Describe(run);
  EXPECT_EQ(run.status, kExitSceneUnreadable) << Describe(run);
  EXPECT_TRUE(IsOneLine(run.err)) << Describe(run);
  EXPECT_EQ(run.err.rfind("kestrelworks: deep.gltf: ", 0), 0u) << run.err;
  EXPECT_EQ(ReadFile(folder / "out.smd"), EarlierOutput());
}

TEST_F(SceneFailures, UsageErrorsExitWithTwoAndWriteNothing) {
  WriteFile(folder / "scene.json", SmallScene());
  const std::vector<std::vector<std::string>> commands = {
      {},
      {"export"},
      {"export", "scene.json"},
      {"export", "scene.json", "-o", "out.smd", "--range", "1"},
      {"export", "scene.json", "-o", "out.smd", "--range", "a", "b"},
      {"export", "scene.json", "-o", "out.smd", "--no-such-flag"},
      {"convert", "scene.json"},
  };
  for (const std::vector<std::string>& command : commands) {
    const RunResult run = RunCli(folder, command);
    std::string line;
    for (const std::string& argument : command) line += argument + " ";
    EXPECT_EQ(run.status, kExitUsage) << line << Describe(run);
    EXPECT_TRUE(IsOneLine(run.err)) << line << Describe(run);
    EXPECT_EQ(run.err.rfind("kestrelworks: ", 0), 0u) << line << run.err;
  }
  EXPECT_EQ(ReadFile(folder / "out.smd"), EarlierOutput());
  EXPECT_EQ(ReadFile(folder / "kestrelworks_log.txt"), "earlier log\n");
}

TEST_F(SceneFailures, HelpNamesEveryExitStatus) {
  const RunResult run = RunCli(folder, {"--help"});
  EXPECT_EQ(run.status, kExitSuccess);
  for (const char* meaning : {"0 success", "1 the SMD could not be written", "2 usage error",
                              "3 the scene could not be read", "4 warnings under --strict"}) {
    EXPECT_NE(run.out.find(meaning), std::string::npos) << meaning << "\n" << run.out;
  }
}

}  // namespace
}  // namespace kw::test
