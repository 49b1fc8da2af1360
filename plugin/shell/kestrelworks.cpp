#include "plugin/shell/kestrelworks.h"

#include <exception>
#include <string>

#include "export/export_scene.h"
#include "smd/text_output.h"

namespace kw {

namespace {

// The host shows Version() / 100; 40 * 1.25 = 50 reads as 0.50, the
// library's file version 0.5.
constexpr float kVersionValue = 1.25f;

class HostDebugOutput : public DebugOutput {
 public:
  // "%s": a scene's error text may hold a '%'.
  void Print(const std::string& line) override { DebugPrint("%s", line.c_str()); }
};

// The host redraws its views once the scene has been released, even when
// the export was interrupted.
class RedrawWhenDone {
 public:
  explicit RedrawWhenDone(Interface* core) : core_(core) {}
  ~RedrawWhenDone() {
    try {
      if (core_) core_->ForceCompleteRedraw();
    } catch (...) {
    }
  }
  RedrawWhenDone(const RedrawWhenDone&) = delete;
  RedrawWhenDone& operator=(const RedrawWhenDone&) = delete;

 private:
  Interface* core_;
};

}  // namespace

Kestrelworks::Kestrelworks(PluginHost& host, OptionsStep& optionsStep, WarningPresenter& warnings)
    : host_(host), optionsStep_(optionsStep), warnings_(warnings) {}

int Kestrelworks::DoExport(const char* path, ExpInterface*, Interface* hostInterface, int,
                           std::uint32_t hostOptions) noexcept {
  try {
    Export(path, hostInterface, (hostOptions & SCENE_EXPORT_SELECTED) != 0);
  } catch (const std::exception& error) {
    Stopped(error.what());
  } catch (...) {
    Stopped("unknown error");
  }
  return 1;
}

void Kestrelworks::Export(const char* path, Interface* hostInterface, bool selectedOnly) {
  Interface* core = host_.GetCoreInterface();
  IGameScene* scene = host_.GetScene();
  // The stray "%" the line once carried is undefined behaviour in printf.
  DebugPrint("3ds max compatible version %.2f\n", host_.GetSupported3DSVersion());

  ExportOptions chosen = options_;
  FrameRange frames;
  // Without a scene or with no valid timing there is no range to offer;
  // ExportScene says why nothing was exported.
  if (scene && SceneFrames(*scene, &frames)) {
    Interface* windows = hostInterface ? hostInterface : core;
    if (optionsStep_.Run(frames, chosen, windows ? windows->GetMAXHWnd() : nullptr) == 0) return;
  }
  chosen.selectedOnly = selectedOnly;
  options_ = chosen;

  RedrawWhenDone redraw(core);
  DiskFiles files;
  HostDebugOutput debug;
  ExportReports reports;
  reports.warnings = &warnings_;
  reports.debug = &debug;
  ExportScene(host_, options_, path ? path : "", files, reports);
}

void Kestrelworks::Stopped(const char* reason) noexcept {
  try {
    warnings_.Show(Warning{
        WarningKind::kFileIncomplete,
        std::string("The export stopped: ") + reason + ".\nThe SMD file may be incomplete."});
  } catch (...) {
    // Nothing more can be done without risking the host.
  }
}

int Kestrelworks::ExtCount() { return 1; }
const char* Kestrelworks::Ext(int) { return "smd"; }
const char* Kestrelworks::LongDesc() { return "Source Studio Model Data (SMD) Export"; }
const char* Kestrelworks::ShortDesc() { return "Source SMD"; }
const char* Kestrelworks::AuthorName() { return "Kestrelworks developers"; }
const char* Kestrelworks::CopyrightMessage() { return "Copyright 2026 Kestrelworks developers"; }
const char* Kestrelworks::OtherMessage1() { return "https://kestrelworks.invalid/"; }
const char* Kestrelworks::OtherMessage2() { return ""; }
unsigned int Kestrelworks::Version() {
  return static_cast<unsigned int>(static_cast<int>(40.0f * kVersionValue));
}
void Kestrelworks::ShowAbout(HostWindow) {}
int Kestrelworks::SupportsOptions(int, std::uint32_t) { return 1; }

}  // namespace kw
