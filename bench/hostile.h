// Inputs made to cost as much as they can, each with the command that reads
// it and a wall-clock budget far above what a sound bound needs: the
// benchmark's --hostile mode runs them (docs/smd-check.md, docs/preview.md).
#pragma once

#include <string>
#include <vector>

namespace kw::bench {

struct HostileRun {
  std::string name;
  std::string input;                   // what the file holds
  std::vector<std::string> arguments;  // after the tool's path; files relative to the folder
  double budgetSeconds;
  std::string file;  // the input's name in the folder
};

// Writes the inputs into dir; false with *error when one cannot be written.
bool WriteHostileInputs(const std::string& dir, std::vector<HostileRun>* runs, std::string* error);

}  // namespace kw::bench
