// What `export` is asked to do, as its flags give it; `export --all` is the
// same request with all set.
#pragma once

#include <string>
#include <vector>

#include "cli/scene_loader.h"
#include "export/export_options.h"

namespace kw {

struct ExportRequest {
  std::string scenePath;
  std::string outputPath;  // the SMD; with all, the folder for every file
  bool all = false;        // the reference, every animation and a QC
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
  bool flex = false;  // the morph targets as OUT.vta beside OUT.smd
  // Files made from the SMDs (OUT.png, the QC) replace whatever regular
  // file is in their place, an edited QC too.
  bool overwrite = false;
  std::string pose = "bind";  // of a model file's reference
  SceneLoadOptions load;
  // With all: the collision model ("hull", "parts" or "none"), its mass in
  // kilograms (0: the compiler's $automass) and the QC's $surfaceprop.
  std::string collision = "hull";
  double mass = 0.0;
  std::string surfaceProp = "default";
};

// The flags' choices for an export of scene; without --range, the scene's
// whole range. A start above the end is swapped.
ExportOptions OptionsFor(const ExportRequest& request, const IGameScene& scene);

}  // namespace kw
