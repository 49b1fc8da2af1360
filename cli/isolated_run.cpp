#include "cli/isolated_run.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/sysinfo.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "cli/exit_cleanup.h"
#include "cli/exit_codes.h"
#include "cli/failure_line.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KW_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define KW_SANITIZED 1
#endif
#endif

namespace kw {
namespace {

int g_reportFd = -1;
std::atomic<pid_t> g_child{0};
std::atomic<int> g_forwarded{0};

void Forward(int signal) {
  g_forwarded.store(signal);
  const pid_t child = g_child.load();
  if (child > 0) ::kill(child, signal);
}

// The child may take what the machine has and no more: past that an
// allocation fails and is reported, rather than the kernel killing some
// process. The sanitizers reserve far more address space than that.
void BoundMemory() {
#if !defined(KW_SANITIZED)
  struct sysinfo info {};
  if (::sysinfo(&info) != 0) return;
  const rlim_t machine =
      static_cast<rlim_t>(info.totalram + info.totalswap) * static_cast<rlim_t>(info.mem_unit);
  rlimit limit{};
  if (::getrlimit(RLIMIT_AS, &limit) != 0) return;
  if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur <= machine) return;
  limit.rlim_cur = machine;
  ::setrlimit(RLIMIT_AS, &limit);
#endif
}

[[noreturn]] void RunChild(int reportFd, const std::function<int()>& body) {
  g_reportFd = reportFd;
  ReportTemporaryFilesTo(reportFd);
  BoundMemory();
  const int status = body();
  std::fflush(nullptr);
  ::_exit(status);
}

// Reads the child's report to its end: temporary files still to remove,
// and whether the scene was read.
void ReadReport(int fd, std::set<std::string>* temporaries, bool* sceneRead) {
  std::string pending;
  char buffer[4096];
  while (true) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    pending.append(buffer, static_cast<std::size_t>(got));
    std::size_t end;
    while ((end = pending.find('\n')) != std::string::npos) {
      const std::string line = pending.substr(0, end);
      pending.erase(0, end + 1);
      if (line == "read") {
        *sceneRead = true;
      } else if (!line.empty() && line[0] == '+') {
        temporaries->insert(line.substr(1));
      } else if (!line.empty() && line[0] == '-') {
        temporaries->erase(line.substr(1));
      }
    }
  }
}

}  // namespace

void NoteSceneRead() {
  if (g_reportFd < 0) return;
  const ssize_t ignored = ::write(g_reportFd, "read\n", 5);
  (void)ignored;
}

int RunIsolated(const std::string& scenePath, const std::function<int()>& body) {
  int fds[2];
  if (::pipe(fds) != 0) return body();
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    return body();
  }
  if (child == 0) {
    ::close(fds[0]);
    RunChild(fds[1], body);
  }
  ::close(fds[1]);
  g_child.store(child);
  // The child cleans up after itself on these; the parent passes them on
  // (a kill of the parent alone must end the child too) and waits.
  struct sigaction action {};
  action.sa_handler = Forward;
  sigemptyset(&action.sa_mask);
  struct sigaction previous[3];
  const int signals[3] = {SIGINT, SIGTERM, SIGHUP};
  for (int i = 0; i < 3; ++i) {
    ::sigaction(signals[i], nullptr, &previous[i]);
    if (previous[i].sa_handler != SIG_IGN) ::sigaction(signals[i], &action, nullptr);
  }

  std::set<std::string> temporaries;
  bool sceneRead = false;
  ReadReport(fds[0], &temporaries, &sceneRead);
  ::close(fds[0]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  for (int i = 0; i < 3; ++i) ::sigaction(signals[i], &previous[i], nullptr);

  if (WIFEXITED(status)) return WEXITSTATUS(status);
  for (const std::string& path : temporaries) std::remove(path.c_str());
  const int signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  if (g_forwarded.load() != 0) return 128 + g_forwarded.load();
  if (!sceneRead) {
    PrintFailure(scenePath + ": the importer crashed (signal " + std::to_string(signal) +
                 "); the file is probably damaged");
    return kExitSceneUnreadable;
  }
  PrintFailure(scenePath + ": the export crashed (signal " + std::to_string(signal) +
               ") after the scene was read; no file was replaced");
  return kExitExportFailed;
}

}  // namespace kw
