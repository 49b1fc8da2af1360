// The command line's way from a scene file to SMD files in place, the same
// for `export` and for every file of `export --all`: the scene is read, each
// SMD is written beside its target and judged, and only when every one is
// whole (and --strict found nothing) are they all put in place. A failure is
// one line on stderr and an exit status of cli/exit_codes.h; the first write
// that fails ends the run at once.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cli/export_request.h"
#include "cli/replacing_files.h"
#include "cli/scene_loader.h"
#include "cli/stderr_warnings.h"
#include "scene/memory_scene.h"

namespace kw {

class ExportPipeline {
 public:
  explicit ExportPipeline(const ExportRequest& request) : request_(request) {}
  ExportPipeline(const ExportPipeline&) = delete;
  ExportPipeline& operator=(const ExportPipeline&) = delete;

  // The request's scene and, given animations, every animation of a model
  // file; the importer's warnings are shown. Null with *status set once the
  // failure is printed.
  std::unique_ptr<MemoryScene> Read(SceneAnimations* animations, int* status);

  // Writes the SMD of scene to a temporary file beside path ("-": stdout)
  // and judges it: no nodes, the compiler's limits, numbers that are not
  // finite. kExitSuccess, or the exit status once the failure is printed.
  int Write(MemoryScene& scene, const ExportOptions& options, const std::string& path);

  // After every Write succeeded: the warnings' summary, --strict, then every
  // SMD in place. notWritten begins the --strict line (see NotWritten).
  int Commit(const std::string& notWritten);

 private:
  const ExportRequest& request_;
  StderrWarnings warnings_;
  // Discarded with the pipeline unless committed.
  std::vector<std::unique_ptr<ReplacingFiles>> files_;
  bool logProblemShown_ = false;  // one log for the run, lost at most once
};

// How a line on an SMD that is not kept begins: "OUT.smd: not written: ";
// for stdout, that what went there is not to be used.
std::string NotWritten(const std::string& path);

}  // namespace kw
