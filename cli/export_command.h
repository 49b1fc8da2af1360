// The export subcommand: reads the scene, runs one export with the flags as
// the dialog's choices and puts the SMD in place only when it is whole.
#pragma once

#include <string>
#include <vector>

#include "cli/scene_loader.h"

namespace kw {

struct ExportRequest {
  std::string scenePath;
  std::string outputPath;
  bool sequence = false;
  std::vector<int> range;  // empty or {start, end}
  bool reverse = false;
  bool log = false;
  std::string logPath;  // with log: where the log goes
  bool selectedOnly = false;
  bool strict = false;
  bool verbose = false;
  bool quiet = false;  // no progress line
  bool preview = false;
  std::string pose = "bind";  // of a model file's reference
  SceneLoadOptions load;
};

// The exit status of the command line (cli/exit_codes.h).
int RunExport(const ExportRequest& request);

}  // namespace kw
