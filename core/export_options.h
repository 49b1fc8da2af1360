// The choices of an export (the options dialog on the host, the flags on the
// command line) and the step that makes them.
#pragma once

#include <cstdint>

#include "host/scene_host.h"

namespace kw {

struct ExportOptions {
  std::uint32_t exportSequence = 0;  // 0: reference SMD, 1: sequence SMD
  int startFrame = 0;
  int endFrame = 1;
  std::uint32_t reverseSequence = 0;
  std::uint32_t logWarnings = 0;
};

// What the options step is shown and fills in.
struct OptionsChoice {
  // The scene's first and last frame.
  int animStartFrame = 0;
  int animEndFrame = 0;
  // As they stand before the step; the step writes its choice here.
  ExportOptions options;
};

class OptionsStep {
 public:
  virtual ~OptionsStep() = default;
  // 0 when the user cancelled; otherwise choice.options are those to export with.
  virtual int Run(OptionsChoice& choice, HostWindow parent) = 0;
};

// An options step that applies options decided before the export starts:
// a test, a benchmark, a batch run.
class GivenOptions : public OptionsStep {
 public:
  explicit GivenOptions(const ExportOptions& given) : options(given) {}
  int Run(OptionsChoice& choice, HostWindow) override {
    choice.options = options;
    return 1;
  }

  ExportOptions options;
};

}  // namespace kw
