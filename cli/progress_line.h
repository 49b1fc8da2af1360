// On a terminal, a long export shows how far it has come: one line on
// stderr, redrawn a few times a second once the export has run for a
// second, and cleared at the end. Nothing at all when stderr is not a
// terminal or --quiet was given.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "cli/size_estimate.h"

namespace kw {

class ProgressLine {
 public:
  ProgressLine(std::string shownPath, const SizeEstimate& estimate, bool quiet);
  ~ProgressLine();  // clears the line
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // Bytes handed to the SMD; from the one thread that writes at a time.
  void Add(std::size_t bytes);
  // Takes the line away for good, before a message is printed.
  void Clear();

 private:
  void Draw(double seconds);

  std::string shownPath_;
  SizeEstimate estimate_;
  bool enabled_;
  bool drawn_ = false;
  std::uint64_t bytes_ = 0;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point lastDrawn_;
};

}  // namespace kw
