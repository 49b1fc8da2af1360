// How the export tells of a problem in the scene: the presenter shows each
// warning (a message box on the host, stderr or a test's record elsewhere)
// and, when asked to, the log file gets it with the time of day.
#pragma once

#include "diagnostics/outputs.h"
#include "diagnostics/warning.h"
#include "smd/c_locale.h"
#include "smd/text_output.h"

namespace kw {

class WarningReporter {
 public:
  // presenter null: warnings are only logged.
  WarningReporter(WarningPresenter* presenter, const CLocale& locale)
      : presenter_(presenter), locale_(locale) {}

  // Where logged warnings go from now on; null: nowhere.
  void LogTo(TextStream* log, bool logWarnings) {
    log_ = log;
    logWarnings_ = logWarnings;
  }

  // printf-style; a text of any length is kept whole.
  void Report(kw::WarningKind kind, const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 3, 4)))
#endif
      ;

 private:
  WarningPresenter* presenter_;
  const CLocale& locale_;
  TextStream* log_ = nullptr;
  bool logWarnings_ = false;
};

}  // namespace kw
