#include "cli/progress_line.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace kw {

ProgressLine::ProgressLine(std::string shownPath, const SizeEstimate& estimate, bool quiet)
    : shownPath_(std::move(shownPath)),
      estimate_(estimate),
      enabled_(!quiet && ::isatty(STDERR_FILENO) == 1),
      start_(std::chrono::steady_clock::now()),
      lastDrawn_(start_) {}

ProgressLine::~ProgressLine() { Clear(); }

void ProgressLine::Clear() {
  enabled_ = false;
  if (drawn_) std::fputs("\r\033[K", stderr);
  drawn_ = false;
}

void ProgressLine::Add(std::size_t bytes) {
  bytes_ += bytes;
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  const double seconds = std::chrono::duration<double>(now - start_).count();
  if (seconds < 1.0 || now - lastDrawn_ < std::chrono::milliseconds(200)) return;
  lastDrawn_ = now;
  Draw(seconds);
}

void ProgressLine::Draw(double seconds) {
  // The estimate is a lower bound, so the share is capped short of done.
  const double share =
      estimate_.bytes > 0 ? std::min(0.99, static_cast<double>(bytes_) / estimate_.bytes) : 0.0;
  const auto units = static_cast<unsigned long long>(share * static_cast<double>(estimate_.units));
  std::fprintf(stderr, "\r\033[Kkestrelworks: %s: about %llu of %llu %s, %s, %s/s",
               shownPath_.c_str(), units, static_cast<unsigned long long>(estimate_.units),
               estimate_.unitName, ByteCount(bytes_).c_str(),
               ByteCount(static_cast<std::uint64_t>(bytes_ / seconds)).c_str());
  std::fflush(stderr);
  drawn_ = true;
}

}  // namespace kw
