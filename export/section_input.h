// What the section writers work from: the open SMD, the collected nodes, the
// warning reporter, the options and the scene's time step.
#pragma once

#include "export/export_options.h"
#include "export/node_registry.h"
#include "smd/text_output.h"
#include "export/warning_reporter.h"

namespace kw {

struct SectionInput {
  TextStream& smd;
  const NodeRegistry& nodes;
  WarningReporter& warnings;
  const ExportOptions& options;
  int ticksPerFrame;
};

}  // namespace kw
