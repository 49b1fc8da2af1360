#include "cli/export_pipeline.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <new>
#include <set>

#include "cli/byte_relay.h"
#include "cli/check_command.h"
#include "cli/exit_cleanup.h"
#include "cli/exit_codes.h"
#include "cli/failure_line.h"
#include "cli/isolated_run.h"
#include "cli/progress_line.h"
#include "cli/size_estimate.h"
#include "export/export_scene.h"
#include "smd/stream_check.h"

namespace kw {

namespace {

// --verbose: the scene-access library's errors, as they come.
class StderrDebug : public DebugOutput {
 public:
  void Print(const std::string& line) override { std::fwrite(line.data(), 1, line.size(), stderr); }
};

std::uint64_t FrameCount(const ExportOptions& options) {
  // In 64 bits: the widest int range is 2^32 frames.
  return static_cast<std::uint64_t>(static_cast<long long>(options.endFrame) - options.startFrame +
                                    1);
}

std::string Plural(int count, const char* word) {
  return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

int NonFiniteCount(const StderrWarnings& warnings) {
  return warnings.CountOf(WarningKind::kNonFinite) +
         warnings.CountOf(WarningKind::kNonFiniteNumber);
}

}  // namespace

ExportPipeline::ExportPipeline(const ExportRequest& request) : request_(request) {
  if (request.log) log_.AskFor(request.logPath);
  warnings_.LogTo(&log_);
  if (request.outputPath == "-" && !request.all) {
    SetStoppedNote("the SMD written to stdout is not to be used");
  }
}

std::string NotWritten(const std::string& path) {
  return path == "-" ? "stdout: the SMD written there is not to be used: "
                     : path + ": not written: ";
}

std::unique_ptr<MemoryScene> ExportPipeline::Read(SceneAnimations* animations, int* status) {
  SceneLoadOptions load = request_.load;
  load.pose = request_.sequence ? "animation" : request_.pose;
  const std::string outOfMemory = request_.scenePath + ": not enough memory to read the scene";
  SetUncaughtFailure(kExitSceneUnreadable, OneLine(outOfMemory));
  std::string error;
  std::vector<Warning> importWarnings;
  bool usage = false;
  std::unique_ptr<MemoryScene> scene;
  try {
    scene =
        LoadScene(request_.scenePath, load, &error, &importWarnings, animations, &usage, &unit_);
  } catch (const std::bad_alloc&) {
    error = outOfMemory;
  }
  log_.Section("Reading file: \"" + OneLine(request_.scenePath) + "\"");
  for (const Warning& warning : importWarnings) warnings_.Show(warning);
  if (!scene) {
    PrintFailure(error);
    *status = usage ? kExitUsage : kExitSceneUnreadable;
    return nullptr;
  }
  NoteSceneRead();
  *status = kExitSuccess;
  return scene;
}

std::vector<RunInput> ExportPipeline::Inputs(MemoryScene& scene) const {
  std::vector<RunInput> inputs{{request_.scenePath, "the scene being exported"}};
  const std::size_t slash = request_.scenePath.find_last_of('/');
  const std::string folder =
      slash == std::string::npos ? "" : request_.scenePath.substr(0, slash + 1);
  std::set<std::string> seen;
  auto add = [&](SceneMaterial* material) {
    SceneTextureMap* map =
        material && !material->IsMultiMaterial() ? material->GetTextureMap(0) : nullptr;
    const char* name = map ? map->GetBitmapFileName() : nullptr;
    if (!name || !*name) return;
    const std::string path = name[0] == '/' ? name : folder + name;
    if (seen.insert(path).second) inputs.push_back(RunInput{path, "a texture the scene names"});
  };
  for (int id = 0; MemoryNode* node = scene.FindNode(id); ++id) {
    SceneMaterial* material = node->GetMaterial();
    add(material);
    for (int i = 0; material && material->IsMultiMaterial() && i < material->GetSubMaterialCount();
         ++i) {
      add(material->GetSubMaterial(i));
    }
  }
  return inputs;
}

void ExportPipeline::OpenLog(const std::vector<RunInput>& inputs,
                             const std::vector<std::string>& outputs) {
  std::string problem;
  if (!log_.Open(inputs, outputs, &problem)) {
    warnings_.Show(Warning{WarningKind::kLogNotWritten, problem});
  }
}

const std::string& ExportPipeline::LastTemporary() const {
  static const std::string none;
  return files_.empty() ? none : files_.back()->TemporaryPath();
}

int ExportPipeline::Write(MemoryScene& scene, const ExportOptions& options, const std::string& path,
                          bool replaceName, FlexList* flexes) {
  const bool toStdout = path == "-";
  const std::string shownPath = toStdout ? "stdout" : path;
  const std::string outOfMemory =
      shownPath + (toStdout ? ": not enough memory to write the export; the SMD written there "
                              "is not to be used"
                            : ": not enough memory to write the export; no file was replaced");
  SetUncaughtFailure(kExitExportFailed, OneLine(outOfMemory));

  const SizeEstimate estimate =
      EstimateSmdSize(scene, options.exportSequence, FrameCount(options), options.selectedOnly);
  std::string target, cause;
  if (!toStdout && FollowLinks(path, &target, &cause) &&
      !CheckFreeSpace(target, estimate, &cause)) {
    PrintFailure(path + ": " + cause);
    return kExitExportFailed;
  }

  files_.push_back(std::make_unique<ReplacingFiles>(replaceName));
  ReplacingFiles& files = *files_.back();
  log_.Section("Exporting file: \"" + OneLine(shownPath) + "\"");
  ProgressLine progress(shownPath, estimate, request_.quiet);
  // The limits are checked on the bytes as they go out, stdout's too, on a
  // thread of their own so that the writing thread does not wait for them.
  smd::StreamCheck written;
  ByteRelay toCheck([&written](const char* data, std::size_t size) { written.Feed(data, size); });
  files.OnSmdBytes([&progress, &toCheck](const char* data, std::size_t size) {
    progress.Add(size);
    toCheck.Feed(data, size);
  });
  // The first refused write ends the run: going on would only compute what
  // can no longer be written, for hours on a long sequence.
  files.OnSmdFailure([&progress, toStdout](const std::string& line) {
    progress.Clear();
    PrintFailure(toStdout ? line + "; the SMD written there is not to be used" : line);
    RemoveTemporaryFiles();
    std::fflush(nullptr);
    ::_exit(kExitExportFailed);
  });
  StderrDebug debug;
  const ExportReports reports{&warnings_, request_.verbose ? &debug : nullptr};
  const int nonFiniteBefore = NonFiniteCount(warnings_);
  const int foundBefore = warnings_.CountOf(WarningKind::kNonFinite);

  ExportResult result;
  try {
    result = flexes ? ExportFlexes(scene, options, path, files, reports, flexes)
                    : ExportScene(scene, options, path, files, reports);
  } catch (const std::bad_alloc&) {
    progress.Clear();
    files.Discard();
    PrintFailure(outOfMemory);
    return kExitExportFailed;
  }
  progress.Clear();
  files.OnSmdBytes(nullptr);
  files.OnSmdFailure(nullptr);

  const bool completed = result.outcome == ExportOutcome::kCompleted;
  const std::string logProblem = log_.TakeProblem();
  if (!logProblem.empty()) warnings_.Show(Warning{WarningKind::kLogNotWritten, logProblem});
  if (completed && !flexes && estimate.nodes == 0) {
    warnings_.Show(Warning{WarningKind::kNoNodes,
                           options.selectedOnly
                               ? "No node is selected: the SMD holds no nodes."
                               : "The scene holds no node to export: the SMD holds no nodes."});
  }
  // What the compiler will make of the file, before it replaces the old one;
  // numbers the export already found not finite are not told twice.
  if (completed && !flexes && (toStdout || !files.TemporaryPath().empty()) &&
      warnings_.CountOf(WarningKind::kNonFinite) == foundBefore) {
    CheckWrittenSmd(files.TemporaryPath(), OneLine(shownPath), &warnings_,
                    toCheck.Close() ? &written : nullptr);
  }
  if (!completed) {
    warnings_.PrintSummary();
    files.Discard();
    // A file that failed names itself; anything else is the scene's doing.
    PrintFailure(!files.Failure().empty() ? files.Failure()
                                          : request_.scenePath + ": " + result.failureMessage);
    return kExitExportFailed;
  }
  const int nonFinite = NonFiniteCount(warnings_) - nonFiniteBefore;
  if (nonFinite > 0) {
    warnings_.PrintSummary();
    files.Discard();
    PrintFailure(NotWritten(path) + "it would hold numbers that are not finite (NaN or infinity; " +
                 "see the " + (nonFinite == 1 ? "warning" : "warnings") + " above)");
    return kExitExportFailed;
  }
  return kExitSuccess;
}

int ExportPipeline::Judge(const std::string& notWritten) {
  warnings_.PrintSummary();
  const int warningCount = warnings_.Count();
  if (request_.strict && warningCount > 0) {
    PrintFailure(notWritten + Plural(warningCount, "warning") + " and --strict");
    return kExitStrictWarnings;
  }
  return kExitSuccess;
}

int ExportPipeline::Prepare(const std::string& path, const std::string& bytes, bool replaceName) {
  files_.push_back(std::make_unique<ReplacingFiles>(replaceName));
  ReplacingFiles& files = *files_.back();
  std::string error;
  std::unique_ptr<ByteSink> sink = files.Open(path, OutputKind::kSmd, &error);
  if (!sink || !sink->Write(bytes.data(), bytes.size(), &error) || !sink->Finish(&error)) {
    files.Discard();
    PrintFailure(!files.Failure().empty() ? files.Failure() : path + ": " + error);
    return kExitExportFailed;
  }
  return kExitSuccess;
}

int ExportPipeline::Commit() {
  for (const std::unique_ptr<ReplacingFiles>& files : files_) {
    std::string error;
    if (!files->Commit(&error)) {
      PrintFailure(error);
      return kExitExportFailed;
    }
  }
  return kExitSuccess;
}

}  // namespace kw
