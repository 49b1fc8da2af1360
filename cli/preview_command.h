// kestrelworks preview: a PNG picture of what an SMD holds.
#pragma once

#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace kw {

struct PreviewRequest {
  std::string smdPath;
  std::string outputPath;
  std::string sequencePath;  // empty: the reference alone
  std::vector<int> frames;   // places of frames in the sequence; empty: preview::ChooseFrames's
  std::string flexPath;      // a VTA whose shapes are shown, one row each
  // A collision model drawn over the reference; empty: <stem>_phys.smd
  // beside the reference, when there is one.
  std::string collisionPath;
  std::vector<int> shapes;  // shapes of the VTA by time number; empty: the first few
  std::string size;         // "WxH"; empty: a size fitting the layout
  bool strict = false;      // a warning fails the run (exit 4) and writes nothing
};

// Adds the "preview" subcommand, filling request when it is given.
CLI::App* AddPreviewCommand(CLI::App& app, PreviewRequest* request);

// Reads the SMD files, draws and writes the PNG; returns the exit status.
int RunPreview(const PreviewRequest& request);

// The picture for a freshly exported SMD, written beside it as the same name
// with ".png" (export --preview); returns the exit status. A sequence is shown
// skinning referencePath when one is given, else as its own skeleton moving.
int PreviewExport(const std::string& smdPath, const std::string& referencePath = "");

}  // namespace kw
