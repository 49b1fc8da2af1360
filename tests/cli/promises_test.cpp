// The command line's promises against a hostile or unlucky user, one test
// per promise, each a table of ways to break it: nothing lost (the earlier
// SMD and the scene stay byte for byte), nothing left behind (no temporary
// or log file), a prompt end (no run goes on or hangs), and one clear line
// with the right exit status.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <string>
#include <vector>

#include "cli/exit_codes.h"
#include "tests/cli/cli_runner.h"

namespace kw::test {
namespace {

// A scene whose range is 2^32 frames: about half a terabyte of sequence.
std::string EndlessScene() {
  std::string scene = Replaced(SmallScene(), "\"start\": 0", "\"start\": -2147483648");
  scene = Replaced(scene, "\"end\": 2560", "\"end\": 2147483647");
  return Replaced(scene, "\"ticksPerFrame\": 160", "\"ticksPerFrame\": 1");
}

// A triangle in glTF whose buffer is a file beside it, named by uri.
std::string TriangleGltf(const std::string& uri) {
  return R"({"asset": {"version": "2.0"}, "scene": 0, "scenes": [{"nodes": [0]}],
    "nodes": [{"mesh": 0, "name": "m"}], "meshes": [{"primitives": [{"attributes": {"POSITION": 0}}]}],
    "buffers": [{"uri": ")" +
         uri + R"(", "byteLength": 36}],
    "bufferViews": [{"buffer": 0, "byteLength": 36}],
    "accessors": [{"bufferView": 0, "componentType": 5126, "count": 3, "type": "VEC3",
                   "min": [0, 0, 0], "max": [1, 1, 0]}]})";
}

std::string TriangleBuffer() {
  const float corners[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
  return std::string(reinterpret_cast<const char*>(corners), sizeof corners);
}

const char kDamagedModel[] = "/usr/share/assimp/models/X/test_cube_binary.x";

struct Attempt {
  const char* what;
  std::function<void(const ScratchFolder&)> prepare;
  std::vector<std::string> arguments;
  int status;
  std::string firstLine;  // how the last line of stderr starts
};

class Promises : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(folder / "scene.json", SmallScene());
    WriteFile(folder / "out.smd", EarlierOutput());
  }

  // Runs the attempt and checks its status and its last line; the rest is
  // the caller's.
  RunResult Try(const Attempt& attempt, const RunOptions& options = RunOptions()) {
    if (attempt.prepare) attempt.prepare(folder);
    const RunResult run = RunCli(folder, attempt.arguments, options);
    EXPECT_FALSE(run.hung) << attempt.what;
    EXPECT_EQ(run.status, attempt.status) << attempt.what << ": " << Describe(run);
    const std::size_t last = run.err.rfind('\n', run.err.size() - 2);
    const std::string line = run.err.substr(last == std::string::npos ? 0 : last + 1);
    EXPECT_EQ(line.rfind(attempt.firstLine, 0), 0u) << attempt.what << ": " << run.err;
    return run;
  }

  void ExpectOnly(const std::vector<std::string>& names, const char* what) {
    for (const std::string& name : ListFolder(folder.Path())) {
      if (name.rfind(".cli_", 0) == 0) continue;
      EXPECT_NE(std::find(names.begin(), names.end(), name), names.end())
          << what << ": left behind: " << name;
    }
  }

  ScratchFolder folder;
};

TEST_F(Promises, NothingLost) {
  const std::vector<Attempt> attempts = {
      {"the output is the scene",
       nullptr,
       {"export", "scene.json", "-o", "./scene.json"},
       kExitUsage,
       "kestrelworks: ./scene.json: that is the scene being exported"},
      {"the output is a hard link to the scene",
       [](const ScratchFolder& f) { ::link((f / "scene.json").c_str(), (f / "same.smd").c_str()); },
       {"export", "scene.json", "-o", "same.smd"},
       kExitUsage,
       "kestrelworks: same.smd: that is the scene being exported"},
      {"a pose that is not a number",
       [](const ScratchFolder& f) {
         WriteFile(f / "scene.json",
                   Replaced(SmallScene(), "\"euler\": [0, 0, 0]", "\"quat\": [1e-45, 0, 0, 0]"));
       },
       {"export", "scene.json", "-o", "out.smd"},
       kExitExportFailed,
       "kestrelworks: out.smd: not written: it would hold numbers that are not finite"},
      {"nothing selected, under --strict",
       nullptr,
       {"export", "scene.json", "-o", "out.smd", "--selected-only", "--strict"},
       kExitStrictWarnings,
       "kestrelworks: out.smd: not written: 1 warning and --strict"},
      {"a model that crashes the importer",
       [](const ScratchFolder& f) {
         std::string model = ReadFile(kDamagedModel);
         if (model.size() > 2636) model[2636] = static_cast<char>(0xBD);
         WriteFile(f / "damaged.x", model);
       },
       {"export", "damaged.x", "-o", "out.smd"},
       kExitSceneUnreadable,
       "kestrelworks: damaged.x: the importer crashed (signal "},
  };
  for (const Attempt& attempt : attempts) {
    if (std::string(attempt.what).find("crashes") != std::string::npos && !Exists(kDamagedModel)) {
      continue;  // assimp-testmodels is not installed
    }
    Try(attempt);
    EXPECT_EQ(ReadFile(folder / "out.smd"), EarlierOutput()) << attempt.what;
    EXPECT_EQ(ReadFile(folder / "scene.json").rfind("{", 0), 0u) << attempt.what;
    ExpectOnly({"scene.json", "out.smd", "same.smd", "damaged.x"}, attempt.what);
  }
}

TEST_F(Promises, NothingLeftBehind) {
  RunOptions interrupted;
  interrupted.signalAfterMs = 500;
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    interrupted.signal = signal;
    const Attempt attempt{
        "a long sequence stopped by a signal",
        nullptr,
        {"export", "scene.json", "-o", "out.smd", "--sequence", "--range", "0", "30000000"},
        128 + signal,
        "kestrelworks: stopped by signal " + std::to_string(signal)};
    Try(attempt, interrupted);
    EXPECT_EQ(ReadFile(folder / "out.smd"), EarlierOutput()) << signal;
    ExpectOnly({"scene.json", "out.smd"}, "a signal");
  }

  // No log unless asked for; a log name planted as a link is not followed.
  const RunResult plain =
      Try({"no --log", nullptr, {"export", "scene.json", "-o", "out.smd"}, 0, ""});
  EXPECT_EQ(plain.err, "");
  ExpectOnly({"scene.json", "out.smd"}, "no --log");
  WriteFile(folder / "victim", "precious\n");
  ASSERT_EQ(::symlink("victim", (folder / "kestrelworks_log.txt").c_str()), 0);
  Try({"--log through a link",
       nullptr,
       {"export", "scene.json", "-o", "out.smd", "--log"},
       0,
       "warning: kestrelworks_log.txt: cannot write the log: it is a symbolic link"});
  EXPECT_EQ(ReadFile(folder / "victim"), "precious\n");
  Try({"--log PATH",
       nullptr,
       {"export", "scene.json", "-o", "out.smd", "--log", "run.log"},
       0,
       ""});
  EXPECT_EQ(ReadFile(folder / "run.log").rfind("Kestrelworks Log File\n", 0), 0u);
}

TEST_F(Promises, PromptEnd) {
  RunOptions bounded;
  bounded.seconds = 20;
  const auto fifo = [](const char* name) {
    return [name](const ScratchFolder& f) { ::mkfifo((f / name).c_str(), 0644); };
  };
  const std::vector<Attempt> attempts = {
      {"a sequence larger than the disk",
       [](const ScratchFolder& f) { WriteFile(f / "scene.json", EndlessScene()); },
       {"export", "scene.json", "-o", "out.smd", "--sequence"},
       kExitExportFailed,
       "kestrelworks: out.smd: the export needs at least "},
      {"a device as output",
       nullptr,
       {"export", "scene.json", "-o", "/dev/full", "--sequence"},
       kExitExportFailed,
       "kestrelworks: /dev/full: it is a character device, not a regular file"},
      {"a FIFO as scene",
       fifo("fifo.json"),
       {"export", "fifo.json", "-o", "out.smd"},
       kExitSceneUnreadable,
       "kestrelworks: fifo.json: it is a FIFO, not a regular file"},
      {"a FIFO as scene of info",
       nullptr,
       {"info", "fifo.json"},
       kExitSceneUnreadable,
       "kestrelworks: fifo.json: it is a FIFO"},
      {"a FIFO as output",
       fifo("fifo.smd"),
       {"export", "scene.json", "-o", "fifo.smd"},
       kExitExportFailed,
       "kestrelworks: fifo.smd: it is a FIFO, not a regular file"},
      {"a FIFO as log",
       fifo("fifo.log"),
       {"export", "scene.json", "-o", "out.smd", "--log", "fifo.log"},
       kExitSuccess,
       "warning: fifo.log: cannot write the log: "},
  };
  for (const Attempt& attempt : attempts) Try(attempt, bounded);

  // A disk that fills up during a long sequence ends the run at once.
  WriteFile(folder / "out.smd", EarlierOutput());
  RunOptions full = bounded;
  full.fileSizeLimit = 1 << 20;
  Try({"the disk fills up",
       nullptr,
       {"export", "scene.json", "-o", "out.smd", "--sequence", "--range", "0", "100000000"},
       kExitExportFailed,
       "kestrelworks: out.smd: cannot write: File too large"},
      full);
  EXPECT_TRUE(ReadFile(folder / "out.smd") == EarlierOutput()) << "the earlier SMD was lost";
}

TEST_F(Promises, OneClearLine) {
  WriteFile(folder / "triangle.bin", TriangleBuffer());
  ASSERT_EQ(::mkdir((folder / "model").c_str(), 0755), 0);
  WriteFile(folder / "model/outside.gltf", TriangleGltf("../triangle.bin"));
  WriteFile(folder / "scene.txt", SmallScene());
  ASSERT_EQ(::symlink("/dev/urandom", (folder / "random.json").c_str()), 0);
  ASSERT_EQ(::symlink("loop.smd", (folder / "loop.smd").c_str()), 0);
  const std::vector<Attempt> attempts = {
      {"--fps nan",
       nullptr,
       {"export", "scene.json", "-o", "out.smd", "--fps", "nan"},
       kExitUsage,
       "kestrelworks: --fps: nan is not a number of frames per second from 1 to 4800"},
      {"--scale 1e31",
       nullptr,
       {"export", "scene.json", "-o", "out.smd", "--scale", "1e31"},
       kExitUsage,
       "kestrelworks: --scale: 1e31 is not a scale from 1e-30 to 1e30"},
      {"--import-timeout nan",
       nullptr,
       {"export", "scene.json", "-o", "out.smd", "--import-timeout", "nan"},
       kExitUsage,
       "kestrelworks: --import-timeout: nan is not a number of seconds"},
      {"an empty scene name",
       nullptr,
       {"export", "", "-o", "out.smd"},
       kExitUsage,
       "kestrelworks: the scene's file name is empty"},
      {"a device as scene",
       nullptr,
       {"export", "random.json", "-o", "out.smd"},
       kExitSceneUnreadable,
       "kestrelworks: random.json: it is a character device"},
      {"a scene file named .txt",
       nullptr,
       {"export", "scene.txt", "-o", "out.smd"},
       kExitSceneUnreadable,
       "kestrelworks: scene.txt: "},
      {"a buffer outside the model's folder",
       nullptr,
       {"export", "model/outside.gltf", "-o", "out.smd"},
       kExitSceneUnreadable,
       "kestrelworks: model/outside.gltf: refers to \"model/../triangle.bin\", which is not read: "
       "it lies outside the model's folder (--allow-outside-paths"},
      {"a looping link as output",
       nullptr,
       {"export", "scene.json", "-o", "loop.smd"},
       kExitExportFailed,
       "kestrelworks: loop.smd: the symbolic link loops"},
  };
  for (const Attempt& attempt : attempts) {
    const RunResult run = Try(attempt);
    EXPECT_TRUE(IsOneLine(run.err)) << attempt.what << ": " << run.err;
  }
  // Allowed, the same model exports; the .txt scene is told how to be read.
  Try({"--allow-outside-paths",
       nullptr,
       {"export", "model/outside.gltf", "-o", "out.smd", "--allow-outside-paths"},
       kExitSuccess,
       "warning: model/outside.gltf: mesh"});
  EXPECT_NE(RunCli(folder, {"export", "scene.txt", "-o", "out.smd"}).err.find("name it .json"),
            std::string::npos);
}

// A link to a missing file makes that file and stays a link; a name as long
// as a folder takes still has room for its temporary file beside it.
TEST_F(Promises, LinksAndLongNamesAreWritten) {
  ASSERT_EQ(::symlink("made.smd", (folder / "link.smd").c_str()), 0);
  Try({"a dangling link", nullptr, {"export", "scene.json", "-o", "link.smd"}, 0, ""});
  struct stat st {};
  ASSERT_EQ(::lstat((folder / "link.smd").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(ReadFile(folder / "made.smd").rfind("version 1\n", 0), 0u);

  const std::string longName = std::string(251, 'n') + ".smd";
  Try({"a 255-byte name", nullptr, {"export", "scene.json", "-o", longName}, 0, ""});
  EXPECT_EQ(ReadFile(folder / longName).rfind("version 1\n", 0), 0u);
}

}  // namespace
}  // namespace kw::test
