// The export subcommand, with or without --all: what the command line names
// wrongly is said before anything is read, then the scene is read and
// written, in a child process for model files.
#pragma once

#include "cli/export_request.h"

namespace kw {

// The exit status of the command line (cli/exit_codes.h).
int RunExport(const ExportRequest& request);

}  // namespace kw
