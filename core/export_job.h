// One export, from the scene to the closed SMD file: it asks for the options,
// prepares the scene, collects the nodes, opens the log and the SMD and has
// the section writers fill the SMD. It owns the options, the scene's timing,
// both outputs, the warning reporter and the node registry, and reads the
// scene only through the host it is given, so exports of different scenes
// can run side by side.
//
// What depends on the surroundings comes in through ExportSeams: the options
// step (the dialog on the host, the command line here), how a warning is
// shown, and where the files go.
#pragma once

#include <string>

#include "core/c_locale.h"
#include "core/export_options.h"
#include "core/node_registry.h"
#include "core/text_output.h"
#include "core/warning_reporter.h"
#include "host/scene_host.h"

namespace kw {

// In the order options, warnings, files: ExportSeams{&step, &warnings, &files}.
struct ExportSeams {
  OptionsStep* options = nullptr;        // null: go on with the options as they stand
  WarningPresenter* warnings = nullptr;  // null: warnings are only logged
  OutputFiles* files = nullptr;          // null: plain files on disk
};

// How an export ended. The host is answered 1 whatever happened; callers
// that can act on a failure read this.
enum class ExportOutcome { kNotRun, kCompleted, kCancelled, kFailed };

class ExportJob {
 public:
  static constexpr const char* kLogFileName = "kestrelworks_log.txt";

  // preset: the options the options step starts from, and those the export
  // runs with when there is no step. host and seams must outlive the job.
  ExportJob(SceneHost& host, const ExportSeams& seams, const ExportOptions& preset);
  ~ExportJob();
  ExportJob(const ExportJob&) = delete;
  ExportJob& operator=(const ExportJob&) = delete;

  // Runs the export to path. dialogParent: the options step's parent window.
  // Whatever happens, an exception included, the scene is released and both
  // outputs are closed before it returns.
  void Run(const char* path, HostWindow dialogParent, bool selectedOnly);

  ExportOutcome Outcome() const { return outcome_; }
  // Why the export failed; empty unless Outcome() is kFailed.
  const std::string& FailureMessage() const { return failureMessage_; }
  // The options the export ran with: the preset, or what the step chose.
  const ExportOptions& Options() const { return options_; }

 private:
  struct Outputs;

  void WriteFile(IGameScene& scene, const char* path, bool selectedOnly);
  bool OpenOutputs(const char* path, Outputs& outputs);
  void CloseOutputs(Outputs& outputs);
  void Fail(const std::string& message);

  SceneHost& host_;
  ExportSeams seams_;
  ExportOptions options_;
  CLocale locale_;
  WarningReporter warnings_;
  NodeRegistry nodes_;
  DiskFiles diskFiles_;
  int ticksPerFrame_ = 0;
  ExportOutcome outcome_ = ExportOutcome::kNotRun;
  std::string failureMessage_;
};

// The error callback handed to the scene-access library: writes each error
// to the host's debug output.
class MyErrorProc : public IGameErrorCallBack {
 public:
  void ErrorProc(int errorCode) override;
};

}  // namespace kw
