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
#include <sstream>
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
const char kSkinnedModel[] = "/usr/share/assimp/models/X/Testwuson.X";

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif

// A triangle moved by one animation per name, each two frames long at 4800
// frames a second; the last lasts 30000 seconds when longLast is set.
void WriteAnimatedGltf(const ScratchFolder& f, const std::string& file,
                       const std::vector<std::string>& names, bool longLast = false) {
  const float data[19] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 1.0f / 4800, 0, 0, 0, 0, 0, 1, 0, 30000};
  WriteFile(f / "anim.bin", std::string(reinterpret_cast<const char*>(data), sizeof data));
  std::string animations;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const bool last = longLast && i + 1 == names.size();
    animations += std::string(i ? "," : "") + "{\"name\": \"" + names[i] +
                  "\", \"samplers\": [{\"input\": " + (last ? "3" : "1") +
                  ", \"output\": 2}], \"channels\": [{\"sampler\": 0, \"target\": "
                  "{\"node\": 0, \"path\": \"translation\"}}]}";
  }
  WriteFile(f / file, R"({"asset": {"version": "2.0"}, "scene": 0, "scenes": [{"nodes": [0]}],
    "nodes": [{"mesh": 0, "name": "m"}], "meshes": [{"primitives": [{"attributes": {"POSITION": 0}}]}],
    "animations": [)" + animations +
                          R"(],
    "buffers": [{"uri": "anim.bin", "byteLength": 76}],
    "bufferViews": [{"buffer": 0, "byteLength": 36}, {"buffer": 0, "byteOffset": 36, "byteLength": 8},
                    {"buffer": 0, "byteOffset": 44, "byteLength": 24},
                    {"buffer": 0, "byteOffset": 68, "byteLength": 8}],
    "accessors": [
      {"bufferView": 0, "componentType": 5126, "count": 3, "type": "VEC3", "min": [0, 0, 0], "max": [1, 1, 0]},
      {"bufferView": 1, "componentType": 5126, "count": 2, "type": "SCALAR", "min": [0], "max": [0.00020833333]},
      {"bufferView": 2, "componentType": 5126, "count": 2, "type": "VEC3"},
      {"bufferView": 3, "componentType": 5126, "count": 2, "type": "SCALAR", "min": [0], "max": [30000]}]})");
}

// A tmpfs of bytes on path, seen by this test process and the tool it runs.
bool MountHere(const std::string& path, long bytes) {
  static const bool own = ::geteuid() == 0 && ::unshare(CLONE_NEWNS) == 0 &&
                          ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
  const std::string size = "size=" + std::to_string(bytes);
  return own && ::mount("tmpfs", path.c_str(), "tmpfs", 0, size.c_str()) == 0;
}

int CountTemporaries(const std::string& folder) {
  int count = 0;
  for (const std::string& name : ListFolder(folder))
    count += name.find(".tmp.") != std::string::npos;
  return count;
}

// The warnings of a run as stderr shows them, each with its further lines.
std::vector<std::string> WarningsOnStderr(const std::string& err) {
  std::vector<std::string> warnings;
  bool inWarning = false;
  std::istringstream lines(err);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("warning: ", 0) == 0) {
      warnings.push_back(line.substr(9));
      inWarning = true;
    } else if (line.rfind("note: ", 0) == 0) {
      // The log holds a note as stderr says it.
      warnings.push_back(line);
      inWarning = true;
    } else if (inWarning && line.rfind("warnings of kind ", 0) != 0 &&
               line.rfind("kestrelworks: ", 0) != 0) {
      warnings.back() += "\n" + line;
    } else {
      inWarning = false;
    }
  }
  return warnings;
}

// The warnings a log holds: its entries "HH:MM:SS - text", blank-line apart.
std::vector<std::string> LoggedWarnings(const std::string& log) {
  std::vector<std::string> warnings;
  for (std::size_t at = 0; at < log.size();) {
    std::size_t end = log.find("\n\n", at);
    if (end == std::string::npos) end = log.size();
    const std::string entry = log.substr(at, end - at);
    if (entry.size() > 11 && entry.compare(8, 3, " - ") == 0) warnings.push_back(entry.substr(11));
    at = end + 2;
  }
  return warnings;
}

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
  ASSERT_EQ(::symlink("missing", (folder / "dl").c_str()), 0);
  WriteFile(folder / "huge.obj", "v 3e38 0 0\nv 0 1 0\nv 0 0 1\nf 1 2 3\n");
  WriteFile(folder / "bomb.ply",
            "ply\nformat ascii 1.0\nelement vertex 2000000000\nproperty float x\nproperty float "
            "y\nproperty float z\nelement face 1\nproperty list uchar int "
            "vertex_indices\nend_header\n0 0 0\n");
  WriteFile(folder / "bomb.off", "OFF\n2000000000 1 0\n0 0 0\n");
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
      {"--all -o -",
       nullptr,
       {"export", "scene.json", "--all", "-o", "-"},
       kExitUsage,
       "kestrelworks: --all writes several files into the folder -o names; -o - (stdout) takes "
       "one SMD"},
      {"--all -o a link to a missing folder",
       nullptr,
       {"export", "scene.json", "--all", "-o", "dl"},
       kExitExportFailed,
       "kestrelworks: dl: a symbolic link to ./missing, which does not exist"},
      {"a model's own vertex too far out, without --scale",
       nullptr,
       {"export", "huge.obj", "-o", "out.smd"},
       kExitSceneUnreadable,
       "kestrelworks: huge.obj: vertex 0 of mesh \"defaultobject\" lies too far out to be "
       "exported"},
      {"a PLY that claims two billion vertices",
       nullptr,
       {"export", "bomb.ply", "-o", "out.smd"},
       kExitSceneUnreadable,
       "kestrelworks: bomb.ply: it claims more data than memory can hold"},
      {"an OFF that claims two billion vertices",
       nullptr,
       {"export", "bomb.off", "-o", "out.smd"},
       kExitSceneUnreadable,
       "kestrelworks: bomb.off: it claims more data than memory can hold"},
  };
  for (const Attempt& attempt : attempts) {
    // The sanitizer ends a two-billion allocation before the importer sees it fail.
    if (kAddressSanitizer && std::string(attempt.what).find("billion") != std::string::npos) {
      continue;
    }
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
  // A folder that exists but cannot be searched is not said to be missing.
  if (CanRunAsNobody(folder)) {
    ASSERT_EQ(::mkdir((folder / "locked").c_str(), 0700), 0);
    ASSERT_EQ(::mkdir((folder / "locked/in").c_str(), 0755), 0);
    RunOptions nobody;
    nobody.asNobody = true;
    Try({"a folder that cannot be searched",
         nullptr,
         {"export", "scene.json", "-o", "locked/in/out.smd"},
         kExitExportFailed,
         "kestrelworks: locked/in/out.smd: cannot reach the folder locked/in: Permission denied"},
        nobody);
  }
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

// The log goes only where a log may: never over a file the run reads, the
// SMD it writes, or a file that is not a log of ours. The export goes on.
TEST_F(Promises, NothingLostToTheLog) {
  WriteFile(folder / "notes.txt", "my notes\n");
  ASSERT_EQ(::link((folder / "scene.json").c_str(), (folder / "same.log").c_str()), 0);
  const std::vector<Attempt> attempts = {
      {"--log naming the scene",
       nullptr,
       {"export", "scene.json", "-o", "new.smd", "--log", "scene.json"},
       kExitSuccess,
       "warning: scene.json: cannot write the log: that is the scene being exported (scene.json)"},
      {"--log naming a hard link to the scene",
       nullptr,
       {"export", "scene.json", "-o", "new.smd", "--log", "same.log"},
       kExitSuccess,
       "warning: same.log: cannot write the log: that is the scene being exported"},
      {"--log naming the output of a run that fails",
       nullptr,
       {"export", "scene.json", "-o", "out.smd", "--log", "out.smd", "--selected-only", "--strict"},
       kExitStrictWarnings,
       "kestrelworks: out.smd: not written: 2 warnings and --strict"},
      {"--log naming a file that is not a log",
       nullptr,
       {"export", "scene.json", "-o", "new.smd", "--log", "notes.txt"},
       kExitSuccess,
       "warning: notes.txt: cannot write the log: it is not a log kestrelworks wrote"},
  };
  for (const Attempt& attempt : attempts) {
    Try(attempt);
    EXPECT_EQ(ReadFile(folder / "scene.json"), SmallScene()) << attempt.what;
    EXPECT_EQ(ReadFile(folder / "out.smd"), EarlierOutput()) << attempt.what;
    EXPECT_EQ(ReadFile(folder / "notes.txt"), "my notes\n") << attempt.what;
  }
  // A log of ours is begun again.
  for (int run = 0; run < 2; ++run) {
    EXPECT_EQ(Try({"--log",
                   nullptr,
                   {"export", "scene.json", "-o", "new.smd", "--log", "run.log"},
                   0,
                   ""})
                  .err,
              "");
  }
}

// OUT.png replaces only a picture of ours, or anything with --overwrite; it
// is never a file the run reads.
TEST_F(Promises, NothingLostToAPicture) {
  ASSERT_EQ(::symlink("scene.json", (folder / "shot.png").c_str()), 0);
  Try({"OUT.png a link to the scene",
       nullptr,
       {"export", "scene.json", "-o", "shot.smd", "--preview", "--overwrite"},
       kExitSuccess,
       "warning: shot.png: not drawn: that is the scene being exported (scene.json)"});
  EXPECT_EQ(ReadFile(folder / "scene.json"), SmallScene());

  WriteFile(folder / "out.png", "my picture\n");
  Try({"OUT.png another's file",
       nullptr,
       {"export", "scene.json", "-o", "out.smd", "--preview"},
       kExitSuccess,
       "warning: out.png: not drawn: a file kestrelworks did not draw is there; --overwrite "
       "replaces it"});
  EXPECT_EQ(ReadFile(folder / "out.png"), "my picture\n");
  // Replaced when asked to, and from then on a picture of ours.
  for (const bool overwrite : {true, false}) {
    std::vector<std::string> arguments = {"export", "scene.json", "-o", "out.smd", "--preview"};
    if (overwrite) arguments.push_back("--overwrite");
    const RunResult run = Try({"OUT.png replaced", nullptr, arguments, kExitSuccess, ""});
    EXPECT_EQ(run.err, "") << overwrite;
    EXPECT_EQ(ReadFile(folder / "out.png").rfind("\x89PNG", 0), 0u) << overwrite;
  }

  // A model's own texture, where --all draws into the model's folder.
  WriteFile(folder / "m.obj", "mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl skin\nf 1 2 3\n");
  WriteFile(folder / "m.mtl", "newmtl skin\nmap_Kd m.png\n");
  WriteFile(folder / "m.png", "texture\n");
  Try({"a texture of the model",
       nullptr,
       {"export", "m.obj", "--all", "-o", ".", "--preview", "--overwrite"},
       kExitSuccess,
       "warning: ./m.png: not drawn: that is a texture the scene names (m.png)"});
  EXPECT_EQ(ReadFile(folder / "m.png"), "texture\n");
  EXPECT_EQ(ReadFile(folder / "m.smd").rfind("version 1\n", 0), 0u);
}

// --all replaces no file it reads and writes through no link it did not make.
TEST_F(Promises, NothingLostInTheFolderOfAll) {
  ASSERT_EQ(::mkdir((folder / "d").c_str(), 0755), 0);
  WriteFile(folder / "d/m.smd", EarlierOutput());
  Try({"the model an SMD in the folder",
       nullptr,
       {"export", "d/m.smd", "--all", "-o", "d"},
       kExitUsage,
       "kestrelworks: d/m.smd: that is the scene being exported (d/m.smd); name another folder"});
  EXPECT_EQ(ReadFile(folder / "d/m.smd"), EarlierOutput());
  EXPECT_EQ(ListFolder(folder / "d"), std::vector<std::string>{"m.smd"});

  WriteAnimatedGltf(folder, "walker.gltf", {"run", "walk"});
  ASSERT_EQ(::mkdir((folder / "e").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((folder / "elsewhere").c_str(), 0755), 0);
  WriteFile(folder / "elsewhere/victim", "precious\n");
  ASSERT_EQ(::symlink("../elsewhere/missing.smd", (folder / "e/run.smd").c_str()), 0);
  ASSERT_EQ(::symlink("../elsewhere/victim", (folder / "e/walk.smd").c_str()), 0);
  Try({"links under the names of the outputs",
       nullptr,
       {"export", "walker.gltf", "--all", "-o", "e"},
       kExitExportFailed,
       "kestrelworks: e/run.smd: a symbolic link is there (to e/../elsewhere/missing.smd); export "
       "--all writes no file through a link it did not make"});
  EXPECT_EQ(ListFolder(folder / "elsewhere"), std::vector<std::string>{"victim"});
  EXPECT_EQ(ReadFile(folder / "elsewhere/victim"), "precious\n");
  EXPECT_EQ(ListFolder(folder / "e"), (std::vector<std::string>{"run.smd", "walk.smd"}));
}

// The QC of --all is replaced while it is as the tool wrote it; an edited
// one is kept and the new one goes beside it. Names in its comments stay
// in them.
TEST_F(Promises, QcEditsAreKept) {
  WriteAnimatedGltf(folder, "walker.gltf", {"run"});
  const std::vector<std::string> all = {"export", "walker.gltf", "--all", "-o", "d", "--fps"};
  auto run = [&](const char* fps, const std::string& lastLine, std::vector<std::string> more = {}) {
    std::vector<std::string> arguments = all;
    arguments.push_back(fps);
    arguments.insert(arguments.end(), more.begin(), more.end());
    Try({fps, nullptr, arguments, kExitSuccess, lastLine});
  };
  const std::string qc = folder / "d/walker.qc", qcNew = qc + ".new";
  run("24", "warning: walker.gltf: mesh");
  run("25", "warning: walker.gltf: mesh");
  EXPECT_EQ(ReadFile(qc).rfind("// kestrelworks fingerprint ", 0), 0u);
  EXPECT_NE(ReadFile(qc).find("fps 25\n"), std::string::npos) << "an unchanged QC is replaced";
  EXPECT_FALSE(Exists(qcNew));

  const std::string edited = ReadFile(qc) + "$scale 2\n";
  WriteFile(qc, edited);
  for (const char* fps : {"26", "27"}) {
    run(fps,
        "kestrelworks: d/walker.qc: it was edited since kestrelworks wrote it; it is kept, and the "
        "new QC is d/walker.qc.new");
    EXPECT_EQ(ReadFile(qc), edited);
    EXPECT_NE(ReadFile(qcNew).find(std::string("fps ") + fps + "\n"), std::string::npos);
  }
  run("28", "warning: walker.gltf: mesh", {"--overwrite"});
  EXPECT_NE(ReadFile(qc).find("fps 28\n"), std::string::npos);

  // A model's name that holds line breaks stays in its comment.
  WriteAnimatedGltf(folder, "m\n$include \"evil.qc\"\n.gltf", {"run"});
  Try({"line breaks in the model's name",
       nullptr,
       {"export", "m\n$include \"evil.qc\"\n.gltf", "--all", "-o", "q"},
       kExitSuccess,
       "warning: m\\u000a$include"});
  const std::string text = ReadFile(folder / "q/m__include__evil_qc__.qc");
  EXPECT_NE(text.find("from m\\u000a$include \"evil.qc\"\\u000a.gltf.\n"), std::string::npos);
  EXPECT_EQ(text.find("\n$include"), std::string::npos);
}

// --all puts nothing in place until every file, the QC too, is whole; a
// name the folder cannot take is shortened before anything is written.
TEST_F(Promises, AllReplacesEverythingOrNothing) {
  WriteAnimatedGltf(folder, "walker.gltf", {"run", std::string(252, 'L')});
  ASSERT_EQ(::mkdir((folder / "d").c_str(), 0755), 0);
  WriteFile(folder / "d/run.smd", EarlierOutput());
  Try({"an animation's name too long for a file",
       nullptr,
       {"export", "walker.gltf", "--all", "-o", "d"},
       kExitSuccess,
       "warning: animation \"" + std::string(252, 'L') + "\" is written as " +
           std::string(251, 'L') + ".smd: the name is too long for a file"});
  EXPECT_EQ(ReadFile(folder / ("d/" + std::string(251, 'L') + ".smd")).rfind("version 1\n", 0), 0u);
  EXPECT_NE(ReadFile(folder / "d/run.smd"), EarlierOutput());

  // A disk of three pages: the old run.smd and the two new SMDs fill it, and
  // the QC cannot be written.
  if (!MountHere(folder / "d", 3 * 4096)) GTEST_SKIP() << "cannot mount a tmpfs (needs root)";
  WriteFile(folder / "d/run.smd", "earlier\n");
  WriteAnimatedGltf(folder, "walker.gltf", {"run"});
  Try({"a full disk at the QC",
       nullptr,
       {"export", "walker.gltf", "--all", "-o", "d", "--collision", "none"},
       kExitExportFailed,
       "kestrelworks: d/walker.qc: cannot write: No space left on device"});
  EXPECT_EQ(ListFolder(folder / "d"), std::vector<std::string>{"run.smd"});
  EXPECT_EQ(ReadFile(folder / "d/run.smd"), "earlier\n");
  ::umount2((folder / "d").c_str(), MNT_DETACH);
}

// Signal cleanup tracks every temporary file, however many.
TEST_F(Promises, NothingLeftBehindByThreeHundredAnimations) {
  std::vector<std::string> names;
  for (int i = 0; i < 300; ++i) names.push_back("a" + std::to_string(i));
  WriteAnimatedGltf(folder, "many.gltf", names, true);
  RunOptions interrupted;
  interrupted.signal = SIGINT;
  // The reference and 300 sequences, the last one still being written.
  interrupted.signalWhen = [this] { return CountTemporaries(folder / "d") >= 301; };
  Try({"300 animations stopped by SIGINT",
       nullptr,
       {"export", "many.gltf", "--all", "-o", "d", "--fps", "4800"},
       128 + SIGINT,
       "kestrelworks: stopped by signal 2; no file was replaced"},
      interrupted);
  EXPECT_EQ(ListFolder(folder / "d"), std::vector<std::string>{});
}

// A report or an SMD on stdout that did not get there is not a success.
TEST_F(Promises, WhatCannotReachStdoutIsSaid) {
  RunOptions full;
  full.stdoutPath = "/dev/full";
  Try({"info into a full device",
       nullptr,
       {"info", "scene.json"},
       kExitExportFailed,
       "kestrelworks: stdout: cannot write the report: No space left on device"},
      full);
  RunOptions closed;
  closed.stdoutToClosedPipe = true;
  Try({"info into a closed pipe",
       nullptr,
       {"info", "scene.json"},
       kExitExportFailed,
       "kestrelworks: stdout: cannot write the report: Broken pipe"},
      closed);
  Try({"-o - into a full device",
       nullptr,
       {"export", "scene.json", "-o", "-"},
       kExitExportFailed,
       "kestrelworks: stdout: cannot write: No space left on device; the SMD written there is not "
       "to be used"},
      full);
  RunOptions interrupted;
  interrupted.stdoutPath = "/dev/null";
  interrupted.signal = SIGINT;
  interrupted.signalAfterMs = 500;
  Try({"-o - stopped by SIGINT",
       nullptr,
       {"export", "scene.json", "-o", "-", "--sequence", "--range", "0", "30000000"},
       128 + SIGINT,
       "kestrelworks: stopped by signal 2; the SMD written to stdout is not to be used"},
      interrupted);
}

// The log holds the warnings stderr shows, in the same order and words:
// the importer's, the export's, the compiler's limits and --max-links'.
TEST_F(Promises, TheLogHoldsEveryWarning) {
  WriteFile(folder / "bare.json",
            R"({"version": 1, "time": {"start": 0, "end": 0, "ticksPerFrame": 160},
                "nodes": [{"id": 1, "name": "tab\tbare", "type": 2, "mesh": {}}]})");
  WriteAnimatedGltf(folder, "walker.gltf", {"run", "walk"});
  std::vector<std::vector<std::string>> runs = {
      {"export", "bare.json", "-o", "out.smd"},
      {"export", "walker.gltf", "--all", "-o", "d"},
  };
  if (Exists(kSkinnedModel)) {
    runs.push_back({"export", kSkinnedModel, "-o", "out.smd"});
    runs.push_back({"export", kSkinnedModel, "-o", "out.smd", "--max-links", "2"});
  }
  for (std::vector<std::string> arguments : runs) {
    arguments.insert(arguments.end(), {"--log", "run.log"});
    const RunResult run = RunCli(folder, arguments);
    EXPECT_EQ(run.status, kExitSuccess) << Describe(run);
    const std::vector<std::string> shown = WarningsOnStderr(run.err);
    EXPECT_FALSE(shown.empty()) << arguments[1];
    EXPECT_EQ(LoggedWarnings(ReadFile(folder / "run.log")), shown) << arguments[1];
  }
}

// --all names no file as Windows names a device: the folder must copy there.
TEST_F(Promises, AllNamesFilesEverySystemTakes) {
  WriteAnimatedGltf(folder, "con.gltf", {"NUL", "com1", "lPt9", "run"});
  Try({"names of devices",
       nullptr,
       {"export", "con.gltf", "--all", "-o", "d"},
       kExitSuccess,
       "warnings of kind file-name-changed: 4"});
  EXPECT_EQ(ListFolder(folder / "d"),
            (std::vector<std::string>{"NUL_.smd", "com1_.smd", "con_.qc", "con_.smd",
                                      "con__phys.smd", "lPt9_.smd", "run.smd"}));
}

// Two runs that make one new folder at the same moment both write into it.
// strace holds one run's mkdir back while the other makes the folder.
TEST_F(Promises, RunsThatMakeOneFolderAtOnceBothSucceed) {
  if (::system("strace -o /dev/null true >/dev/null 2>&1") != 0) GTEST_SKIP() << "no strace";
  WriteAnimatedGltf(folder, "walker.gltf", {"run"});
  RunOptions held;
  held.wrapper = {"strace", "-f",          "-o", "/dev/null",
                  "-e",     "trace=mkdir", "-e", "inject=mkdir:delay_enter=500000"};
  // The leak checker cannot work under ptrace; the rest of AddressSanitizer can.
  if (kAddressSanitizer) {
    held.wrapper.insert(held.wrapper.begin(),
                        {"env", "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1"});
  }
  RunResult slow;
  std::thread first([&] {
    slow = RunCli(folder, {"export", "walker.gltf", "--all", "-o", "n"}, held);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const RunResult fast = RunCli(folder, {"export", "walker.gltf", "--all", "-o", "n"});
  first.join();
  EXPECT_EQ(fast.status, kExitSuccess) << Describe(fast);
  EXPECT_EQ(slow.status, kExitSuccess) << Describe(slow);
}

}  // namespace
}  // namespace kw::test
