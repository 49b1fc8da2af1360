// One export, from the scene to the closed SMD: a function of its inputs.
// It takes the scene (through the scene-access interface), the options as a
// plain value, where the bytes go and where the warnings and debug lines go;
// it asks nothing back on the way and keeps nothing afterwards, so exports
// of different scenes can run side by side.
//
// In order: the scene's errors are routed to this export's debug output, the
// scene is initialised (all nodes or the selection), the nodes are
// collected, the log "kestrelworks_log.txt" and the SMD are opened through
// the given files, the sections are written, the scene is released and both
// files are closed, whatever happens on the way.
#pragma once

#include <string>

#include "diagnostics/outputs.h"
#include "export/export_options.h"
#include "scene/scene_host.h"
#include "smd/text_output.h"

namespace kw {

// Where an export's warnings and debug lines go; null: nowhere (warnings
// still reach the log when it is asked for).
struct ExportReports {
  WarningPresenter* warnings = nullptr;
  DebugOutput* debug = nullptr;
};

enum class ExportOutcome { kCompleted, kFailed };

struct ExportResult {
  ExportOutcome outcome = ExportOutcome::kFailed;
  // Why it failed; empty when it completed.
  std::string failureMessage;
};

// The log's file name, opened through the files in the current directory.
constexpr const char* kLogFileName = "kestrelworks_log.txt";

// Writes the SMD of the host's scene to smdPath, opened through files.
ExportResult ExportScene(SceneHost& host, const ExportOptions& options, const std::string& smdPath,
                         OutputFiles& files, const ExportReports& reports);

// The scene's first and last frame: start and end ticks over ticks per
// frame, truncated toward zero. False when ticks per frame is not positive.
bool SceneFrames(const IGameScene& scene, FrameRange* frames);

}  // namespace kw
