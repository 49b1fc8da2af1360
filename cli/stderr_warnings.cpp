#include "cli/stderr_warnings.h"

#include <cstdio>

#include "cli/failure_line.h"
#include "cli/run_log.h"

namespace kw {

void StderrWarnings::Show(const Warning& warning) {
  if (EndsExport(warning.kind)) return;
  // A note is what the user asked for (--max-links' trim): said as a note,
  // neither counted for --strict nor summed up at the end.
  const bool note = IsNote(warning.kind);
  const std::size_t kind = WarningKindIndex(warning.kind);
  if (!note && kind < byKind_.size()) ++byKind_[kind];
  if (!note) ++total_;
  const std::string text = Printable(warning.text);
  const std::string line = (note ? "note: " : "warning: ") + text + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  if (log_) log_->Warning(note ? "note: " + text : text);
}

void StderrWarnings::PrintSummary() const {
  for (const WarningKindRow& row : kWarningKinds) {
    const int count = byKind_[WarningKindIndex(row.kind)];
    if (count > 1) std::fprintf(stderr, "warnings of kind %s: %d\n", row.name, count);
  }
}

}  // namespace kw
