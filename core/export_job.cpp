#include "core/export_job.h"

#include <memory>
#include <string>
#include <utility>

#include "core/nodes_writer.h"
#include "core/section_input.h"
#include "core/skeleton_writer.h"
#include "core/triangles_writer.h"

namespace kw {

namespace {

// The scene-access library keeps the callback for as long as it lives, so
// the callback lives as long as this library.
MyErrorProc g_errorProc;

// The coordinate system handed to the conversion manager.
constexpr int kCoordSystem = 0;

// Ends the use of the scene when it goes out of scope, on every path. The
// node records point into the scene, so they go first.
class SceneInUse {
 public:
  SceneInUse(IGameScene& scene, Interface* core, NodeRegistry& nodes)
      : scene_(scene), core_(core), nodes_(nodes) {}
  ~SceneInUse() {
    nodes_.ClearNodes();
    // Nothing may leave a destructor, least of all while an exception passes.
    try {
      scene_.Release();
      if (core_) core_->ForceCompleteRedraw();
    } catch (...) {
    }
  }
  SceneInUse(const SceneInUse&) = delete;
  SceneInUse& operator=(const SceneInUse&) = delete;

 private:
  IGameScene& scene_;
  Interface* core_;
  NodeRegistry& nodes_;
};

}  // namespace

// The two files of one export. Whatever is still open when it goes is
// closed: the SMD first, then the log.
struct ExportJob::Outputs {
  explicit Outputs(WarningReporter& reporter) : warnings(reporter) {}
  ~Outputs() { warnings.LogTo(nullptr, false); }
  Outputs(const Outputs&) = delete;
  Outputs& operator=(const Outputs&) = delete;

  WarningReporter& warnings;
  std::unique_ptr<TextStream> log;
  std::unique_ptr<TextStream> smd;
};

void MyErrorProc::ErrorProc(int errorCode) {
  DebugPrint("ErrorCode = %d ErrorText = %s\n", errorCode, GetLastIGameErrorText());
}

ExportJob::ExportJob(SceneHost& host, const ExportSeams& seams, const ExportOptions& preset)
    : host_(host), seams_(seams), options_(preset), warnings_(seams.warnings, locale_) {}

ExportJob::~ExportJob() = default;

void ExportJob::Run(const char* path, HostWindow dialogParent, bool selectedOnly) {
  outcome_ = ExportOutcome::kNotRun;
  failureMessage_.clear();

  Interface* core = host_.GetCoreInterface();
  IGameScene* scene = host_.GetScene();
  host_.SetErrorCallBack(&g_errorProc);
  // The stray "%" the line once carried is undefined behaviour in printf.
  DebugPrint("3ds max compatible version %.2f\n", host_.GetSupported3DSVersion());

  if (!scene) {
    Fail("No scene to export.");
    return;
  }
  const int startTicks = scene->GetStartTicks();
  const int endTicks = scene->GetEndTicks();
  ticksPerFrame_ = scene->GetTicksPerFrame();
  if (ticksPerFrame_ <= 0) {
    // Every frame computation divides or steps by it.
    warnings_.Report(kw::WarningKind::kNothingExported,
                     "The scene's ticks per frame (%d) must be a positive number.\n"
                     "Nothing was exported.",
                     ticksPerFrame_);
    Fail("The scene's ticks per frame (" + std::to_string(ticksPerFrame_) +
         ") must be a positive number.");
    return;
  }

  if (seams_.options) {
    OptionsChoice choice;
    choice.animStartFrame = startTicks / ticksPerFrame_;
    choice.animEndFrame = endTicks / ticksPerFrame_;
    choice.options = options_;
    if (seams_.options->Run(choice, dialogParent) == 0) {
      outcome_ = ExportOutcome::kCancelled;
      return;
    }
    options_ = choice.options;
  }

  if (IGameConversionManager* conversion = host_.GetConversionManager()) {
    conversion->SetCoordSystem(kCoordSystem);
  }
  scene->Initialise(selectedOnly);
  scene->SetStaticFrame(0);

  Outputs outputs(warnings_);
  {
    SceneInUse inUse(*scene, core, nodes_);
    nodes_.ClearNodes();
    nodes_.CollectNodes(*scene, selectedOnly);
    if (OpenOutputs(path, outputs)) {
      outputs.smd->Put("version 1\n");
      const SectionInput input{*outputs.smd, nodes_, warnings_, options_, ticksPerFrame_};
      WriteNodes(input);
      WriteSkeleton(input);
      WriteTriangles(input);
    }
  }
  CloseOutputs(outputs);
  if (outcome_ == ExportOutcome::kNotRun) outcome_ = ExportOutcome::kCompleted;
}

bool ExportJob::OpenOutputs(const char* path, Outputs& outputs) {
  OutputFiles& files = seams_.files ? *seams_.files : diskFiles_;
  std::string error;
  std::unique_ptr<ByteSink> log = files.Open(kLogFileName, OutputKind::kLog, &error);
  if (!log) {
    warnings_.Report(kw::WarningKind::kNothingExported,
                     "Could not open the log file \"%s\": %s.\nNothing was exported.", kLogFileName,
                     error.c_str());
    Fail(std::string("could not open the log file \"") + kLogFileName + "\": " + error);
    return false;
  }
  outputs.log = std::make_unique<TextStream>(std::move(log));
  outputs.log->Put("Kestrelworks Log File\n=====================\n\nExporting file: \"");
  outputs.log->Put(path);
  outputs.log->Put("\"\n\n");
  warnings_.LogTo(outputs.log.get(), options_.logWarnings != 0);

  std::unique_ptr<ByteSink> smd = files.Open(path, OutputKind::kSmd, &error);
  if (!smd) {
    warnings_.Report(kw::WarningKind::kNothingExported,
                     "Could not open the output file \"%s\": %s.\nNothing was exported.", path,
                     error.c_str());
    Fail(std::string("could not open \"") + path + "\": " + error);
    return false;
  }
  outputs.smd = std::make_unique<TextStream>(std::move(smd));
  return true;
}

void ExportJob::CloseOutputs(Outputs& outputs) {
  if (outputs.smd) {
    if (!outputs.smd->Close()) {
      const std::string error = outputs.smd->Error();
      warnings_.Report(kw::WarningKind::kFileIncomplete,
                       "Could not write the output file: %s.\nThe file is incomplete.",
                       error.c_str());
      Fail("could not write " + error);
    }
    outputs.smd.reset();
  }
  if (outputs.log) {
    warnings_.LogTo(nullptr, false);
    if (!outputs.log->Close() && outcome_ != ExportOutcome::kFailed) {
      // The SMD itself is whole; a lost log is worth a debug line, not a failed export.
      DebugPrint("Could not write the log file: %s\n", outputs.log->Error().c_str());
    }
    outputs.log.reset();
  }
}

void ExportJob::Fail(const std::string& message) {
  if (outcome_ == ExportOutcome::kFailed) return;
  outcome_ = ExportOutcome::kFailed;
  failureMessage_ = message;
}

}  // namespace kw
