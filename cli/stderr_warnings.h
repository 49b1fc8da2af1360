// Warnings of the command line: each on stderr as it comes, and in the log
// when there is one, counted by kind for --strict and for the summary at
// the end.
#pragma once

#include <array>

#include "diagnostics/outputs.h"
#include "diagnostics/warning.h"

namespace kw {

class RunLog;

class StderrWarnings : public WarningPresenter {
 public:
  // Every warning shown from now on goes to log too.
  void LogTo(RunLog* log) { log_ = log; }
  // Prints "warning: " and the text, its control characters escaped as in a
  // failure's line (its line breaks kept); the kinds that tell why the
  // export failed are left to the failure line and not counted.
  void Show(const Warning& warning) override;
  // Every warning shown and counted, notes (IsNote) left out.
  int Count() const { return total_; }
  int CountOf(WarningKind kind) const { return byKind_[WarningKindIndex(kind)]; }
  // One line per kind that came more than once, so that a thousand bad faces
  // end in one figure rather than only a thousand lines.
  void PrintSummary() const;

 private:
  std::array<int, kWarningKindCount> byKind_{};
  int total_ = 0;
  RunLog* log_ = nullptr;
};

}  // namespace kw
