#include "cli/output_guard.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "cli/replacing_files.h"

namespace kw {
namespace {

// A path not yet made, as the place it will take: links followed, its
// folder resolved; empty when that cannot be told.
std::string Place(const std::string& path) {
  std::string target, cause;
  if (!FollowLinks(path, &target, &cause)) return std::string();
  const std::size_t slash = target.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  char* resolved = ::realpath(folder.c_str(), nullptr);
  if (!resolved) return std::string();
  std::string place = std::string(resolved) + "/" + target.substr(slash + 1);
  std::free(resolved);
  return place;
}

}  // namespace

bool CheckNotAnInput(const std::string& output, const std::vector<RunInput>& inputs,
                     std::string* cause) {
  struct stat out {};
  if (output.empty() || output == "-" || ::stat(output.c_str(), &out) != 0) return true;
  for (const RunInput& input : inputs) {
    struct stat in {};
    if (input.path.empty() || ::stat(input.path.c_str(), &in) != 0) continue;
    if (in.st_dev == out.st_dev && in.st_ino == out.st_ino) {
      *cause = "that is " + input.role + " (" + input.path + ")";
      return false;
    }
  }
  return true;
}

bool SameDestination(const std::string& a, const std::string& b) {
  struct stat first {
  }, second{};
  const bool firstExists = ::stat(a.c_str(), &first) == 0;
  const bool secondExists = ::stat(b.c_str(), &second) == 0;
  if (firstExists || secondExists) {
    return firstExists && secondExists && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
  }
  const std::string place = Place(a);
  return !place.empty() && place == Place(b);
}

Found Look(const std::string& path, std::size_t limit, std::string* head) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT ? Found::kNothing : Found::kOther;
  if (!S_ISREG(st.st_mode)) return Found::kOther;
  // O_NOFOLLOW | O_NONBLOCK: what was looked at may have been swapped since.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Found::kOther;
  head->clear();
  char buffer[65536];
  bool readable = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  while (readable && head->size() < limit) {
    const ssize_t got = ::read(fd, buffer, std::min(sizeof buffer, limit - head->size()));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      readable = got == 0;
      break;
    }
    head->append(buffer, static_cast<std::size_t>(got));
  }
  ::close(fd);
  return readable ? Found::kFile : Found::kOther;
}

}  // namespace kw
