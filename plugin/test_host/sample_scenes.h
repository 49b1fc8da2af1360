// The scene the plug-in's tests export twice: through the .dle under Wine
// and through the native build. Built in code so that both sides get it
// from the same source without a scene file reader in the cross build.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "export/export_options.h"
#include "plugin/host_stub/host_services.h"
#include "scene/memory_scene.h"

namespace kw::test {

// Frames 0 to 100 at 160 ticks per frame: a root helper, an animated chain
// of bones (one name with a space), a skinned, textured mesh with two
// smoothing groups and one face whose corner points past the vertex list,
// which the exporter must refuse with a warning. pelvis, spine and body are
// selected.
std::unique_ptr<MemoryScene> MakeFigureScene();

// One export of the figure compared between the two builds.
struct FigureExport {
  const char* name;           // file names: <name>.smd, <name>.warnings
  ExportOptions options;      // what the dialog is answered with
  std::uint32_t hostOptions;  // DoExport's options argument
};

// Reference export with the dialog's defaults; sequence export of frames 2
// to 5 in reverse order with logging on; reference export of the selection
// only with logging on.
std::vector<FigureExport> FigureExports();

// The warnings file: each message as its length in bytes on one line, then
// the message and a line break.
std::string EncodeWarnings(const std::vector<std::string>& messages);
bool DecodeWarnings(const std::string& text, std::vector<std::string>* messages);

}  // namespace kw::test
