// The options step on the host: the modal dialog of template 108 over the
// host's main window, reading the scene's frame range from the session and
// writing the chosen options straight into it.
#pragma once

#include <windows.h>

#include "core/kestrelworks.h"

class OptionsDialog : public OptionsStep {
 public:
  // 1 for OK, 0 for Cancel, -1 when the dialog could not be shown.
  int Run(Kestrelworks& session, HostWindow parent) override;
};

// The dialog procedure; the creation parameter is the session.
INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
