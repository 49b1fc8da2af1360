#include "cli/replacing_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cli/exit_cleanup.h"

namespace kw {

namespace {

// The longest file name most file systems take; the temporary name must fit
// beside any legal output name.
constexpr std::size_t kMaxNameBytes = 255;
constexpr char kTemporarySuffix[] = ".tmp.XXXXXX";
constexpr int kMostLinks = 40;

// Writes to a descriptor; its messages name the file as the user gave it.
class DescriptorSink : public ByteSink {
 public:
  DescriptorSink(int fd, std::string shownPath, std::string* failure,
                 const std::function<void(const char*, std::size_t)>* onBytes = nullptr,
                 const std::function<void(const std::string&)>* onFailure = nullptr)
      : fd_(fd),
        shownPath_(std::move(shownPath)),
        failure_(failure),
        onBytes_(onBytes),
        onFailure_(onFailure) {}
  ~DescriptorSink() override {
    if (fd_ >= 0) ::close(fd_);
  }

  bool Write(const char* data, std::size_t size, std::string* error) override {
    if (onBytes_ && *onBytes_) (*onBytes_)(data, size);
    while (size > 0) {
      const ssize_t written = ::write(fd_, data, size);
      if (written < 0) {
        if (errno == EINTR) continue;
        return Failed("cannot write", errno, error);
      }
      data += written;
      size -= static_cast<std::size_t>(written);
    }
    return true;
  }

  // No fsync: the rename already shows the file whole or not at all to
  // everything but a power cut, and waiting for the disk cost more than the
  // whole export of a big mesh.
  bool Finish(std::string* error) override {
    const int fd = fd_;
    fd_ = -1;
    if (fd == STDOUT_FILENO || ::close(fd) == 0) return true;
    return Failed("cannot finish writing", errno, error);
  }

 private:
  bool Failed(const char* what, int reason, std::string* error) {
    *error = shownPath_ + ": " + what + ": " + std::strerror(reason);
    if (failure_->empty()) *failure_ = *error;
    if (onFailure_ && *onFailure_) (*onFailure_)(*error);
    return false;
  }

  int fd_;
  std::string shownPath_;
  std::string* failure_;
  const std::function<void(const char*, std::size_t)>* onBytes_;
  const std::function<void(const std::string&)>* onFailure_;
};

// Takes everything and keeps nothing: the export's own log.
class NullSink : public ByteSink {
 public:
  bool Write(const char*, std::size_t, std::string*) override { return true; }
  bool Finish(std::string*) override { return true; }
};

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// "OUT.smd.tmp.XXXXXX" beside the target, its name cut short where the
// whole would pass the longest name a folder takes.
std::string TemporaryPattern(const std::string& target) {
  const std::size_t slash = target.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  const std::size_t room = kMaxNameBytes - (sizeof kTemporarySuffix - 1);
  if (name.size() > room) name.resize(room);
  return folder + name + kTemporarySuffix;
}

}  // namespace

const char* FileTypeName(unsigned mode) {
  switch (mode & S_IFMT) {
    case S_IFIFO:
      return "a FIFO";
    case S_IFCHR:
      return "a character device";
    case S_IFBLK:
      return "a block device";
    case S_IFSOCK:
      return "a socket";
    case S_IFDIR:
      return "a directory";
    case S_IFLNK:
      return "a symbolic link";
    default:
      return "not a regular file";
  }
}

bool FollowLinks(const std::string& path, std::string* target, std::string* cause) {
  // An existing file is found by the kernel, which also knows links that
  // are no paths (/dev/stdout to a pipe); only a link to a missing file is
  // followed here, to the file it would create.
  if (char* resolved = ::realpath(path.c_str(), nullptr)) {
    *target = resolved;
    std::free(resolved);
    return true;
  }
  std::string current = path;
  for (int hop = 0; hop <= kMostLinks; ++hop) {
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      *target = current;
      return true;
    }
    std::vector<char> link(PATH_MAX + 1);
    const ssize_t length = ::readlink(current.c_str(), link.data(), link.size() - 1);
    if (length < 0) {
      *cause = std::string("cannot read the symbolic link: ") + std::strerror(errno);
      return false;
    }
    const std::string next(link.data(), static_cast<std::size_t>(length));
    current = next.empty() || next[0] == '/' ? next : DirectoryOf(current) + "/" + next;
  }
  *cause = "the symbolic link loops (or goes through more than 40 links); name the file itself";
  return false;
}

bool CheckOutputPath(const std::string& path, std::string* cause) {
  if (path.empty()) {
    *cause = "the file name is empty";
    return false;
  }
  if (path == "-") return true;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    // A new file, perhaps through a link to a missing one.
    std::string target;
    return FollowLinks(path, &target, cause);
  }
  if (S_ISDIR(st.st_mode)) {
    *cause = "it is a directory; name a file in it";
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    *cause = std::string("it is ") + FileTypeName(st.st_mode) +
             ", not a regular file; name a file, or give -o - to write to stdout";
    return false;
  }
  return true;
}

ReplacingFiles::~ReplacingFiles() { Discard(); }

void ReplacingFiles::NoteFailure(const std::string& line) {
  if (failure_.empty()) failure_ = line;
}

std::unique_ptr<ByteSink> ReplacingFiles::Open(const std::string& path, OutputKind kind,
                                               std::string* error) {
  if (kind == OutputKind::kSmd) return OpenSmd(path, error);
  return std::make_unique<NullSink>();
}

std::unique_ptr<ByteSink> ReplacingFiles::OpenSmd(const std::string& path, std::string* error) {
  auto refuse = [&](const std::string& cause) -> std::unique_ptr<ByteSink> {
    *error = cause;
    NoteFailure(path + ": " + cause);
    return nullptr;
  };
  std::string cause;
  if (!CheckOutputPath(path, &cause)) return refuse(cause);
  Discard();
  if (path == "-") {
    const int fd = ::dup(STDOUT_FILENO);
    if (fd < 0) return refuse(std::string("cannot write to stdout: ") + std::strerror(errno));
    inPlace_ = true;
    target_.clear();
    return std::make_unique<DescriptorSink>(fd, "stdout", &failure_, &onBytes_, &onFailure_);
  }

  std::string target = path;
  if (!replaceName_ && !FollowLinks(path, &target, &cause)) return refuse(cause);
  struct stat existing {};
  const bool exists = (replaceName_ ? ::lstat(target.c_str(), &existing)
                                    : ::stat(target.c_str(), &existing)) == 0 &&
                      S_ISREG(existing.st_mode);
  // Renaming would replace it even so; a read-only file says "keep me".
  if (exists && (existing.st_mode & 0222) == 0) return refuse("the file is read-only");

  const std::string pattern = TemporaryPattern(target);
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0) {
    const int openErrno = errno;
    const std::string folder = DirectoryOf(target);
    struct stat folderStat {};
    if (::stat(folder.c_str(), &folderStat) != 0) {
      if (errno == ENOENT || errno == ENOTDIR) {
        return refuse("the folder " + folder + " does not exist");
      }
      return refuse("cannot reach the folder " + folder + ": " + std::strerror(errno));
    }
    return refuse("cannot create a file in the folder " + folder + ": " + std::strerror(openErrno));
  }
  AddTemporaryFile(name.data());
  ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  // mkstemp makes the file private; the result should look like the file it
  // replaces, or like any new file.
  if (exists) {
    // Only root may give a file away; otherwise it belongs to whoever runs the tool.
    const bool ownerKept = ::fchown(fd, existing.st_uid, existing.st_gid) == 0;
    (void)ownerKept;
    ::fchmod(fd, existing.st_mode & 07777);
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
  }

  target_ = target;
  temporary_ = name.data();
  return std::make_unique<DescriptorSink>(fd, path, &failure_, &onBytes_, &onFailure_);
}

bool ReplacingFiles::Commit(std::string* error) {
  if (temporary_.empty()) {
    if (inPlace_) return true;
    *error = "nothing was written";
    return false;
  }
  if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
    *error = target_ + ": cannot replace the file: " + std::strerror(errno);
    NoteFailure(*error);
    Discard();
    return false;
  }
  ForgetTemporaryFile(temporary_);
  temporary_.clear();
  return true;
}

void ReplacingFiles::Discard() {
  if (!temporary_.empty()) {
    std::remove(temporary_.c_str());
    ForgetTemporaryFile(temporary_);
  }
  temporary_.clear();
}

}  // namespace kw
