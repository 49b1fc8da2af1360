// Warnings on the host: a modal message box owned by the active window.
#pragma once

#include "core/warning_reporter.h"

class WarningBox : public kw::WarningPresenter {
 public:
  static constexpr const char* kCaption = "SMD Export Warning";
  void Show(const kw::Warning& warning) override;
};
