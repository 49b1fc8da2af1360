// The log of --log: every warning of the run as stderr shows it, in the
// same order, each with the time of day, and a line for the scene read and
// each SMD begun. What comes before the outputs are known (the model
// importer's warnings) is kept until the file may be opened.
#pragma once

#include <string>
#include <vector>

#include "cli/output_guard.h"

namespace kw {

class RunLog {
 public:
  RunLog() = default;
  ~RunLog();
  RunLog(const RunLog&) = delete;
  RunLog& operator=(const RunLog&) = delete;

  // Asks for a log at path; until then, or with an empty path, nothing is kept.
  void AskFor(const std::string& path);
  const std::string& Path() const { return path_; }

  // A line of its own, as "Exporting file: \"OUT.smd\"".
  void Section(const std::string& line);
  // A warning, as stderr showed it.
  void Warning(const std::string& text);

  // Opens the file and writes what was kept. Never over one of inputs or
  // outputs, through a link, into anything but a regular file, or over a
  // file that is not a log of ours; false with *cause (and the log given
  // up) when it must not or cannot be written.
  bool Open(const std::vector<RunInput>& inputs, const std::vector<std::string>& outputs,
            std::string* cause);

  // Why the open log could not be written to the end, once; empty otherwise.
  std::string TakeProblem();

 private:
  void Put(const std::string& text);

  std::string path_;
  std::string kept_;
  int fd_ = -1;
  bool givenUp_ = false;
  std::string problem_;
};

}  // namespace kw
