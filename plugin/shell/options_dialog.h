// The options step on the host: the modal dialog of template 108 over the
// host's main window, showing the scene's frame range.
#pragma once

#include <windows.h>

#include "plugin/shell/kestrelworks.h"

namespace kw {

class OptionsDialog : public OptionsStep {
 public:
  // 1 for OK, 0 for Cancel, -1 when the dialog could not be shown.
  int Run(const FrameRange& sceneFrames, ExportOptions& options, HostWindow parent) override;
};

}  // namespace kw
