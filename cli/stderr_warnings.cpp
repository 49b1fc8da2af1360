#include "cli/stderr_warnings.h"

#include <cstdio>

#include "cli/failure_line.h"
#include "cli/run_log.h"

namespace kw {

void StderrWarnings::Show(const Warning& warning) {
  if (EndsExport(warning.kind)) return;
  const std::size_t kind = WarningKindIndex(warning.kind);
  if (kind < byKind_.size()) ++byKind_[kind];
  // A note is what the user asked for (--max-links' trim): --strict lets it pass.
  if (!IsNote(warning.kind)) ++total_;
  const std::string text = Printable(warning.text);
  const std::string line = "warning: " + text + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  if (log_) log_->Warning(text);
}

void StderrWarnings::PrintSummary() const {
  for (const WarningKindRow& row : kWarningKinds) {
    const int count = byKind_[WarningKindIndex(row.kind)];
    if (count > 1) std::fprintf(stderr, "warnings of kind %s: %d\n", row.name, count);
  }
}

}  // namespace kw
