// The options step on the host: the modal dialog of template 108 over the
// host's main window, showing the scene's frame range and writing the chosen
// options into the choice.
#pragma once

#include <windows.h>

#include "export/export_options.h"

namespace kw {

class OptionsDialog : public OptionsStep {
 public:
  // 1 for OK, 0 for Cancel, -1 when the dialog could not be shown.
  int Run(OptionsChoice& choice, HostWindow parent) override;
};

// The dialog procedure; the creation parameter is the OptionsChoice.
INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace kw
