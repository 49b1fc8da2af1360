// Outputs for the command line that never lose an earlier good SMD: the SMD
// is written to a temporary file beside the target and renamed over it only
// once the export has succeeded.
//
// Outputs that are not regular files (a FIFO, a device) are refused; "-" is
// stdout, written as it comes. A symbolic link has the file it points to
// replaced, or created when it points to a missing file; the link stays;
// unless the name itself is to be replaced (a file whose name the user did
// not give). The export's own log goes nowhere: the command line writes its
// log itself (cli/run_log.h).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "smd/text_output.h"

namespace kw {

class ReplacingFiles : public OutputFiles {
 public:
  // replaceName: the file is put in place under its own name, a link there
  // replaced rather than followed.
  explicit ReplacingFiles(bool replaceName = false) : replaceName_(replaceName) {}
  ~ReplacingFiles() override;  // discards a temporary file not yet committed
  ReplacingFiles(const ReplacingFiles&) = delete;
  ReplacingFiles& operator=(const ReplacingFiles&) = delete;

  std::unique_ptr<ByteSink> Open(const std::string& path, OutputKind kind,
                                 std::string* error) override;

  // Moves the finished SMD over its target. False with error set on failure.
  bool Commit(std::string* error);
  // Removes the temporary SMD, leaving the target as it was.
  void Discard();

  // Where the SMD is being written: the temporary file until Commit, empty
  // when it is written in place (a device or pipe) or already committed.
  const std::string& TemporaryPath() const { return temporary_; }

  // Called with every chunk of the SMD before it is written, from the thread
  // that writes.
  void OnSmdBytes(std::function<void(const char*, std::size_t)> callback) {
    onBytes_ = std::move(callback);
  }
  // Called once with "FILE: cause" when a write of the SMD fails.
  void OnSmdFailure(std::function<void(const std::string&)> callback) {
    onFailure_ = std::move(callback);
  }

  // The first thing that went wrong with the SMD, as "FILE: cause" naming the
  // file the user knows (never the temporary one); empty when nothing did.
  const std::string& Failure() const { return failure_; }
  // True when the SMD went to stdout and cannot be taken back.
  bool WroteInPlace() const { return inPlace_; }

 private:
  std::unique_ptr<ByteSink> OpenSmd(const std::string& path, std::string* error);
  void NoteFailure(const std::string& line);

  std::string target_;
  std::string temporary_;
  std::string failure_;
  bool replaceName_ = false;
  bool inPlace_ = false;
  std::function<void(const char*, std::size_t)> onBytes_;
  std::function<void(const std::string&)> onFailure_;
};

// The file a path names after following symbolic links, which need not
// exist yet. False with a cause when the links loop or go too deep.
bool FollowLinks(const std::string& path, std::string* target, std::string* cause);

// Checks an output path before anything is read: empty, a directory, a
// FIFO or a device are refused with the cause. "-" (stdout) passes.
bool CheckOutputPath(const std::string& path, std::string* cause);

// What a file is, for messages: "a FIFO", "a character device", ...
const char* FileTypeName(unsigned mode);

}  // namespace kw
