#include "cli/export_command.h"

#include <sys/stat.h>

#include <cctype>
#include <functional>
#include <memory>
#include <string>

#include "cli/exit_codes.h"
#include "cli/export_all.h"
#include "cli/export_pipeline.h"
#include "export/flex_export.h"
#include "cli/export_summary.h"
#include "cli/failure_line.h"
#include "cli/isolated_run.h"
#include "cli/output_guard.h"
#include "cli/large_stack.h"
#include "cli/export_preview.h"
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
  if (request.flex && request.outputPath == "-") {
    PrintFailure("--flex writes a VTA beside the SMD; it cannot go with -o - (stdout)");
    return kExitUsage;
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

// OUT.smd's VTA: OUT.vta.
std::string VtaPath(const std::string& smdPath) {
  const std::size_t slash = smdPath.find_last_of('/');
  const std::size_t dot = smdPath.find_last_of('.');
  const bool extension =
      dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
  return (extension ? smdPath.substr(0, dot) : smdPath) + ".vta";
}

int ExportOne(const ExportRequest& request) {
  ExportPipeline pipeline(request);
  int status = kExitSuccess;
  const std::unique_ptr<MemoryScene> scene = pipeline.Read(nullptr, &status);
  if (!scene) return status;
  const std::string& out = request.outputPath;
  const std::vector<RunInput> inputs = pipeline.Inputs(*scene);
  std::string cause;
  if (!CheckNotAnInput(out, inputs, &cause)) {
    PrintFailure(out + ": " + cause + "; name another output file");
    return kExitUsage;
  }
  std::vector<std::string> outputs{out};
  std::string png;
  if (request.preview) {
    png = PreviewPath(out);
    outputs.push_back(png);
    if (!MayDrawPreview(png, inputs, request.overwrite, &cause)) {
      pipeline.Warnings().Show(
          Warning{WarningKind::kFileNotReplaced, OneLine(png) + ": not drawn: " + cause});
      png.clear();
    }
  }
  // OUT.vta: the shapes of the reference's meshes, made like OUT.smd.
  const std::string vta = request.flex ? VtaPath(out) : "";
  if (!vta.empty()) {
    if (!CheckNotAnInput(vta, inputs, &cause)) {
      PrintFailure(vta + ": " + cause + "; name another output file");
      return kExitUsage;
    }
    outputs.push_back(vta);
  }
  pipeline.OpenLog(inputs, outputs);
  status = pipeline.Write(*scene, OptionsFor(request, *scene), out);
  FlexList flexes;
  if (status == kExitSuccess && !vta.empty()) {
    status = pipeline.Write(*scene, OptionsFor(request, *scene), vta, false, &flexes);
  }
  if (status == kExitSuccess) status = pipeline.Judge(NotWritten(out));
  if (status == kExitSuccess && !png.empty()) {
    std::string bytes, error;
    if (!DrawPreview(DrawnSmd{pipeline.LastTemporary(), out}, nullptr, &bytes, &error)) {
      PrintFailure(error + "; nothing was replaced");
      return kExitExportFailed;
    }
    status = pipeline.Prepare(png, bytes, true);
  }
  if (status == kExitSuccess) status = pipeline.Commit();
  if (status == kExitSuccess && !request.quiet) {
    SceneMeasure measure = Measure(*scene, request.selectedOnly);
    const ExportOptions options = OptionsFor(request, *scene);
    measure.sequence = options.exportSequence;
    measure.firstFrame = options.startFrame;
    measure.lastFrame = options.endFrame;
    // stdout holds the SMD itself.
    PrintSummary(SummaryLine(out == "-" ? "stdout" : out, measure, pipeline.Unit(),
                             IsModelFile(request.scenePath)),
                 out == "-");
  }
  return status;
}

// The folder of --all given a name that looks like one of the files it
// writes, and nothing there yet: it would make a folder "model.smd".
bool LooksLikeFile(const std::string& path) {
  std::string name = path;
  while (name.size() > 1 && name.back() == '/') name.pop_back();
  const std::size_t slash = name.find_last_of('/');
  if (slash != std::string::npos) name.erase(0, slash + 1);
  const std::size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || dot == 0) return false;
  std::string extension = name.substr(dot + 1);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  // What is there already is made or refused as it is.
  struct stat st {};
  const bool there = ::lstat(path.c_str(), &st) == 0;
  return !there &&
         (extension == "smd" || extension == "qc" || extension == "mdl" || extension == "png");
}

// The name without its extension, for the hint.
std::string ModelFolderHint(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const std::size_t slash = path.find_last_of('/');
  const std::size_t dot = path.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1)) path.erase(dot);
  return path;
}

}  // namespace

int RunExport(const ExportRequest& request) {
  if (request.scenePath.empty()) {
    PrintFailure("the scene's file name is empty (see --help)");
    return kExitUsage;
  }
  if (request.all && request.outputPath == "-") {
    PrintFailure(
        "--all writes several files into the folder -o names; -o - (stdout) takes one "
        "SMD: name a folder, or leave out --all");
    return kExitUsage;
  }
  if (request.all && LooksLikeFile(request.outputPath)) {
    PrintFailure(request.outputPath +
                 ": --all writes several files into the folder -o names, and this looks like "
                 "a file's name; name a folder (-o " +
                 ModelFolderHint(request.outputPath) + ")");
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
