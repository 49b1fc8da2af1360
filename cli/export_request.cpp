#include "cli/export_request.h"

#include <utility>

#include "export/export_scene.h"

namespace kw {

ExportOptions OptionsFor(const ExportRequest& request, const IGameScene& scene) {
  FrameRange frames;
  // A scene without a usable frame length fails in the export itself.
  SceneFrames(scene, &frames);
  ExportOptions options;
  options.exportSequence = request.sequence;
  options.startFrame = request.range.empty() ? frames.first : request.range[0];
  options.endFrame = request.range.empty() ? frames.last : request.range[1];
  if (options.startFrame > options.endFrame) std::swap(options.startFrame, options.endFrame);
  options.reverseSequence = request.reverse;
  options.logWarnings = request.log;
  options.selectedOnly = request.selectedOnly;
  return options;
}

}  // namespace kw
