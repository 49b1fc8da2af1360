#include "cli/replacing_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

class DescriptorSink : public ByteSink {
 public:
  DescriptorSink(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~DescriptorSink() override {
    if (fd_ >= 0) ::close(fd_);
  }

  bool Write(const char* data, std::size_t size, std::string* error) override {
    while (size > 0) {
      const ssize_t written = ::write(fd_, data, size);
      if (written < 0) {
        if (errno == EINTR) continue;
        *error = path_ + ": " + std::strerror(errno);
        return false;
      }
      data += written;
      size -= static_cast<std::size_t>(written);
    }
    return true;
  }

  bool Finish(std::string* error) override {
    const int fd = fd_;
    fd_ = -1;
    // A file that is renamed into place must be on the disk first.
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
    const int syncErrno = errno;
    const bool closed = ::close(fd) == 0;
    if (synced && closed) return true;
    *error = path_ + ": " + std::strerror(synced ? errno : syncErrno);
    return false;
  }

 private:
  int fd_;
  std::string path_;
};

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

ReplacingFiles::~ReplacingFiles() { Discard(); }

std::unique_ptr<ByteSink> ReplacingFiles::Open(const std::string& path, OutputKind kind,
                                               std::string* error) {
  if (kind == OutputKind::kLog) return disk_.Open(path, kind, error);

  struct stat existing {};
  if (::stat(path.c_str(), &existing) == 0) {
    if (S_ISDIR(existing.st_mode)) {
      *error = "it is a directory";
      return nullptr;
    }
    // Renaming would replace it even so; a read-only file says "keep me".
    if ((existing.st_mode & 0222) == 0) {
      *error = "the file is read-only";
      return nullptr;
    }
    // A device or pipe is written into, never replaced by a file.
    if (!S_ISREG(existing.st_mode)) {
      Discard();
      target_.clear();
      return disk_.Open(path, kind, error);
    }
  }

  std::string pattern = path + ".tmp.XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0) {
    const int openErrno = errno;
    struct stat folder {};
    if (::stat(DirectoryOf(path).c_str(), &folder) != 0) {
      *error = "the folder " + DirectoryOf(path) + " does not exist";
    } else {
      *error = std::strerror(openErrno);
    }
    return nullptr;
  }
  // mkstemp makes the file private; the result should look like any new file.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, existing.st_mode ? (existing.st_mode & 07777) : (0666 & ~mask));

  Discard();
  target_ = path;
  temporary_ = name.data();
  return std::make_unique<DescriptorSink>(fd, temporary_);
}

bool ReplacingFiles::Commit(std::string* error) {
  if (temporary_.empty()) {
    if (target_.empty()) return true;  // written in place
    *error = "nothing was written";
    return false;
  }
  if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
    *error = target_ + ": " + std::strerror(errno);
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
