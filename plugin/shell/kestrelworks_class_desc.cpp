#include "plugin/shell/kestrelworks_class_desc.h"

#include "plugin/shell/host_scene.h"
#include "plugin/shell/kestrelworks.h"
#include "plugin/shell/options_dialog.h"
#include "plugin/shell/plugin_module.h"
#include "plugin/shell/resource.h"
#include "plugin/shell/warning_box.h"

namespace kw {

namespace {

// Stateless, so one of each serves every exporter.
HostScene g_hostScene;
OptionsDialog g_optionsDialog;
WarningBox g_warningBox;

}  // namespace

void* KestrelworksClassDesc::Create(BOOL) {
  // The host heap's operator new answers null when it has no memory left;
  // nothing else may reach the host either.
  try {
    return static_cast<SceneExport*>(new Kestrelworks(g_hostScene, g_optionsDialog, g_warningBox));
  } catch (...) {
    return nullptr;
  }
}

const char* KestrelworksClassDesc::ClassName() { return GetString(IDS_CLASS_NAME); }

const char* KestrelworksClassDesc::Category() { return GetString(IDS_CATEGORY); }

HINSTANCE KestrelworksClassDesc::HInstance() { return PluginInstance(); }

}  // namespace kw
