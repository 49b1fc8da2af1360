// Warnings on the host: a modal message box owned by the active window.
#pragma once

#include "diagnostics/outputs.h"

namespace kw {

class WarningBox : public WarningPresenter {
 public:
  static constexpr const char* kCaption = "SMD Export Warning";
  void Show(const Warning& warning) override;
};

}  // namespace kw
