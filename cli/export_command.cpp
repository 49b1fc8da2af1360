#include "cli/export_command.h"

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cli/check_command.h"
#include "cli/exit_codes.h"
#include "cli/failure_line.h"
#include "cli/preview_command.h"
#include "cli/replacing_files.h"
#include "cli/stderr_warnings.h"
#include "core/kestrelworks.h"

namespace {

// The dialog's choices, taken from the flags instead.
class FlagOptions : public OptionsStep {
 public:
  explicit FlagOptions(const ExportRequest& request) : request_(request) {}

  int Run(OptionsChoice& choice, HostWindow) override {
    ExportOptions& options = choice.options;
    options.exportSequence = request_.sequence ? 1 : 0;
    options.startFrame = request_.range.empty() ? choice.animStartFrame : request_.range[0];
    options.endFrame = request_.range.empty() ? choice.animEndFrame : request_.range[1];
    if (options.startFrame > options.endFrame) std::swap(options.startFrame, options.endFrame);
    options.reverseSequence = request_.reverse ? 1 : 0;
    options.logWarnings = request_.log ? 1 : 0;
    return 1;
  }

 private:
  const ExportRequest& request_;
};

void PrintDebugLine(const char* line, void*) { std::fputs(line, stderr); }

}  // namespace

int RunExport(const ExportRequest& request) {
  std::string error;
  SceneLoadOptions load = request.load;
  load.pose = request.sequence ? "animation" : request.pose;
  std::vector<kw::Warning> importWarnings;
  std::unique_ptr<MemoryScene> scene = LoadScene(request.scenePath, load, &error, &importWarnings);
  StderrWarnings warnings;
  for (const kw::Warning& warning : importWarnings) warnings.Show(warning);
  if (!scene) {
    PrintFailure(error);
    return kExitSceneUnreadable;
  }
  if (request.verbose) SetDebugSink(PrintDebugLine, nullptr);

  FlagOptions options(request);
  ReplacingFiles files;
  ExportSeams seams{&options, &warnings, &files};

  Kestrelworks session(scene.get(), seams);
  session.DoExport(request.outputPath.c_str(), nullptr, scene->GetCoreInterface(), 0,
                   request.selectedOnly ? SCENE_EXPORT_SELECTED : 0);
  SetDebugSink(nullptr, nullptr);

  const bool completed = session.Outcome() == ExportOutcome::kCompleted;
  // The SMD is whole; only the log was lost, which the session leaves to
  // its debug output. The user who asked for it should hear of it.
  if (completed && !files.Failure().empty()) {
    warnings.Show(kw::Warning{kw::WarningKind::kLogNotWritten, files.Failure()});
  }
  // What the compiler will make of the file, before it replaces the old one.
  if (completed && !files.TemporaryPath().empty()) {
    CheckWrittenSmd(files.TemporaryPath(), request.outputPath, &warnings);
  }
  warnings.PrintSummary();
  if (!completed) {
    files.Discard();
    // A file that failed names itself; anything else is the scene's doing.
    const std::string cause = !files.Failure().empty()
                                  ? files.Failure()
                                  : request.scenePath + ": " + session.FailureMessage();
    PrintFailure(cause);
    return kExitExportFailed;
  }
  const int warningCount = warnings.Count();
  if (request.strict && warningCount > 0) {
    files.Discard();
    PrintFailure(request.outputPath + ": not written: " + std::to_string(warningCount) +
                 (warningCount == 1 ? " warning" : " warnings") + " and --strict");
    return kExitStrictWarnings;
  }
  if (!files.Commit(&error)) {
    PrintFailure(error);
    return kExitExportFailed;
  }
  if (request.preview) return kw::PreviewExport(request.outputPath);
  return kExitSuccess;
}
