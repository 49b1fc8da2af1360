// export MODEL --all -o DIR: the model imported once and written as
// DIR/<model>.smd (the reference), one sequence SMD per animation and
// DIR/<model>.qc, a starter QC that compiles exactly these files.
#pragma once

#include <string>

#include "cli/scene_loader.h"

namespace kw {

struct ExportAllRequest {
  std::string modelPath;
  std::string folder;
  std::string pose = "bind";  // of the reference
  bool log = false;
  bool strict = false;
  bool verbose = false;
  bool preview = false;  // a picture beside every SMD
  SceneLoadOptions load;
  std::string logPath;  // with log: where the log goes
};

// The exit status of the command line (cli/exit_codes.h). Nothing is put in
// place unless every file was written whole (and, under --strict, without
// a warning).
int RunExportAll(const ExportAllRequest& request);

}  // namespace kw
