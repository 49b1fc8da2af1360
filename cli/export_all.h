// export MODEL --all -o DIR: the model imported once and written as
// DIR/<model>.smd (the reference), one sequence SMD per animation and
// DIR/<model>.qc, a starter QC that compiles exactly these files.
#pragma once

#include "cli/export_request.h"

namespace kw {

// The exit status of the command line (cli/exit_codes.h), in the process
// that reads the model. Each SMD goes through the pipeline as a single
// export would; nothing is put in place unless every file was written
// whole (and, under --strict, without a warning).
int ExportAll(const ExportRequest& request);

}  // namespace kw
