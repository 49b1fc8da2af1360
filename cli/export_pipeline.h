// The command line's way from a scene file to files in place, the same for
// `export` and for every file of `export --all`: the scene is read, each
// SMD is written beside its target and judged, the files made from them
// (pictures, the QC) are written beside theirs, and only when every one is
// whole (and --strict found nothing) are they all put in place. A failure
// is one line on stderr and an exit status of cli/exit_codes.h; the first
// write that fails ends the run at once.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cli/export_request.h"
#include "cli/output_guard.h"
#include "cli/replacing_files.h"
#include "cli/run_log.h"
#include "cli/scene_loader.h"
#include "cli/stderr_warnings.h"
#include "export/flex_export.h"
#include "scene/memory_scene.h"

namespace kw {

class ExportPipeline {
 public:
  explicit ExportPipeline(const ExportRequest& request);
  ExportPipeline(const ExportPipeline&) = delete;
  ExportPipeline& operator=(const ExportPipeline&) = delete;

  // The request's scene and, given animations, every animation of a model
  // file; the importer's warnings are shown. Null with *status set once the
  // failure is printed.
  std::unique_ptr<MemoryScene> Read(SceneAnimations* animations, int* status);

  // The files the run reads: the scene and the textures it names.
  std::vector<RunInput> Inputs(MemoryScene& scene) const;

  // Opens --log, once every file the run writes is known; a log that must
  // not or cannot be written is a warning.
  void OpenLog(const std::vector<RunInput>& inputs, const std::vector<std::string>& outputs);

  // Writes the SMD of scene to a temporary file beside path ("-": stdout)
  // and judges it: no nodes, the compiler's limits, numbers that are not
  // finite. kExitSuccess, or the exit status once the failure is printed.
  // replaceName: a link at path is replaced, not followed.
  // flexes: write the VTA of the scene's morph targets instead (no limits
  // check: the compiler's limits are the reference's), and the shapes it
  // holds come back there.
  int Write(MemoryScene& scene, const ExportOptions& options, const std::string& path,
            bool replaceName = false, FlexList* flexes = nullptr);
  // The temporary file of the last SMD written.
  const std::string& LastTemporary() const;

  // After every Write succeeded: the warnings' summary, then --strict.
  // notWritten begins the --strict line (see NotWritten).
  int Judge(const std::string& notWritten);

  // A file made from the SMDs, written beside path now and put in place
  // with them.
  int Prepare(const std::string& path, const std::string& bytes, bool replaceName);

  // Every file in place.
  int Commit();

  StderrWarnings& Warnings() { return warnings_; }
  // The source's unit as Read found it; unknown for scene files.
  const SourceUnit& Unit() const { return unit_; }

 private:
  const ExportRequest& request_;
  StderrWarnings warnings_;
  SourceUnit unit_;
  RunLog log_;
  // Discarded with the pipeline unless committed.
  std::vector<std::unique_ptr<ReplacingFiles>> files_;
};

// How a line on an SMD that is not kept begins: "OUT.smd: not written: ";
// for stdout, that what went there is not to be used.
std::string NotWritten(const std::string& path);

}  // namespace kw
