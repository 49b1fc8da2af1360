#include "export/warning_reporter.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <vector>

namespace kw {

namespace {

constexpr std::size_t kWarningBufferSize = 1024;

// printf into a string; grows past the usual buffer instead of cutting a long
// warning short.
std::string FormatMessage(const char* format, va_list args) {
  char buffer[kWarningBufferSize];
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(buffer, sizeof buffer, format, copy);
  va_end(copy);
  if (length < 0) return std::string();
  if (static_cast<std::size_t>(length) < sizeof buffer) return std::string(buffer, length);
  std::vector<char> large(static_cast<std::size_t>(length) + 1);
  std::vsnprintf(large.data(), large.size(), format, args);
  return std::string(large.data(), length);
}

}  // namespace

void WarningReporter::Report(kw::WarningKind kind, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string message = FormatMessage(format, args);
  va_end(args);

  if (presenter_) presenter_->Show(kw::Warning{kind, message});

  if (logWarnings_ && log_) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#if defined(_WIN32)
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    char stamp[32];
    locale_.Format(stamp, sizeof stamp, "%2d:%2d:%2d - ", local.tm_hour, local.tm_min,
                   local.tm_sec);
    log_->Put(stamp);
    log_->Put(message);
    log_->Put("\n\n");
  }
}

}  // namespace kw
