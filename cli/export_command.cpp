#include "cli/export_command.h"

#include <sys/stat.h>

#include <functional>
#include <memory>
#include <string>

#include "cli/exit_codes.h"
#include "cli/export_all.h"
#include "cli/export_pipeline.h"
#include "cli/failure_line.h"
#include "cli/isolated_run.h"
#include "cli/output_guard.h"
#include "cli/large_stack.h"
#include "cli/preview_command.h"
#include "cli/replacing_files.h"

namespace kw {

namespace {

// Whatever names the output wrongly; kExitSuccess when nothing does.
int CheckOutput(const ExportRequest& request) {
  std::string cause;
  if (!CheckOutputPath(request.outputPath, &cause)) {
    PrintFailure(request.outputPath + ": " + cause);
    return kExitExportFailed;
  }
  if (request.preview && request.outputPath == "-") {
    PrintFailure("--preview draws a file beside the SMD; it cannot go with -o - (stdout)");
    return kExitUsage;
  }
  if (!CheckNotAnInput(request.outputPath, {{request.scenePath, "the scene being exported"}},
                       &cause)) {
    PrintFailure(request.outputPath + ": " + cause + "; name another output file");
    return kExitUsage;
  }
  return kExitSuccess;
}

int ExportOne(const ExportRequest& request) {
  ExportPipeline pipeline(request);
  int status = kExitSuccess;
  const std::unique_ptr<MemoryScene> scene = pipeline.Read(nullptr, &status);
  if (!scene) return status;
  status = pipeline.Write(*scene, OptionsFor(request, *scene), request.outputPath);
  if (status == kExitSuccess) status = pipeline.Commit(NotWritten(request.outputPath));
  if (status == kExitSuccess && request.preview) status = PreviewExport(request.outputPath);
  return status;
}

}  // namespace

int RunExport(const ExportRequest& request) {
  if (request.scenePath.empty()) {
    PrintFailure("the scene's file name is empty (see --help)");
    return kExitUsage;
  }
  // --all names a folder, made or refused once the export runs.
  if (!request.all) {
    const int status = CheckOutput(request);
    if (status != kExitSuccess) return status;
  }
  std::string cause;
  if (!CheckSceneFile(request.scenePath, &cause)) {
    PrintFailure(cause);
    return kExitSceneUnreadable;
  }
  const std::function<int()> body = [&request] {
    return RunOnLargeStack(
        [&request] { return request.all ? ExportAll(request) : ExportOne(request); });
  };
  // A crash of the importer ends in one line; --all runs one import for every file.
  if (request.all || IsModelFile(request.scenePath)) return RunIsolated(request.scenePath, body);
  return body();
}

}  // namespace kw
