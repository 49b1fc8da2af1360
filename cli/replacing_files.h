// Outputs for the command line that never lose an earlier good SMD: the SMD
// is written to a temporary file beside the target and renamed over it only
// once the export has succeeded. The log file is written directly.
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

 private:
  DiskFiles disk_;
  std::string target_;
  std::string temporary_;
};
