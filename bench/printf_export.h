// The straightforward SMD writer: the sections written the plain way, one
// fprintf per line through a "C" locale, every bone looked up with a linear
// scan of the node list, nothing kept from one face or pose to the next.
// It is the benchmark's baseline and, written apart from the session's
// writers, a second opinion on their bytes.
#pragma once

#include <cstdio>

#include "export/export_options.h"
#include "scene/scene_access.h"

namespace kw::bench {

// Writes to file what DoExport writes to the SMD for scene with these
// options, all nodes, no warnings shown. False when a write failed.
bool ExportWithPrintf(IGameScene& scene, const ExportOptions& options, std::FILE* file);

}  // namespace kw::bench
