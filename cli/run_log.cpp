#include "cli/run_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "cli/failure_line.h"
#include "cli/replacing_files.h"

namespace kw {
namespace {

constexpr char kHeader[] = "Kestrelworks Log File\n=====================\n\n";

}  // namespace

RunLog::~RunLog() {
  if (fd_ >= 0) ::close(fd_);
}

void RunLog::AskFor(const std::string& path) {
  path_ = path;
  kept_ = path.empty() ? std::string() : kHeader;
}

void RunLog::Section(const std::string& line) { Put(line + "\n\n"); }

void RunLog::Warning(const std::string& text) {
  // The time of day as the plug-in's log has always shown it.
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%2d:%2d:%2d - ", local.tm_hour, local.tm_min, local.tm_sec);
  Put(stamp + text + "\n\n");
}

void RunLog::Put(const std::string& text) {
  if (path_.empty() || givenUp_) return;
  if (fd_ < 0) {
    kept_ += text;
    return;
  }
  const char* data = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t written = ::write(fd_, data, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      problem_ = OneLine(path_) + ": cannot write the log: " +
                 (written < 0 ? std::strerror(errno) : "nothing was written") +
                 "; the export goes on without it";
      givenUp_ = true;
      ::close(fd_);
      fd_ = -1;
      return;
    }
    data += written;
    left -= static_cast<std::size_t>(written);
  }
}

bool RunLog::Open(const std::vector<RunInput>& inputs, const std::vector<std::string>& outputs,
                  std::string* cause) {
  auto refuse = [&](const std::string& why) {
    *cause = OneLine(path_) + ": cannot write the log: " + why + "; the export goes on without it";
    givenUp_ = true;
    kept_.clear();
    return false;
  };
  if (path_.empty()) return true;
  std::string input;
  if (!CheckNotAnInput(path_, inputs, &input)) return refuse(input);
  for (const std::string& output : outputs) {
    if (SameDestination(path_, output))
      return refuse("that is " + OneLine(output) + ", written by this run");
  }
  // O_NOFOLLOW: a link planted under the log's name must not aim the
  // truncation at another file; O_NONBLOCK: a FIFO must not hang the export.
  const int fd =
      ::open(path_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return refuse(errno == ELOOP ? "it is a symbolic link" : std::strerror(errno));
  struct stat st {};
  std::string why;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    why = std::string("it is ") + FileTypeName(st.st_mode) + ", not a regular file";
  } else if (st.st_size > 0) {
    // Only a log of ours is begun again: any other file is someone's work.
    char head[sizeof kHeader - 1] = {};
    const ssize_t got = ::pread(fd, head, sizeof head, 0);
    if (got != static_cast<ssize_t>(sizeof head) || std::memcmp(head, kHeader, sizeof head) != 0) {
      why = "it is not a log kestrelworks wrote; name another file";
    }
  }
  if (why.empty() && ::ftruncate(fd, 0) != 0) why = std::strerror(errno);
  if (!why.empty()) {
    ::close(fd);
    return refuse(why);
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  fd_ = fd;
  std::string kept;
  kept.swap(kept_);
  Put(kept);
  return true;
}

std::string RunLog::TakeProblem() {
  std::string problem;
  problem.swap(problem_);
  return problem;
}

}  // namespace kw
