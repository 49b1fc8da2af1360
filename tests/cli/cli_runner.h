// Runs the built command-line tool as a user would: in a scratch folder of its
// own, with stdout and stderr captured, optionally with a file-size limit, a
// small disk, as the unprivileged user "nobody", or with stdout a pipe nobody
// reads.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace kw::test {

struct RunResult {
  int status = -1;    // exit status, or -1 when killed by a signal
  int signal = 0;     // the signal that ended it
  bool hung = false;  // still running after the time limit
  std::string out;
  std::string err;
};

struct RunOptions {
  std::string workingDirectory;  // empty: the scratch folder
  long fileSizeLimit = -1;       // bytes; -1: none
  bool asNobody = false;
  // A disk of diskBytes mounted on the folder diskAt for the tool alone
  // (root only: see CanMountDisk).
  std::string diskAt;
  long diskBytes = 0;
  bool stdoutToClosedPipe = false;
  std::string stdoutPath;  // where stdout goes instead of being kept (/dev/full)
  int seconds = 60;
  int signal = 0;  // sent to the tool this long after its start
  int signalAfterMs = 0;
  // When set, the signal is sent once this returns true instead.
  std::function<bool()> signalWhen;
  // Run through this program and its arguments (strace ...).
  std::vector<std::string> wrapper;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

inline bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

inline std::vector<std::string> ListFolder(const std::string& path) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(path.c_str())) {
    while (dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// A scratch folder, removed with everything in it at the end of the test.
class ScratchFolder {
 public:
  ScratchFolder() {
    char pattern[] = "/tmp/kw_cli_XXXXXX";
    const char* made = ::mkdtemp(pattern);
    if (made) path_ = made;
    // Open to every user, so that a run as "nobody" can read its scene.
    ::chmod(path_.c_str(), 0755);
  }
  ~ScratchFolder() { Remove(path_); }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  static void Remove(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::lstat(path.c_str(), &st) != 0) return;
    if (S_ISDIR(st.st_mode)) {
      ::chmod(path.c_str(), 0700);
      for (const std::string& name : ListFolder(path)) Remove(path + "/" + name);
      ::rmdir(path.c_str());
    } else {
      ::unlink(path.c_str());
    }
  }
  std::string path_;
};

inline bool DropToNobody() {
  const passwd* nobody = ::getpwnam("nobody");
  return nobody && ::setgroups(0, nullptr) == 0 && ::setgid(nobody->pw_gid) == 0 &&
         ::setuid(nobody->pw_uid) == 0;
}

// As root, permission bits stop nobody; the tests that need them run the
// tool as "nobody", who must be able to run it and read the scratch folder.
inline bool CanRunAsNobody(const ScratchFolder& folder) {
  if (::geteuid() != 0) return false;
  const pid_t child = ::fork();
  if (child == 0) {
    const bool can = DropToNobody() && ::access(KW_CLI_PATH, X_OK) == 0 &&
                     ::access(folder.Path().c_str(), R_OK | X_OK) == 0;
    ::_exit(can ? 0 : 1);
  }
  int status = 0;
  return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

// A tmpfs on the folder at, in a mount namespace of this process's own: the
// rest of the machine never sees it, and it goes when the process ends.
inline bool MountDisk(const std::string& at, long bytes) {
  const std::string size = "size=" + std::to_string(bytes);
  return ::unshare(CLONE_NEWNS) == 0 &&
         ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
         ::mount("tmpfs", at.c_str(), "tmpfs", 0, size.c_str()) == 0;
}

inline bool CanMountDisk(const ScratchFolder& folder) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(MountDisk(folder.Path(), 4096) ? 0 : 1);
  int status = 0;
  return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

// Runs KW_CLI_PATH with the arguments in folder (or options.workingDirectory).
inline RunResult RunCli(const ScratchFolder& folder, const std::vector<std::string>& arguments,
                        const RunOptions& options = RunOptions()) {
  RunResult result;
  // Runs at the same time keep their outputs apart.
  static std::atomic<int> runs{0};
  const std::string run = std::to_string(runs++);
  const std::string outPath = folder / (".cli_stdout" + run);
  const std::string errPath = folder / (".cli_stderr" + run);
  int pipeFds[2] = {-1, -1};
  if (options.stdoutToClosedPipe && ::pipe(pipeFds) != 0) {
    ADD_FAILURE() << "pipe failed";
    return result;
  }

  const pid_t child = ::fork();
  if (child < 0) {
    ADD_FAILURE() << "fork failed";
    return result;
  }
  if (child == 0) {
    const std::string cwd =
        options.workingDirectory.empty() ? folder.Path() : options.workingDirectory;
    const int out = options.stdoutPath.empty()
                        ? ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666)
                        : ::open(options.stdoutPath.c_str(), O_WRONLY);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (out < 0 || err < 0) ::_exit(125);
    if (options.stdoutToClosedPipe) {
      ::close(pipeFds[0]);
      ::dup2(pipeFds[1], 1);
      ::close(pipeFds[1]);
    } else {
      ::dup2(out, 1);
    }
    ::dup2(err, 2);
    // The test runner may ignore these; the tool must cope as a shell starts it.
    ::signal(SIGPIPE, SIG_DFL);
    ::signal(SIGXFSZ, SIG_DFL);
    if (options.fileSizeLimit >= 0) {
      const rlimit limit{static_cast<rlim_t>(options.fileSizeLimit),
                         static_cast<rlim_t>(options.fileSizeLimit)};
      if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(125);
    }
    if (!options.diskAt.empty() && !MountDisk(options.diskAt, options.diskBytes)) ::_exit(125);
    if (options.asNobody && !DropToNobody()) ::_exit(125);
    if (::chdir(cwd.c_str()) != 0) ::_exit(125);
    std::vector<char*> argv;
    std::vector<std::string> copies = options.wrapper;
    copies.push_back(KW_CLI_PATH);
    copies.insert(copies.end(), arguments.begin(), arguments.end());
    for (std::string& argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(126);
  }
  if (options.stdoutToClosedPipe) {
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
  }

  int status = 0;
  const auto start = std::chrono::steady_clock::now();
  const auto deadline = start + std::chrono::seconds(options.seconds);
  bool signalled = options.signal == 0;
  while (::waitpid(child, &status, WNOHANG) == 0) {
    const bool due = options.signalWhen ? options.signalWhen()
                                        : std::chrono::steady_clock::now() - start >
                                              std::chrono::milliseconds(options.signalAfterMs);
    if (!signalled && due) {
      ::kill(child, options.signal);
      signalled = true;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(child, SIGKILL);
      ::waitpid(child, &status, 0);
      result.hung = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (WIFEXITED(status)) {
    result.status = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.signal = WTERMSIG(status);
  }
  result.out = ReadFile(outPath);
  result.err = ReadFile(errPath);
  ::unlink(outPath.c_str());
  ::unlink(errPath.c_str());
  return result;
}

inline std::string Describe(const RunResult& run) {
  std::ostringstream text;
  text << "status " << run.status << ", signal " << run.signal << (run.hung ? ", hung" : "")
       << "\nstderr:\n"
       << run.err;
  return text.str();
}

// A failure says one line on stderr and nothing else.
inline bool IsOneLine(const std::string& text) {
  return !text.empty() && text.back() == '\n' && text.find('\n') == text.size() - 1;
}

// text with the first `from` replaced by `to`; the test fails when there is none.
inline std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << "no " << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// The scene of most tests: a bone and a triangle skinned to it, 17 frames.
inline std::string SmallScene() {
  return R"({
  "version": 1,
  "time": {"start": 0, "end": 2560, "ticksPerFrame": 160},
  "materials": [{"key": "skin", "class": "Standard", "map": {"bitmap": "C:\\maps\\skin_d.tga"}}],
  "nodes": [
    {"id": 1, "name": "Bone", "type": 6,
     "transform": {"rotation": [{"tick": 0, "euler": [0, 0, 0]}, {"tick": 2560, "euler": [0, 0, 90]}]}},
    {"id": 2, "name": "Plane", "type": 2, "parent": 1, "material": "skin",
     "skin": [[{"bone": 1, "weight": 1}], [{"bone": 1, "weight": 1}], [{"bone": 1, "weight": 1}]],
     "mesh": {
       "vertices": [[0, 0, 0], [1, 0, 0], [0, 1, 0]],
       "texVertices": [[0, 0], [1, 0], [0, 1]],
       "faces": [{"vertex": [0, 1, 2], "texVertex": [0, 1, 2], "smoothingGroup": 1}]
     }}
  ]
})";
}

// Text that stands for an earlier good export the tool must never lose.
inline std::string EarlierOutput() {
  std::string text = "version 1\nnodes\n  0 \"earlier\"  -1\nend\nskeleton\ntime 0\n";
  for (int i = 0; i < 200; ++i)
    text += "  0 0.000000 0.000000 0.000000 0.000000 0.000000 0.000000\n";
  return text + "end\n";
}

}  // namespace kw::test
