// Where an export's diagnostics go: its warnings, each shown as it comes (a
// message box on the host, stderr on the command line, a list in a test),
// and its debug lines (the scene-access library's errors). Whoever runs an
// export passes its own; nothing here is shared between exports.
#pragma once

#include <string>

#include "diagnostics/warning.h"

namespace kw {

class WarningPresenter {
 public:
  virtual ~WarningPresenter() = default;
  virtual void Show(const Warning& warning) = 0;
};

class DebugOutput {
 public:
  virtual ~DebugOutput() = default;
  // One line, ending in "\n".
  virtual void Print(const std::string& line) = 0;
};

}  // namespace kw
