// The choices of one export, as a plain value: the options dialog fills it on
// the host, the flags on the command line. The defaults are the dialog's.
#pragma once

namespace kw {

struct ExportOptions {
  // A sequence SMD (the skeleton at every frame of the range) instead of a
  // reference SMD (the skeleton at time 0 and every triangle).
  bool exportSequence = false;
  // The sequence's first and last frame; the first is never above the last.
  int startFrame = 0;
  int endFrame = 1;
  // Write the sequence's frames from the last to the first.
  bool reverseSequence = false;
  // Also add each warning to the log, with the time of day.
  bool logWarnings = false;
  // Export only the nodes the scene marks as selected.
  bool selectedOnly = false;
};

// A scene's first and last frame.
struct FrameRange {
  int first = 0;
  int last = 0;
};

}  // namespace kw
