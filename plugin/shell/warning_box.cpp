#include "plugin/shell/warning_box.h"

#include <windows.h>

#include "plugin/shell/plugin_module.h"

void WarningBox::Show(const std::string& message) {
  ActivationScope scope(PluginActivationContext());
  MessageBoxA(GetActiveWindow(), message.c_str(), kCaption, MB_ICONWARNING | MB_OK);
}
