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

namespace {

// Writes to a descriptor; its messages name the file as the user gave it.
class DescriptorSink : public ByteSink {
 public:
  DescriptorSink(int fd, std::string shownPath, std::string* failure)
      : fd_(fd), shownPath_(std::move(shownPath)), failure_(failure) {}
  ~DescriptorSink() override {
    if (fd_ >= 0) ::close(fd_);
  }

  bool Write(const char* data, std::size_t size, std::string* error) override {
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
    if (::close(fd) == 0) return true;
    return Failed("cannot finish writing", errno, error);
  }

 private:
  bool Failed(const char* what, int reason, std::string* error) {
    *error = shownPath_ + ": " + what + ": " + std::strerror(reason);
    if (failure_->empty()) *failure_ = *error;
    return false;
  }

  int fd_;
  std::string shownPath_;
  std::string* failure_;
};

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

ReplacingFiles::~ReplacingFiles() { Discard(); }

void ReplacingFiles::NoteFailure(const std::string& line) {
  if (failure_.empty()) failure_ = line;
}

std::unique_ptr<ByteSink> ReplacingFiles::Open(const std::string& path, OutputKind kind,
                                               std::string* error) {
  if (kind == OutputKind::kSmd) return OpenSmd(path, error);
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    *error = std::strerror(errno);
    NoteFailure(path + ": cannot create the log file in the working directory: " + *error);
    return nullptr;
  }
  return std::make_unique<DescriptorSink>(fd, path, &failure_);
}

std::unique_ptr<ByteSink> ReplacingFiles::OpenSmd(const std::string& path, std::string* error) {
  auto refuse = [&](const std::string& cause) -> std::unique_ptr<ByteSink> {
    *error = cause;
    NoteFailure(path + ": " + cause);
    return nullptr;
  };
  if (path.empty()) return refuse("no file name");

  // Through a symbolic link the file it points to is replaced; the link stays.
  std::string target = path;
  struct stat link {};
  if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
    if (char* resolved = ::realpath(path.c_str(), nullptr)) {
      target = resolved;
      std::free(resolved);
    }
  }

  struct stat existing {};
  const bool exists = ::stat(target.c_str(), &existing) == 0;
  if (exists) {
    if (S_ISDIR(existing.st_mode)) return refuse("it is a directory");
    // A device or pipe is written into, never replaced by a file.
    if (!S_ISREG(existing.st_mode)) {
      Discard();
      target_.clear();
      const int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
      if (fd < 0) return refuse(std::strerror(errno));
      return std::make_unique<DescriptorSink>(fd, path, &failure_);
    }
    // Renaming would replace it even so; a read-only file says "keep me".
    if ((existing.st_mode & 0222) == 0) return refuse("the file is read-only");
  }

  std::string pattern = target + ".tmp.XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0) {
    const int openErrno = errno;
    const std::string folder = DirectoryOf(target);
    struct stat folderStat {};
    if (::stat(folder.c_str(), &folderStat) != 0) {
      return refuse("the folder " + folder + " does not exist");
    }
    return refuse("cannot create a file in the folder " + folder + ": " +
                  std::strerror(openErrno));
  }
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

  Discard();
  target_ = target;
  temporary_ = name.data();
  return std::make_unique<DescriptorSink>(fd, path, &failure_);
}

bool ReplacingFiles::Commit(std::string* error) {
  if (temporary_.empty()) {
    if (target_.empty()) return true;  // written in place
    *error = "nothing was written";
    return false;
  }
  if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
    *error = target_ + ": cannot replace the file: " + std::strerror(errno);
    NoteFailure(*error);
    Discard();
    return false;
  }
  temporary_.clear();
  return true;
}

void ReplacingFiles::Discard() {
  if (!temporary_.empty()) std::remove(temporary_.c_str());
  temporary_.clear();
}
