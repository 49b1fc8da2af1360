#include "export/export_scene.h"

#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "export/export_job.h"
#include "export/node_registry.h"
#include "export/nodes_writer.h"
#include "export/section_input.h"
#include "export/skeleton_writer.h"
#include "export/triangles_writer.h"
#include "export/warning_reporter.h"
#include "smd/c_locale.h"

namespace kw {

namespace {

// The coordinate system handed to the conversion manager.
constexpr int kCoordSystem = 0;

void PrintDebug(DebugOutput* debug, const std::string& line) {
  if (debug) debug->Print(line);
}

// The error callback handed to the scene-access library for one export:
// each error becomes a line of that export's debug output.
class MyErrorProc : public IGameErrorCallBack {
 public:
  MyErrorProc(SceneHost& host, DebugOutput* debug) : host_(host), debug_(debug) {}
  void ErrorProc(int errorCode) override {
    if (!debug_) return;
    const char* text = host_.GetLastErrorText();
    debug_->Print("ErrorCode = " + std::to_string(errorCode) +
                  " ErrorText = " + (text ? text : "") + "\n");
  }

 private:
  SceneHost& host_;
  DebugOutput* debug_;
};

// Registered for as long as it lives, so the library never calls it gone.
class ErrorsRouted {
 public:
  ErrorsRouted(SceneHost& host, DebugOutput* debug) : host_(host), proc_(host, debug) {
    host_.SetErrorCallBack(&proc_);
  }
  ~ErrorsRouted() { host_.SetErrorCallBack(nullptr); }
  ErrorsRouted(const ErrorsRouted&) = delete;
  ErrorsRouted& operator=(const ErrorsRouted&) = delete;

 private:
  SceneHost& host_;
  MyErrorProc proc_;
};

// Ends the use of the scene when it goes out of scope, on every path. The
// node records point into the scene, so they go first.
class SceneInUse {
 public:
  SceneInUse(IGameScene& scene, NodeRegistry& nodes) : scene_(scene), nodes_(nodes) {}
  ~SceneInUse() {
    nodes_.ClearNodes();
    // Nothing may leave a destructor, least of all while an exception passes.
    try {
      scene_.Release();
    } catch (...) {
    }
  }
  SceneInUse(const SceneInUse&) = delete;
  SceneInUse& operator=(const SceneInUse&) = delete;

 private:
  IGameScene& scene_;
  NodeRegistry& nodes_;
};

// One run: owns the locale, the reporter, the node registry and both outputs.
class ExportJob {
 public:
  ExportJob(const ExportOptions& options, OutputFiles& files, const ExportReports& reports)
      : options_(options), files_(files), reports_(reports), warnings_(reports.warnings, locale_) {}

  ExportResult Run(SceneHost& host, const std::string& path, const SectionsWriter& sections);

 private:
  // Whatever is still open when it goes is closed: the SMD first, then the log.
  struct Outputs {
    explicit Outputs(WarningReporter& reporter) : warnings(reporter) {}
    ~Outputs() { warnings.LogTo(nullptr, false); }
    Outputs(const Outputs&) = delete;
    Outputs& operator=(const Outputs&) = delete;

    WarningReporter& warnings;
    std::unique_ptr<TextStream> log;
    std::unique_ptr<TextStream> smd;
  };

  bool OpenOutputs(const std::string& path, Outputs& outputs);
  void CloseOutputs(Outputs& outputs);
  void Fail(const std::string& message);

  const ExportOptions& options_;
  OutputFiles& files_;
  ExportReports reports_;
  CLocale locale_;
  WarningReporter warnings_;
  NodeRegistry nodes_;
  ExportResult result_{ExportOutcome::kCompleted, std::string()};
};

ExportResult ExportJob::Run(SceneHost& host, const std::string& path,
                            const SectionsWriter& sections) {
  IGameScene* scene = host.GetScene();
  if (!scene) {
    Fail("No scene to export.");
    return result_;
  }
  ErrorsRouted routed(host, reports_.debug);
  const int ticksPerFrame = scene->GetTicksPerFrame();
  if (ticksPerFrame <= 0) {
    // Every frame computation divides or steps by it.
    warnings_.Report(WarningKind::kNothingExported,
                     "The scene's ticks per frame (%d) must be a positive number.\n"
                     "Nothing was exported.",
                     ticksPerFrame);
    Fail("The scene's ticks per frame (" + std::to_string(ticksPerFrame) +
         ") must be a positive number.");
    return result_;
  }

  if (IGameConversionManager* conversion = host.GetConversionManager()) {
    conversion->SetCoordSystem(kCoordSystem);
  }
  scene->Initialise(options_.selectedOnly);
  scene->SetStaticFrame(0);

  Outputs outputs(warnings_);
  {
    SceneInUse inUse(*scene, nodes_);
    nodes_.ClearNodes();
    nodes_.CollectNodes(*scene, options_.selectedOnly);
    if (OpenOutputs(path, outputs)) {
      outputs.smd->Put("version 1\n");
      sections(SectionInput{*outputs.smd, nodes_, warnings_, options_, ticksPerFrame});
    }
  }
  CloseOutputs(outputs);
  return result_;
}

bool ExportJob::OpenOutputs(const std::string& path, Outputs& outputs) {
  std::string error;
  std::unique_ptr<ByteSink> log = files_.Open(kLogFileName, OutputKind::kLog, &error);
  if (!log) {
    warnings_.Report(WarningKind::kNothingExported,
                     "Could not open the log file \"%s\": %s.\nNothing was exported.", kLogFileName,
                     error.c_str());
    Fail(std::string("could not open the log file \"") + kLogFileName + "\": " + error);
    return false;
  }
  outputs.log = std::make_unique<TextStream>(std::move(log));
  outputs.log->Put("Kestrelworks Log File\n=====================\n\nExporting file: \"");
  outputs.log->Put(path);
  outputs.log->Put("\"\n\n");
  warnings_.LogTo(outputs.log.get(), options_.logWarnings);

  std::unique_ptr<ByteSink> smd = files_.Open(path, OutputKind::kSmd, &error);
  if (!smd) {
    warnings_.Report(WarningKind::kNothingExported,
                     "Could not open the output file \"%s\": %s.\nNothing was exported.",
                     path.c_str(), error.c_str());
    Fail("could not open \"" + path + "\": " + error);
    return false;
  }
  outputs.smd = std::make_unique<TextStream>(std::move(smd));
  return true;
}

void ExportJob::CloseOutputs(Outputs& outputs) {
  if (outputs.smd) {
    if (!outputs.smd->Close()) {
      const std::string error = outputs.smd->Error();
      warnings_.Report(WarningKind::kFileIncomplete,
                       "Could not write the output file: %s.\nThe file is incomplete.",
                       error.c_str());
      Fail("could not write " + error);
    }
    outputs.smd.reset();
  }
  if (outputs.log) {
    warnings_.LogTo(nullptr, false);
    if (!outputs.log->Close() && result_.outcome != ExportOutcome::kFailed) {
      // The SMD itself is whole; a lost log is worth a debug line, not a failed export.
      PrintDebug(reports_.debug, "Could not write the log file: " + outputs.log->Error() + "\n");
    }
    outputs.log.reset();
  }
}

void ExportJob::Fail(const std::string& message) {
  if (result_.outcome == ExportOutcome::kFailed) return;
  result_.outcome = ExportOutcome::kFailed;
  result_.failureMessage = message;
}

}  // namespace

ExportResult RunExportJob(SceneHost& host, const ExportOptions& options, const std::string& path,
                          OutputFiles& files, const ExportReports& reports,
                          const SectionsWriter& sections) {
  ExportJob job(options, files, reports);
  return job.Run(host, path, sections);
}

ExportResult ExportScene(SceneHost& host, const ExportOptions& options, const std::string& smdPath,
                         OutputFiles& files, const ExportReports& reports) {
  return RunExportJob(host, options, smdPath, files, reports, [](const SectionInput& input) {
    WriteNodes(input);
    WriteSkeleton(input);
    WriteTriangles(input);
  });
}

bool SceneFrames(const IGameScene& scene, FrameRange* frames) {
  const int ticksPerFrame = scene.GetTicksPerFrame();
  if (ticksPerFrame <= 0) return false;
  frames->first = scene.GetStartTicks() / ticksPerFrame;
  frames->last = scene.GetEndTicks() / ticksPerFrame;
  return true;
}

}  // namespace kw
