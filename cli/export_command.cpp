#include "cli/export_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <new>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cli/check_command.h"
#include "cli/exit_cleanup.h"
#include "cli/exit_codes.h"
#include "cli/failure_line.h"
#include "cli/isolated_run.h"
#include "cli/large_stack.h"
#include "cli/progress_line.h"
#include "cli/preview_command.h"
#include "cli/replacing_files.h"
#include "cli/size_estimate.h"
#include "cli/stderr_warnings.h"
#include "cli/byte_relay.h"
#include "plugin/shell/kestrelworks.h"
#include "smd/stream_check.h"

namespace kw {

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

// Same device and inode, after links: writing the SMD would destroy the scene.
bool SameFile(const std::string& a, const std::string& b) {
  struct stat first {
  }, second{};
  return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

std::uint64_t SequenceFrames(const ExportRequest& request, const MemoryScene& scene) {
  long long first = 0, last = 0;
  if (!request.range.empty()) {
    first = request.range[0];
    last = request.range[1];
  } else if (scene.GetTicksPerFrame() > 0) {
    first = scene.GetStartTicks() / scene.GetTicksPerFrame();
    last = scene.GetEndTicks() / scene.GetTicksPerFrame();
  }
  if (first > last) std::swap(first, last);
  return static_cast<std::uint64_t>(last - first + 1);
}

std::string Plural(int count, const char* word) {
  return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

// Reads the scene and writes the SMD; in a child process for model files.
int ExportScene(const ExportRequest& request) {
  std::string error;
  SceneLoadOptions load = request.load;
  load.pose = request.sequence ? "animation" : request.pose;
  std::vector<Warning> importWarnings;
  std::unique_ptr<MemoryScene> scene;
  const bool toStdout = request.outputPath == "-";
  const std::string outOfMemory = request.scenePath + ": not enough memory to read the scene";
  SetUncaughtFailure(kExitSceneUnreadable, OneLine(outOfMemory));
  bool usage = false;
  try {
    scene = LoadScene(request.scenePath, load, &error, &importWarnings, nullptr, &usage);
  } catch (const std::bad_alloc&) {
    error = outOfMemory;
  }
  StderrWarnings warnings;
  for (const Warning& warning : importWarnings) warnings.Show(warning);
  if (!scene) {
    PrintFailure(error);
    return usage ? kExitUsage : kExitSceneUnreadable;
  }
  NoteSceneRead();
  const std::string shownOutput = toStdout ? "stdout" : request.outputPath;
  const std::string outOfMemoryWriting =
      shownOutput + ": not enough memory to write the export; no file was replaced";
  SetUncaughtFailure(kExitExportFailed, OneLine(outOfMemoryWriting));

  const SizeEstimate estimate = EstimateSmdSize(
      *scene, request.sequence, SequenceFrames(request, *scene), request.selectedOnly);
  std::string target, cause;
  if (!toStdout && FollowLinks(request.outputPath, &target, &cause) &&
      !CheckFreeSpace(target, estimate, &cause)) {
    PrintFailure(request.outputPath + ": " + cause);
    return kExitExportFailed;
  }
  if (request.verbose) SetDebugSink(PrintDebugLine, nullptr);
  FlagOptions options(request);
  ReplacingFiles files;
  if (request.log) files.WriteLogTo(request.logPath);
  ProgressLine progress(shownOutput, estimate, request.quiet);
  // The limits are checked on the bytes as they go out, stdout's too.
  // The limits are checked on a thread of their own, so that the writing
  // thread does not wait for them.
  smd::StreamCheck written;
  ByteRelay toCheck([&written](const char* data, std::size_t bytes) { written.Feed(data, bytes); });
  files.OnSmdBytes([&progress, &toCheck](const char* data, std::size_t bytes) {
    progress.Add(bytes);
    toCheck.Feed(data, bytes);
  });
  // The first refused write ends the run: going on would only compute what
  // can no longer be written, for hours on a long sequence.
  files.OnSmdFailure([&progress](const std::string& line) {
    progress.Clear();
    PrintFailure(line);
    RemoveTemporaryFiles();
    std::fflush(nullptr);
    ::_exit(kExitExportFailed);
  });
  ExportSeams seams{&options, &warnings, &files};

  Kestrelworks session(scene.get(), seams);
  try {
    session.DoExport(request.outputPath.c_str(), nullptr, scene->GetCoreInterface(), 0,
                     request.selectedOnly ? SCENE_EXPORT_SELECTED : 0);
  } catch (const std::bad_alloc&) {
    progress.Clear();
    files.Discard();
    PrintFailure(outOfMemoryWriting);
    return kExitExportFailed;
  }
  SetDebugSink(nullptr, nullptr);
  progress.Clear();

  const bool completed = session.Outcome() == ExportOutcome::kCompleted;
  if (completed && !files.LogProblem().empty()) {
    warnings.Show(Warning{WarningKind::kLogNotWritten, files.LogProblem()});
  }
  if (completed && estimate.nodes == 0) {
    warnings.Show(Warning{WarningKind::kNoNodes,
                          request.selectedOnly
                              ? "No node is selected: the SMD holds no nodes."
                              : "The scene holds no node to export: the SMD holds no nodes."});
  }
  // What the compiler will make of the file, before it replaces the old one;
  // numbers the export already found not finite are not told twice.
  if (completed && (toStdout || !files.TemporaryPath().empty()) &&
      warnings.CountOf(WarningKind::kNonFinite) == 0) {
    CheckWrittenSmd(files.TemporaryPath(), shownOutput, &warnings,
                    toCheck.Close() ? &written : nullptr);
  }
  warnings.PrintSummary();
  // What went to stdout cannot be taken back; the line says not to use it.
  const std::string notWritten = toStdout ? "stdout: the SMD written there is not to be used: "
                                          : shownOutput + ": not written: ";
  if (!completed) {
    files.Discard();
    // A file that failed names itself; anything else is the scene's doing.
    const std::string failure = !files.Failure().empty()
                                    ? files.Failure()
                                    : request.scenePath + ": " + session.FailureMessage();
    PrintFailure(failure);
    return kExitExportFailed;
  }
  const int nonFinite =
      warnings.CountOf(WarningKind::kNonFinite) + warnings.CountOf(WarningKind::kNonFiniteNumber);
  if (nonFinite > 0) {
    files.Discard();
    PrintFailure(notWritten + "it would hold numbers that are not finite (NaN or infinity; " +
                 "see the " + (nonFinite == 1 ? "warning" : "warnings") + " above)");
    return kExitExportFailed;
  }
  const int warningCount = warnings.Count();
  if (request.strict && warningCount > 0) {
    files.Discard();
    PrintFailure(notWritten + Plural(warningCount, "warning") + " and --strict");
    return kExitStrictWarnings;
  }
  if (!files.Commit(&error)) {
    PrintFailure(error);
    return kExitExportFailed;
  }
  if (request.preview) return PreviewExport(request.outputPath);
  return kExitSuccess;
}

}  // namespace

int RunExport(const ExportRequest& request) {
  // Whatever the command line names wrongly is said before anything is read.
  if (request.scenePath.empty()) {
    PrintFailure("the scene's file name is empty (see --help)");
    return kExitUsage;
  }
  std::string cause;
  if (!CheckOutputPath(request.outputPath, &cause)) {
    PrintFailure(request.outputPath + ": " + cause);
    return kExitExportFailed;
  }
  if (request.preview && request.outputPath == "-") {
    PrintFailure("--preview draws a file beside the SMD; it cannot go with -o - (stdout)");
    return kExitUsage;
  }
  if (request.outputPath != "-" && SameFile(request.scenePath, request.outputPath)) {
    PrintFailure(request.outputPath + ": that is the scene being exported (" + request.scenePath +
                 "); name another output file");
    return kExitUsage;
  }
  if (!CheckSceneFile(request.scenePath, &cause)) {
    PrintFailure(cause);
    return kExitSceneUnreadable;
  }
  if (IsModelFile(request.scenePath)) {
    return RunIsolated(request.scenePath,
                       [&] { return RunOnLargeStack([&] { return ExportScene(request); }); });
  }
  return RunOnLargeStack([&] { return ExportScene(request); });
}

}  // namespace kw
