// Whole exports of a MemoryScene for the fuzz targets: files, warnings and
// options stay in memory, and whatever an export must always guarantee is
// checked after it, aborting so that libFuzzer keeps the input.
#pragma once

#include <cstdint>

#include "export/export_scene.h"
#include "scene/memory_scene.h"

namespace kw::fuzz {

// Stops the process with a message when a guarantee does not hold.
void Check(bool holds, const char* what);

// Runs one export of the scene with the options as given (no dialog) and
// checks its result: a completed export wrote a whole SMD and the log
// header, a failed one says why.
void ExportAndCheck(kw::MemoryScene& scene, const kw::ExportOptions& options, bool selectedOnly);

}  // namespace kw::fuzz
