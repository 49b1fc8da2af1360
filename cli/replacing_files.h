// Outputs for the command line that never lose an earlier good SMD: the SMD
// is written to a temporary file beside the target and renamed over it only
// once the export has succeeded. A device or pipe is written in place, and a
// symbolic link has its target replaced, not the link. The log file is
// written directly.
#pragma once

#include <memory>
#include <string>

#include "core/text_output.h"

class ReplacingFiles : public OutputFiles {
 public:
  ReplacingFiles() = default;
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

  // The first thing that went wrong with a file, as "FILE: cause" naming the
  // file the user knows (never the temporary one); empty when nothing did.
  const std::string& Failure() const { return failure_; }

 private:
  std::unique_ptr<ByteSink> OpenSmd(const std::string& path, std::string* error);
  void NoteFailure(const std::string& line);

  std::string target_;
  std::string temporary_;
  std::string failure_;
};
