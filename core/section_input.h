// What the section writers work from: the open SMD, the collected nodes, the
// warning reporter, the options and the scene's time step.
#pragma once

#include "core/export_options.h"
#include "core/node_registry.h"
#include "core/text_output.h"
#include "core/warning_reporter.h"

namespace kw {

struct SectionInput {
  TextStream& smd;
  const NodeRegistry& nodes;
  WarningReporter& warnings;
  const ExportOptions& options;
  int ticksPerFrame;
};

}  // namespace kw
