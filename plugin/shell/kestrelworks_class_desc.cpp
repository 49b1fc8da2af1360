#include "plugin/shell/kestrelworks_class_desc.h"

#include "plugin/shell/plugin_module.h"
#include "plugin/shell/plugin_session.h"
#include "plugin/shell/resource.h"

namespace kw {

void* KestrelworksClassDesc::Create(BOOL) {
  // The host heap's operator new answers null when it has no memory left;
  // the session's own members may still throw, and nothing may reach the host.
  try {
    return static_cast<SceneExport*>(new PluginSession());
  } catch (...) {
    return nullptr;
  }
}

const char* KestrelworksClassDesc::ClassName() { return GetString(IDS_CLASS_NAME); }

const char* KestrelworksClassDesc::Category() { return GetString(IDS_CATEGORY); }

HINSTANCE KestrelworksClassDesc::HInstance() { return PluginInstance(); }

}  // namespace kw
