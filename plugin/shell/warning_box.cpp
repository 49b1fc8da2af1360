#include "plugin/shell/warning_box.h"

#include <windows.h>

#include "plugin/shell/plugin_module.h"

namespace kw {

void WarningBox::Show(const Warning& warning) {
  ActivationScope scope(PluginActivationContext());
  MessageBoxA(GetActiveWindow(), warning.text.c_str(), kCaption, MB_ICONWARNING | MB_OK);
}

}  // namespace kw
