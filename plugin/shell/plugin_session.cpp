#include "plugin/shell/plugin_session.h"

#include <exception>
#include <string>

#include "plugin/shell/host_scene.h"
#include "plugin/shell/options_dialog.h"
#include "plugin/shell/warning_box.h"

namespace kw {

namespace {

// Stateless, so one of each serves every session.
OptionsDialog g_optionsDialog;
WarningBox g_warningBox;

ExportSeams PluginSeams() {
  ExportSeams seams;
  seams.options = &g_optionsDialog;
  seams.warnings = &g_warningBox;
  return seams;
}

}  // namespace

PluginSession::PluginSession() : Kestrelworks(&TheHostScene(), PluginSeams()) {}

int PluginSession::DoExport(const char* path, ExpInterface* exportInterface,
                            Interface* hostInterface, int suppressPrompts,
                            std::uint32_t hostOptions) noexcept {
  try {
    return Kestrelworks::DoExport(path, exportInterface, hostInterface, suppressPrompts,
                                  hostOptions);
  } catch (const std::exception& error) {
    Abandon(error.what());
  } catch (...) {
    Abandon("unknown error");
  }
  return 1;
}

void PluginSession::Abandon(const char* reason) noexcept {
  try {
    MarkFailed(std::string("the export stopped: ") + reason);
    g_warningBox.Show(Warning{
        WarningKind::kFileIncomplete,
        std::string("The export stopped: ") + reason + ".\nThe SMD file may be incomplete."});
  } catch (...) {
    // Nothing more can be done without risking the host.
  }
}

}  // namespace kw
