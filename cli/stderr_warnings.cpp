#include "cli/stderr_warnings.h"

#include <cstdio>

namespace kw {

void StderrWarnings::Show(const Warning& warning) {
  if (EndsExport(warning.kind)) return;
  const std::size_t kind = WarningKindIndex(warning.kind);
  if (kind < byKind_.size()) ++byKind_[kind];
  ++total_;
  std::fputs("warning: ", stderr);
  std::fwrite(warning.text.data(), 1, warning.text.size(), stderr);
  std::fputc('\n', stderr);
}

void StderrWarnings::PrintSummary() const {
  for (const WarningKindRow& row : kWarningKinds) {
    const int count = byKind_[WarningKindIndex(row.kind)];
    if (count > 1) std::fprintf(stderr, "warnings of kind %s: %d\n", row.name, count);
  }
}

}  // namespace kw
